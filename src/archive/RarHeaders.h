// The block headers of RAR archives, read without decompressing anything:
// the RAR 1.5 to 4.x layout (marker block, main header, file headers,
// comment and sub-blocks) and the RAR 5 layout (variable-length integers,
// UTF-8 names), over every volume of a multi-volume set. One walk serves the
// lister (the members it reports) and the extraction component (the version,
// method, CRC and volume list each member needs beside the decoder).
#pragma once

#include "archive/ArcSources.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The RAR 1.5-4 file header flags; RAR 5 members are described with the same bits.
inline constexpr uint16_t kRarSplitBefore = 0x0001; // data continues from the previous volume
inline constexpr uint16_t kRarSplitAfter = 0x0002;  // data continues in the next volume
inline constexpr uint16_t kRarEncrypted = 0x0004;
inline constexpr uint16_t kRarComment = 0x0008;     // an old-style comment block inside the header
inline constexpr uint16_t kRarSolid = 0x0010;       // needs the members before it to be decoded
inline constexpr uint16_t kRarDirectoryMask = 0x00E0;
inline constexpr uint16_t kRarLarge = 0x0100;       // 64-bit sizes
inline constexpr uint16_t kRarUnicode = 0x0200;

// The method byte of a stored member (30h stored to 35h best).
inline constexpr uint8_t kRarMethodStored = 0x30;
// The version RAR 5 members report: the format has no version byte.
inline constexpr uint8_t kRar5Version = 50;

// One member as its headers describe it; a member split over volumes is one
// entry with the packed sizes of all its parts added up.
struct TRarMember {
    QByteArray name;               // UTF-8, "\" separators
    QString volume;                // the volume file its first header is in
    int64_t headerOffset = 0;      // of its first header in that volume
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    uint32_t crc = 0;              // CRC-32 of the whole unpacked file (its last part's header)
    bool hasCrc = true;
    uint32_t dosTime = 0;          // packed DOS date-time (RAR 1.5-4)
    std::optional<int64_t> unixTime; // Unix seconds (RAR 5)
    uint8_t version = 0;           // version needed to extract: 15, 20, 26, 29, 36; 50 for RAR 5
    uint8_t method = kRarMethodStored;
    uint8_t hostOs = 0;
    uint32_t attr = 0;             // as stored (DOS/Windows attributes or a Unix mode)
    uint32_t dosAttr = 0x20;       // the DOS attributes of attr (a Unix mode mapped)
    uint16_t flags = 0;            // the kRar* bits
    bool directory = false;
    bool link = false;             // a symbolic link (Unix mode or RAR 5 redirection)
    bool complete = true;          // false when a later part's volume was missing
    QByteArray comment;            // a stored old-style member comment, UTF-8; null when none
};

// What the walk found.
struct TRarArchive {
    bool rar5 = false;
    bool volume = false;          // the archive is part of a multi-volume set
    bool newNaming = false;       // volumes are name.partN.rar (else name.rar, name.r00, ...)
    bool solid = false;
    bool hasComment = false;      // an archive comment (inline, CMT sub-block or RAR 5 service header)
    std::vector<TRarMember> members;
    QStringList volumes;          // every volume file read, in order, the first included
    int error = 0;                // the kit's error code that ended the walk early; 0 when none
};

// Opens a volume by the name the walk asks for (exact, or the same name in
// another case, whose path it then sets in opened); returns its source, or
// null when there is no such volume. The walk only reads the source it
// returned last.
using TRarOpenVolume = std::function<TArcSource *(const QString &name, QString &opened)>;

// Reads every header of the archive that starts at offset start of first
// (the file firstName), following later volumes through openVolume (null: the
// first file alone). Hostile sizes end the walk with an error code, never a
// loop: every block moves forward, volume names only count up, and at most
// kRarMaxVolumes files are read.
TRarArchive WalkRarArchive(TArcSource &first, int64_t start, const QString &firstName,
                           const TRarOpenVolume &openVolume);

inline constexpr int kRarMaxVolumes = 1000;

// The names the volume after volumeName may have, the likelier first:
// name.part2.rar after name.part1.rar (with as many digits) when newNaming or
// the name has that form, and name.r00, name.r01, ... name.r99, name.s00
// after name.rar (the old scheme, keeping the letter's case).
QStringList RarNextVolumeNames(const QString &volumeName, bool newNaming);

// The file path with another case of the same name in its folder when path
// itself does not exist (names of later volumes are looked up without regard
// to case, as on the media they come from); empty when neither exists.
QString FindVolumeFile(const QString &path);

// Decodes the Unicode name of a RAR 1.5-4 file header (flag 200h): the field
// holds an 8-bit name, a zero byte, then the packed UTF-16 name; without the
// zero the field is UTF-8. Returns UTF-8; bytes that are neither are read as
// code page 437.
QByteArray DecodeRarUnicodeName(QByteArrayView field);

// The DOS attributes of a stored attribute value: Unix modes (host OS 3 of
// RAR 1.5-4, 1 of RAR 5) become folder 10h, read-only 01h when the owner may
// not write, archive 20h for anything else; DOS and Windows attributes stay.
uint32_t RarDosAttributes(uint32_t attr, bool unixHost, bool directory);
