// quillon-gentree: writes a synthetic folder tree to scan, for tests,
// benchmarks and manual checks. The same options always give the same tree.
#include "GenTree.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <limits>

namespace {

// Reads a whole-number option into value; false (with a message) when it is not one.
template <typename T>
bool TakeNumber(const QCommandLineParser &parser, const QCommandLineOption &option, T &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const qulonglong number = parser.value(option).toULongLong(&ok);
    if (!ok || number > qulonglong(std::numeric_limits<T>::max())) {
        std::fprintf(stderr, "quillon-gentree: --%s needs a whole number from 0 to %llu\n",
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
    QCoreApplication::setApplicationName(QStringLiteral("quillon-gentree"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a synthetic, reproducible folder tree."));
    parser.addHelpOption();
    auto number = [](const char *name, const char *text) {
        return QCommandLineOption(QLatin1String(name), QLatin1String(text), QStringLiteral("N"));
    };
    const QCommandLineOption seed = number("seed", "Seed of the generator.");
    const QCommandLineOption depth = number("depth", "Folder levels below the root.");
    const QCommandLineOption fanOut = number("fanout", "Subfolders per folder.");
    const QCommandLineOption files = number("files", "Plain files per folder.");
    const QCommandLineOption maxSize = number("max-size", "Largest file size in bytes (files are sparse).");
    const QCommandLineOption hidden = number("hidden-percent", "Share of hidden files and folders.");
    const QCommandLineOption upper = number("upper-percent", "Share of names in capitals.");
    const QCommandLineOption utf8 = number("utf8-percent", "Share of names with non-ASCII characters.");
    const QCommandLineOption desc = number("desc-percent", "Share of folders with description files.");
    const QCommandLineOption zips = number("zip-percent", "Share of folders with a stored ZIP.");
    const QCommandLineOption members = number("zip-members", "Members per ZIP.");
    for (const QCommandLineOption &option : {seed, depth, fanOut, files, maxSize, hidden, upper, utf8, desc, zips, members})
        parser.addOption(option);
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder to fill (created when missing)."));
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        std::fprintf(stderr, "quillon-gentree: give exactly one folder\n");
        return 2;
    }
    GenTreeOptions options;
    if (!TakeNumber(parser, seed, options.seed) || !TakeNumber(parser, depth, options.depth) ||
        !TakeNumber(parser, fanOut, options.fanOut) || !TakeNumber(parser, files, options.filesPerFolder) ||
        !TakeNumber(parser, maxSize, options.maxFileSize) || !TakeNumber(parser, hidden, options.hiddenPercent) ||
        !TakeNumber(parser, upper, options.upperPercent) || !TakeNumber(parser, utf8, options.utf8Percent) ||
        !TakeNumber(parser, desc, options.descPercent) || !TakeNumber(parser, zips, options.zipPercent) ||
        !TakeNumber(parser, members, options.zipMembers))
        return 2;
    if (options.depth > 64) {
        std::fprintf(stderr, "quillon-gentree: --depth is at most 64\n");
        return 2;
    }
    const QString folder = positional.constFirst();
    if (QDir(folder).exists() && !QDir(folder).isEmpty()) {
        std::fprintf(stderr, "quillon-gentree: %s is not empty\n", qPrintable(folder));
        return 2;
    }
    GenTreeStats stats;
    QString error;
    if (!GenerateTree(folder, options, &stats, &error)) {
        std::fprintf(stderr, "quillon-gentree: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%lld files, %lld folders, %lld bytes, %lld visible files, %lld visible folders, %lld zips\n",
                static_cast<long long>(stats.files), static_cast<long long>(stats.folders),
                static_cast<long long>(stats.bytes), static_cast<long long>(stats.visibleFiles),
                static_cast<long long>(stats.visibleFolders), static_cast<long long>(stats.zips));
    return 0;
}
