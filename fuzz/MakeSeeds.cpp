// Writes the seed catalogs of the catalog reader's fuzz target into a folder
// (the corpus the fuzz run starts from). Usage: quillon-fuzz-seeds FOLDER
#include "SeedCatalogs.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (const auto &[name, bytes] : BuildSeedCatalogs()) {
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
    }
    return 0;
}
