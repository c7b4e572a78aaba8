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
