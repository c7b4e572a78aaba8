// The ZIP family's directory reader (ZIP, ZipExe, Zip250, Zip250Exe): the
// member list comes from the central directory found through the end record,
// with ZIP64 end records and sizes where the 32-bit fields say 0xFFFFFFFF.
// TUnZIP walks the same directory to extract members through the decoders.
#pragma once

#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"

#include <memory>
#include <optional>

// Signatures of the ZIP records (little-endian 32-bit values).
inline constexpr uint32_t kZipLocalSig = 0x04034B50;
inline constexpr uint32_t kZip250LocalSig = 0x50000000;
inline constexpr uint32_t kZipCentralSig = 0x02014B50;
inline constexpr uint32_t kZipEndSig = 0x06054B50;
inline constexpr uint32_t kZip64EndSig = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSig = 0x07064B50;

// The end of central directory record (22 bytes, then a comment):
// +------+------+--------+---------+---------+--------+----------+---------+---------+
// | 0    | 4    | 6      | 8       | 10      | 12     | 16       | 20      | 22      |
// | sig  | disk | cdDisk | entries | total   | cdSize | cdOffset | cmntLen | comment |
// |      |      |        | on disk | entries |        |          |         |         |
// +------+------+--------+---------+---------+--------+----------+---------+---------+
struct TZipEndRecord {
    static constexpr int kSize = 22;
    int64_t offset = 0; // where the record starts in the source
    uint16_t totalEntries = 0;
    uint32_t cdSize = 0;
    uint32_t cdOffset = 0;
    uint16_t commentLen = 0;
};

// How far from the end the end record is looked for: an archive comment may
// be 64 KB, but the kit has always searched the last 32 KB only (a longer
// comment hides the record), and archives made for it rely on nothing more.
inline constexpr int64_t kZipEndSearch = 32768;

// The end record nearest the end of src whose whole 22 bytes lie in the last
// window bytes (the search runs backwards, so a record's comment may hold
// other signatures). Nothing when there is none or src cannot be read.
std::optional<TZipEndRecord> FindZipEndRecord(TArcSource &src, int64_t window = kZipEndSearch);

class TZipCryptKeys;

// The ZIP family's extractor: each central-directory member matching FileSpec
// is checked against its local header, decrypted when encrypted, decoded,
// written through a temporary file that is renamed into place, and checked
// against its CRC-32.
class TUnZIP : public TUnBase
{
public:
    TUnZIP();
    ~TUnZIP() override;

protected:
    bool acceptsType(TArcType type) const override { return IsZipFamily(type); }
    // The end record and the central directory must be there (25202 without an end record).
    void checkArchive(TArcSource &src) override;
    int extractMembers(TArcSource &src, const QString &root) override;

private:
    struct Walk; // the central directory walk set up by checkArchive
    std::unique_ptr<Walk> m_walk;
    bool tryPasswords(const QString &fn, const uint8_t (&header)[12], uint8_t checkByte, TZipCryptKeys &keys,
                      bool &giveUp);
    QString m_lastPassword;
};
