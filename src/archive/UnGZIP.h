// The GZip family's directory reader: a gzip file (or a compress .Z, pack .z
// or old 1F A0 file) holds one member. For gzip the name comes from the
// header's stored name, sizes and CRC from the trailer at the very end; for
// the others only the file's own size and date are known.
#pragma once

#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"

#include <QByteArrayView>

#include <memory>

// One output file of a stream extractor (GZip, TAR): the existence decision,
// OnBegin, the member writer's temporary file renamed into place, progress events and the
// running CRC-32. The folder is created and checked to lie inside root. No
// more than cap bytes are taken: the member's declared size or the owner's
// OutputLimit, whichever is smaller.
class TMemberFile
{
public:
    TMemberFile(TUnBase &owner, const QString &root, const QString &rel, uint64_t total,
                uint64_t cap = TUnBase::kNoOutputLimit);
    // Prepares the file; false when the member is skipped (kept existing file, refused by
    // OnBegin, or a folder or open failure, which is warned).
    bool open(int recNum);
    // Appends bytes; false on a write failure or when they would pass the cap (overCap() then
    // says so, and nothing of them is written). A progress handler's EArcAbort passes through.
    bool write(const char *data, int64_t n);
    bool overCap() const { return m_overCap; }
    // Moves the write position; the bytes skipped stay a hole. False on failure.
    bool seek(uint64_t pos);
    // Sets the file's length (a trailing hole); false on failure.
    bool resize(uint64_t size);
    // Renames the finished file into place with the Unix time mtime (unless SetDateTo is CurDate),
    // then reports OnEnd with crcPass; false (warned) when the rename fails.
    bool commit(int64_t mtime, bool crcPass);
    // Drops the temporary file.
    void discard() { m_file.cancelWriting(); }
    uint32_t crc() const { return m_crc; }
    uint64_t written() const { return m_written; }
    QString path() const { return m_path; }

private:
    TUnBase &m_owner;
    QString m_root;
    QString m_path;
    TMemberWriter m_file;
    uint64_t m_total;
    uint64_t m_cap;
    bool m_overCap = false;
    uint64_t m_written = 0;
    uint32_t m_crc = 0;
    int m_next = 0;
};

// The gzip header flag bits.
inline constexpr uint8_t kGzFlagText = 0x01;
inline constexpr uint8_t kGzFlagHeaderCrc = 0x02;
inline constexpr uint8_t kGzFlagExtra = 0x04;
inline constexpr uint8_t kGzFlagName = 0x08;
inline constexpr uint8_t kGzFlagComment = 0x10;
inline constexpr uint8_t kGzFlagEncrypted = 0x20;

// The method code the lister reports for the 10 header bytes of a GZip-family file
// (gzip: 0 or 8 as stored, 10 otherwise; pack 2, compress 1, 1F A0 3; anything else 10).
int GzipMethodCode(QByteArrayView header);

// The error code extraction must refuse a GZip-family file with, judged from its
// first header bytes, or 0 when its data can be decoded: 25200 for a method other
// than stored or deflate (compress, pack and 1F A0 files included), 25190 for an
// encrypted member, 25135 for a gzip header cut short.
int GzipRefusalCode(QByteArrayView header);

// The error of a gzip member that comes after the first one's trailer.
inline constexpr int ArcErrMultiPart = 25162;

// The GZip extractor: the one member of a gzip file (stored or deflate) is
// streamed through raw inflate into its output file, named by the header's
// stored name or the archive's name without its last extension, and checked
// against the trailer's CRC-32 and size. A second member after the trailer, a
// compress or pack file, another method or an encrypted member is refused and
// nothing is written.
class TUnGZIP : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override { return type == TArcType::GZip; }
    // The one member when it matches FileSpec (26999 when it does not, or is skipped).
    int extractMembers(TArcSource &src, const QString &root) override;
};
