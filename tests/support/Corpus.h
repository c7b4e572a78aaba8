// The archive corpus (real archives with reference manifests, kept outside the
// repository) as every test finds it: one lookup, and one skip line for every
// test that needs it when it is absent, so a clone alone still passes.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <string>

namespace testcorpus {

// The corpus root (the folder holding archives/): QUILLON_TESTDATA when set,
// else the shared test data beside the source tree. Never empty.
QString Root();

// True when the root holds archives/index.json, the corpus's own index.
bool Present();

// The folder of one format family ("zip", "tar", "gz", ...), or archives/
// itself for an empty family; no trailing slash.
QString ArchiveDir(const char *family = "");

// One file of a family: ArchiveDir(family) + "/" + name.
QString ArchiveFile(const char *family, const QString &name);
std::string ArchivePath(const char *family, const std::string &name);

// The line a test skips with when the corpus is absent.
std::string MissingLine();

} // namespace testcorpus

// Skips the calling test (a TEST body, void) when the corpus is absent.
#define QUILLON_NEED_CORPUS()                                \
    do {                                                     \
        if (!testcorpus::Present())                          \
            GTEST_SKIP() << testcorpus::MissingLine();       \
    } while (0)
