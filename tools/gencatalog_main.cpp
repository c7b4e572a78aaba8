// quillon-gencatalog: writes a synthetic catalog file for tests, benchmarks
// and manual checks. The same options always give the same file.
#include "GenCatalog.h"

#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "catalog/ReadAhead.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <limits>

namespace {

// Reads an integer option into value; false (with a message) when it is not one.
template <typename T>
bool TakeNumber(const QCommandLineParser &parser, const QCommandLineOption &option, T &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const qulonglong number = parser.value(option).toULongLong(&ok);
    if (!ok || number > qulonglong(std::numeric_limits<T>::max())) {
        std::fprintf(stderr, "quillon-gencatalog: --%s needs a whole number from 0 to %llu\n",
                     qPrintable(option.names().constFirst()),
                     static_cast<unsigned long long>(std::numeric_limits<T>::max()));
        return false;
    }
    value = T(number);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-gencatalog"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a synthetic, reproducible catalog file."));
    parser.addHelpOption();
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the generator."),
                                  QStringLiteral("N"));
    const QCommandLineOption disks(QStringLiteral("disks"), QStringLiteral("Number of disks."),
                                   QStringLiteral("N"));
    const QCommandLineOption depth(QStringLiteral("depth"), QStringLiteral("Folder levels below each disk root."),
                                   QStringLiteral("N"));
    const QCommandLineOption fanOut(QStringLiteral("fanout"), QStringLiteral("Child folders per folder."),
                                    QStringLiteral("N"));
    const QCommandLineOption files(QStringLiteral("files"), QStringLiteral("Files per folder and per disk root."),
                                   QStringLiteral("N"));
    const QCommandLineOption maxName(QStringLiteral("maxname"), QStringLiteral("Longest name in bytes (12-255)."),
                                     QStringLiteral("N"));
    const QCommandLineOption descPercent(QStringLiteral("desc-percent"),
                                         QStringLiteral("Share of items with a description, in percent."),
                                         QStringLiteral("N"));
    const QCommandLineOption hugeEvery(QStringLiteral("huge-every"),
                                       QStringLiteral("Every N-th file is 4 GiB or more (0: none)."),
                                       QStringLiteral("N"));
    const QCommandLineOption noUtf8(QStringLiteral("no-utf8"), QStringLiteral("ASCII names and texts only."));
    const QCommandLineOption noVirtual(QStringLiteral("no-virtual"), QStringLiteral("No virtual-root disks."));
    const QCommandLineOption compressedVolumes(QStringLiteral("compressed-volumes"),
                                               QStringLiteral("Every seventh disk a compressed volume."));
    const QCommandLineOption archives(QStringLiteral("archives"), QStringLiteral("Compressed files per disk."),
                                      QStringLiteral("N"));
    const QCommandLineOption members(QStringLiteral("members"), QStringLiteral("Members per compressed file."),
                                     QStringLiteral("N"));
    const QCommandLineOption categories(QStringLiteral("categories"),
                                        QStringLiteral("Categories of the catalog (0-31)."), QStringLiteral("N"));
    const QCommandLineOption flagNames(QStringLiteral("flag-names"), QStringLiteral("Named flags (0-3)."),
                                       QStringLiteral("N"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("Catalog name (default: the file's base name)."),
                                  QStringLiteral("TEXT"));
    for (const QCommandLineOption &option : {seed, disks, depth, fanOut, files, maxName, descPercent, hugeEvery, noUtf8,
                                             noVirtual, compressedVolumes, archives, members, categories, flagNames,
                                             name})
        parser.addOption(option);
    parser.addPositionalArgument(QStringLiteral("OUT.ctf"), QStringLiteral("The catalog file to write."));
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        std::fprintf(stderr, "quillon-gencatalog: give exactly one output file\n");
        return 2;
    }

    GenOptions options;
    if (!TakeNumber(parser, seed, options.seed) || !TakeNumber(parser, disks, options.disks)
        || !TakeNumber(parser, depth, options.depth) || !TakeNumber(parser, fanOut, options.fanOut)
        || !TakeNumber(parser, files, options.filesPerFolder) || !TakeNumber(parser, maxName, options.maxNameLen)
        || !TakeNumber(parser, descPercent, options.descPercent)
        || !TakeNumber(parser, hugeEvery, options.hugeFileEvery)
        || !TakeNumber(parser, archives, options.archivesPerDisk)
        || !TakeNumber(parser, members, options.membersPerArchive)
        || !TakeNumber(parser, categories, options.categories) || !TakeNumber(parser, flagNames, options.flagNames))
        return 2;
    options.utf8Names = !parser.isSet(noUtf8);
    options.virtualRoots = !parser.isSet(noVirtual);
    options.compressedVolumes = parser.isSet(compressedVolumes);

    const QString out = positional.constFirst();
    const QByteArray catalogName = parser.isSet(name) ? parser.value(name).toUtf8()
                                                      : QFileInfo(out).completeBaseName().toUtf8();
    try {
        TForest forest;
        TTreeNode *catalogNode = GenerateCatalog(forest, catalogName, options);
        SaveCatalogTo(catalogNode, out);
    } catch (const EStreamError &e) {
        std::fprintf(stderr, "quillon-gencatalog: %s\n", qPrintable(e.message()));
        return 1;
    }
    std::printf("%lld files, %lld bytes\n", static_cast<long long>(GeneratedFileCount(options)),
                static_cast<long long>(QFileInfo(out).size()));
    return 0;
}
