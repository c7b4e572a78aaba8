// The space and geometry of a volume: what statvfs reports for a mounted
// folder, and the sectors and clusters the catalog keeps, synthesized in the
// Windows manner where the file system has no such figures (CDs, huge
// volumes whose clusters would not fit 32 bits).
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <optional>

// Free space and geometry as statvfs reports them for a mounted folder.
struct TFsSpace {
    uint64_t blockSize = 0;    // f_frsize
    uint64_t blocks = 0;       // f_blocks
    uint64_t freeBlocks = 0;   // f_bavail
    uint64_t fsid = 0;         // f_fsid
    uint32_t nameMax = 255;    // f_namemax
};

// The volume data of one drive (what a disk record is filled from).
struct TVolumeInfo {
    QChar letter;
    QByteArray label;        // at most 33 bytes
    QByteArray fileSystem;   // upper case, at most 8 bytes
    uint32_t serial = 0;
    uint32_t maxNameLen = 255;
    int32_t bytesPerSector = 0, sectorsPerCluster = 0, totalClusters = 0, freeClusters = 0;
    int64_t totalBytes = 0, freeBytes = 0;   // bytes x 10000
    bool compressed = false;
};

// statvfs of a mounted folder; nothing when it fails.
std::optional<TFsSpace> SystemSpace(const QString &path);
// Synthesized geometry for a file system name and byte totals (bytes x 10000).
void SynthesizeGeometry(TVolumeInfo &info);
