// A deterministic generator of folder trees to scan: folders, files with
// sparse sizes (so a tree of a few hundred thousand files costs little
// disk), hidden files and folders, names in capitals and in UTF-8,
// description files (FILE_ID.DIZ, DESCRIPT.ION, FILES.BBS) and small stored
// ZIP archives written byte by byte. The same options always give the same
// names, sizes, times and contents.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

struct GenTreeOptions {
    uint64_t seed = 1;
    int depth = 3;                  // folder levels below the root
    int fanOut = 3;                 // subfolders per folder
    int filesPerFolder = 10;        // plain files per folder, the root included
    int64_t maxFileSize = 1 << 20;  // sizes from 0 to this many bytes (sparse)
    int hiddenPercent = 5;          // share of files and folders whose names start with "."
    int upperPercent = 10;          // share of names in capitals ("README.TXT")
    int utf8Percent = 5;            // share of names with characters outside ASCII
    int descPercent = 10;           // share of folders with description files
    int zipPercent = 5;             // share of folders holding a small stored ZIP
    int zipMembers = 4;             // members per ZIP
    int64_t timeBase = 946684800;   // 2000-01-01 UTC: file times spread over 20 years from here
};

// What a generated tree holds. "Visible" counts what a scan that skips
// hidden files and folders sees.
struct GenTreeStats {
    int64_t files = 0;              // every file written, description files and ZIPs included
    int64_t folders = 0;            // below the root
    int64_t visibleFiles = 0;
    int64_t visibleFolders = 0;
    int64_t hiddenItems = 0;        // hidden files and folders (not counting what lies in hidden folders)
    int64_t zips = 0;
    int64_t zipMembers = 0;
    int64_t descFiles = 0;
    int64_t bytes = 0;              // sum of all file sizes
};

// Writes the tree into root (created when missing; it should be empty).
// Returns false with a message in error when the file system refused.
bool GenerateTree(const QString &root, const GenTreeOptions &options, GenTreeStats *stats = nullptr,
                  QString *error = nullptr);

// One member of a stored ZIP.
struct GenZipMember {
    QByteArray name;                 // "/" separators; a name ending in "/" is a folder entry
    QByteArray data;
    uint32_t dosDateTime = 0x28210000;   // 2000-01-01 00:00
    QByteArray comment;
    uint32_t externalAttr = 0x20;    // archive bit; 0x10 for a folder entry
};

// The bytes of a ZIP holding the members stored (method 0) with their CRC-32,
// and the archive comment.
QByteArray MakeStoredZip(const std::vector<GenZipMember> &members, const QByteArray &comment = {});
