// A deterministic synthetic catalog generator for tests and benchmarks. The
// same options and seed always give the same forest, byte for byte.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class TForest;
class TTreeNode;

struct GenOptions {
    uint64_t seed = 1;
    int disks = 2;
    int depth = 3;              // folder levels below each disk root
    int fanOut = 3;             // child folders per folder
    int filesPerFolder = 10;    // files in each folder and in each disk root
    int maxNameLen = 40;        // names up to this many bytes (at most 255)
    bool utf8Names = true;      // some names with multi-byte UTF-8 characters
    int descPercent = 10;       // share of files, folders and disks with a description
    bool longDescs = true;      // some descriptions multi-line, some of 4096 bytes
    int categories = 3;         // categories of the catalog (0-31)
    int flagNames = 2;          // named flags (0-3)
    bool virtualRoots = true;   // every third disk a virtual root
    int archivesPerDisk = 1;    // compressed-file folders with members per disk
    int membersPerArchive = 5;
    int64_t hugeFileEvery = 0;  // every n-th file gets a size of 4 GiB and more (0: never)
    bool compressedVolumes = false;   // every seventh disk that is no virtual root a compressed volume
};

// Builds a never-saved catalog named name in forest. Every disk is Dirty.
TTreeNode *GenerateCatalog(TForest &forest, const QByteArray &name, const GenOptions &options);
// Files the options give in all (disks' roots, folders and archive members).
int64_t GeneratedFileCount(const GenOptions &options);
