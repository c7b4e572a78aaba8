// The ZIP family's directory reader. The member list is the central
// directory: found through the end record at the end of the file (ZIP64 end
// record when the 32-bit fields are saturated), then one central header per
// member. Local headers are not read here; extraction checks them.
#include "archive/UnZIP.h"
#include "archive/UnZipMethods.h"

#include "archive/MemberInput.h"

#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"
#include "archive/decoders/ZipCrypto.h"
#include "platform/ByteReader.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <optional>

namespace {

// The end record's fields from total entries on (see TZipEndRecord): total entries,
// directory size, directory offset, comment length, read in that order.
constexpr int kEndTotalEntries = 10;

// ZIP64 end of central directory locator (20 bytes, right before the end record):
// | 0 sig | 4 disk of ZIP64 end | 8 offset of ZIP64 end (64-bit) | 16 disks |
constexpr int kLocatorSize = 20;
constexpr int kLocatorEndOffset = 8;

// ZIP64 end of central directory record (56 bytes fixed):
// | 0 sig | 4 size | 12 made by | 14 needed | 16 disk | 20 cdDisk | 24 entries on disk |
// | 32 total entries | 40 cdSize | 48 cdOffset (64-bit) |
constexpr int kZip64EndSize = 56;
constexpr int kZip64EndCdOffset = 48;

// Central file header (46 bytes + name + extra + comment):
// +-----+--------+--------+-------+--------+------+------+-----+--------+----------+
// | 0   | 4      | 6      | 8     | 10     | 12   | 14   | 16  | 20     | 24       |
// | sig | madeBy | needed | flags | method | time | date | crc | packed | unpacked |
// +-----+--------+--------+-------+--------+------+------+-----+--------+----------+
// | 28      | 30       | 32      | 34        | 36      | 38      | 42          | 46    |
// | nameLen | extraLen | cmntLen | diskStart | intAttr | extAttr | localOffset | name… |
// +---------+----------+---------+-----------+---------+---------+-------------+-------+
constexpr int kCentralSize = 46;
constexpr int kCenMadeBy = 4;
constexpr int kCenNeeded = 6;
constexpr int kCenFlags = 8;
constexpr int kCenMethod = 10;
constexpr int kCenDosTime = 12; // time and date read together as one DOS date-time
constexpr int kCenCrc = 16;
constexpr int kCenPacked = 20;
constexpr int kCenUnpacked = 24;
constexpr int kCenNameLen = 28;
constexpr int kCenExtraLen = 30;
constexpr int kCenCommentLen = 32;
constexpr int kCenIntAttr = 36;
constexpr int kCenExtAttr = 38;
constexpr int kCenLocalOffset = 42;

// Extra field blocks: 16-bit id, 16-bit data size, data. Id 1 holds the ZIP64
// values, in this order and only for the fields that say 0xFFFFFFFF:
// unpacked size, packed size, local header offset (each 64-bit), disk (32-bit).
constexpr uint16_t kExtraZip64 = 0x0001;

constexpr uint32_t kSaturated32 = 0xFFFFFFFFu;
constexpr uint16_t kSaturated16 = 0xFFFFu;


class ZipListReader : public TArcListReader
{
public:
    int headerSize() const override { return kCentralSize; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        const int64_t size = src.size();
        m_base = lister.sfxRelative() ? lister.startOffset() - 1 : 0;
        const std::optional<TZipEndRecord> found = FindZipEndRecord(src);
        if (!found)
            lister.raiseError(ArcErrHeaderId);
        const TZipEndRecord &end = *found;
        const int64_t endAt = end.offset;

        if (end.commentLen != 0) {
            const int64_t take = std::min<int64_t>(end.commentLen, size - (endAt + TZipEndRecord::kSize));
            QByteArray comment(take, Qt::Uninitialized);
            if (!src.readAt(endAt + TZipEndRecord::kSize, comment.data(), take))
                lister.raiseError(ArcErrReadFile);
            lister.ArchiveComment = DosBytesToUtf8(comment);
        }

        int64_t cdOffset = end.cdOffset;
        const bool saturated =
            cdOffset == kSaturated32 || end.cdSize == kSaturated32 || end.totalEntries == kSaturated16;
        if (saturated && endAt >= kLocatorSize) {
            char loc[kLocatorSize];
            if (src.readAt(endAt - kLocatorSize, loc, kLocatorSize) &&
                TByteReader::u32At(QByteArrayView(loc, kLocatorSize), 0) == kZip64LocatorSig) {
                const uint64_t at64 = TByteReader::u64At(QByteArrayView(loc, kLocatorSize), kLocatorEndOffset);
                char rec[kZip64EndSize];
                if (at64 < uint64_t(size) && src.readAt(int64_t(at64) + m_base, rec, kZip64EndSize) &&
                    TByteReader::u32At(QByteArrayView(rec, kZip64EndSize), 0) == kZip64EndSig) {
                    const uint64_t cd64 = TByteReader::u64At(QByteArrayView(rec, kZip64EndSize), kZip64EndCdOffset);
                    cdOffset = cd64 < uint64_t(size) ? int64_t(cd64) : -1;
                }
            }
        }

        auto centralAt = [&](int64_t at) {
            char first[4];
            return at >= 0 && at + kCentralSize <= size && src.readAt(at, first, 4) &&
                   TByteReader::u32At(QByteArrayView(first, 4), 0) == kZipCentralSig;
        };
        int64_t cdStart = cdOffset < 0 ? -1 : cdOffset + m_base;
        if (!centralAt(cdStart) && cdOffset >= 0 && !saturated) {
            // Bytes put in front of an archive without adjusting its offsets: the directory
            // ends right before the end record, so the shift is what is missing.
            const int64_t shift = endAt - int64_t(end.cdSize) - cdOffset;
            if (shift > 0 && centralAt(cdOffset + shift)) {
                m_base = shift;
                cdStart = cdOffset + shift;
            }
        }
        if (!centralAt(cdStart))
            lister.raiseError(ArcErrHeaderId);
        lister.position = cdStart;
        lister.endOfMembers = size;
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t) override
    {
        if (TByteReader::u32At(fixed, 0) != kZipCentralSig)
            return Step::End;
        const int64_t size = src.size();
        const uint16_t flags = TByteReader::u16At(fixed, kCenFlags);
        lister.VersionMadeBy = uint8_t(fixed[kCenMadeBy]);
        lister.VersionNeeded = uint8_t(fixed[kCenNeeded]);
        lister.GeneralFlags = flags;
        lister.MethodCode = TByteReader::u16At(fixed, kCenMethod);
        lister.MemberDosDate = NormalizedDosDateTime(TByteReader::u32At(fixed, kCenDosTime));
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        lister.MemberCRC = TByteReader::u32At(fixed, kCenCrc);
        lister.PackedSize = TByteReader::u32At(fixed, kCenPacked);
        lister.UnpackedSize = TByteReader::u32At(fixed, kCenUnpacked);
        lister.InternalAttr = TByteReader::u16At(fixed, kCenIntAttr);
        lister.MemberAttr = TByteReader::u32At(fixed, kCenExtAttr);
        lister.LocalHeaderOffset = TByteReader::u32At(fixed, kCenLocalOffset);
        const int nameLen = TByteReader::u16At(fixed, kCenNameLen);
        const int extraLen = TByteReader::u16At(fixed, kCenExtraLen);
        const int commentLen = TByteReader::u16At(fixed, kCenCommentLen);

        if (lister.MethodCode == 8 && flags > 1) {
            const bool bit1 = flags & 2, bit2 = flags & 4;
            lister.DeflateOption = bit1 && bit2 ? 6 : bit2 ? 4 : bit1 ? 2 : 0;
        }

        // Name and extra field must lie inside the file: a length past the end means the archive is cut off.
        int64_t pos = lister.position;
        if (int64_t(nameLen) + extraLen > size - pos)
            lister.raiseError(ArcErrReadFile);
        QByteArray varPart(nameLen + extraLen, Qt::Uninitialized);
        if (!src.readAt(pos, varPart.data(), varPart.size()))
            lister.raiseError(ArcErrReadFile);
        const QByteArrayView name = QByteArrayView(varPart).first(nameLen);
        const QByteArrayView extra = QByteArrayView(varPart).sliced(nameLen);
        pos += nameLen + extraLen;
        // A name is UTF-8 when it is valid UTF-8, else code page 437; general-purpose
        // bit 11 (UTF-8 promised) needs no test of its own, as such names are valid.
        lister.MemberName = DosBytesToUtf8(name);
        lister.MemberName.replace('/', '\\');
        applyZip64(lister, extra, fixed);

        if (commentLen != 0) {
            const int64_t take = std::min<int64_t>(commentLen, size - pos);
            QByteArray comment(take, Qt::Uninitialized);
            if (!src.readAt(pos, comment.data(), take))
                lister.raiseError(ArcErrReadFile);
            lister.MemberComment = DosBytesToUtf8(comment);
        }
        pos += commentLen;
        lister.position = pos;
        lister.Ratio = TArcLister::ratioOf(lister.PackedSize, lister.UnpackedSize);
        return Step::Report;
    }

    void finish(TArcLister &lister, int decoded) override
    {
        if (decoded == 0)
            lister.raiseError(ArcErrBadFileHeader);
    }

private:
    // Replaces saturated 32-bit fields by the ZIP64 extra field's 64-bit values.
    static void applyZip64(TArcLister &lister, QByteArrayView extra, QByteArrayView fixed)
    {
        const bool bigUnpacked = TByteReader::u32At(fixed, kCenUnpacked) == kSaturated32;
        const bool bigPacked = TByteReader::u32At(fixed, kCenPacked) == kSaturated32;
        const bool bigOffset = TByteReader::u32At(fixed, kCenLocalOffset) == kSaturated32;
        if (!bigUnpacked && !bigPacked && !bigOffset)
            return;
        TByteReader r(extra);
        while (r.remaining() >= 4) {
            const uint16_t id = r.u16le();
            const uint16_t len = r.u16le();
            QByteArrayView data = r.bytes(len);
            if (r.failed())
                return;
            if (id != kExtraZip64)
                continue;
            TByteReader z(data);
            if (bigUnpacked) {
                const uint64_t v = z.u64le();
                if (!z.failed())
                    lister.UnpackedSize = v;
            }
            if (bigPacked) {
                const uint64_t v = z.u64le();
                if (!z.failed())
                    lister.PackedSize = v;
            }
            if (bigOffset) {
                const uint64_t v = z.u64le();
                if (!z.failed() && v <= uint64_t(INT64_MAX))
                    lister.LocalHeaderOffset = int64_t(v);
            }
            return;
        }
    }

public:
    // What is added to stored offsets (self-extractor start or the detected shift); valid after prepare.
    int64_t base() const { return m_base; }

private:
    int64_t m_base = 0;
};

} // namespace

std::optional<TZipEndRecord> FindZipEndRecord(TArcSource &src, int64_t window)
{
    const int64_t length = std::min(src.size(), window);
    if (length < TZipEndRecord::kSize)
        return std::nullopt;
    QByteArray tail(length, Qt::Uninitialized);
    if (!src.readAt(src.size() - length, tail.data(), length))
        return std::nullopt;
    for (int64_t i = length - TZipEndRecord::kSize; i >= 0; --i) {
        if (TByteReader::u32At(tail, i) != kZipEndSig)
            continue;
        TByteReader r(QByteArrayView(tail).sliced(i, TZipEndRecord::kSize));
        TZipEndRecord end;
        end.offset = src.size() - length + i;
        r.seek(kEndTotalEntries);
        end.totalEntries = r.u16le();
        end.cdSize = r.u32le();
        end.cdOffset = r.u32le();
        end.commentLen = r.u16le();
        return end;
    }
    return std::nullopt;
}

std::unique_ptr<TArcListReader> MakeZipListReader()
{
    return std::make_unique<ZipListReader>();
}

// ---------------------------------------------------------------------------
// Extraction

namespace {

// Local file header (30 bytes + name + extra):
// | 0 sig | 4 needed | 6 flags | 8 method | 10 time | 12 date | 14 crc | 18 packed | 22 unpacked |
// | 26 nameLen | 28 extraLen | 30 name… |
constexpr int kLocalSize = 30;
constexpr int kLocFlags = 6;
constexpr int kLocDosTime = 10;
constexpr int kLocNameLen = 26;
constexpr int kLocExtraLen = 28;

constexpr int kCenMadeByHost = 5;
constexpr uint8_t kHostUnix = 3;
constexpr uint32_t kAttrVolume = 0x08;
constexpr uint32_t kAttrFolder = 0x10;
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr int kMaxPasswordAsks = 3;

// The unpacked bytes: into the temporary file, with the running CRC and the
// progress events. An exception of a progress handler is kept and raised
// again once the decoder has returned.
class FileOutput : public DecodeOutput
{
public:
    FileOutput(TMemberWriter &file, TUnBase &owner, const QString &fn, uint64_t total)
        : m_file(file), m_owner(owner), m_fn(fn), m_total(total), m_step(owner.progressStep())
    {
    }
    bool Write(const uint8_t *data, size_t n) override
    {
        if (!m_file.write(data, n)) {
            m_writeFailed = true;
            return false;
        }
        m_crc = Crc32Update(m_crc, data, n);
        m_written += n;
        if (m_owner.OnProgress && m_total > 0) {
            const int percent = int(std::min<uint64_t>(100, m_written * 100 / m_total));
            if (percent >= m_next && percent < 100) {
                m_next = (percent / m_step + 1) * m_step;
                if (!report(uint8_t(percent)))
                    return false;
            }
        }
        return true;
    }
    // The completion event.
    bool finish() { return !m_owner.OnProgress || report(100); }
    bool report(uint8_t percent)
    {
        try {
            m_owner.OnProgress(&m_owner, m_fn, percent);
        } catch (...) {
            m_abort = std::current_exception();
            return false;
        }
        return true;
    }
    uint32_t crc() const { return m_crc; }
    bool writeFailed() const { return m_writeFailed; }
    void rethrowAbort()
    {
        if (m_abort)
            std::rethrow_exception(m_abort);
    }

private:
    TMemberWriter &m_file;
    TUnBase &m_owner;
    QString m_fn;
    uint64_t m_total;
    int m_step;
    int m_next = 0;
    uint64_t m_written = 0;
    uint32_t m_crc = 0;
    bool m_writeFailed = false;
    std::exception_ptr m_abort;
};

// A DOS date-time taken as local time, in Unix seconds; -1 when it has no such time.
int64_t dosToUnixTime(uint32_t dos)
{
    return DosToUnix(NormalizedDosDateTime(dos)).value_or(-1);
}

// The permission bits of a member: its Unix mode where the archive was made on
// Unix (permission bits only, always readable by the owner), else 0644, or 0444
// with the DOS read-only bit.
unsigned memberMode(uint32_t attr, uint8_t host)
{
    const uint32_t mode = attr >> 16;
    if (host == kHostUnix && (mode & 0170000) == 0100000)
        return (mode & 0777) | 0400;
    return (attr & kAttrReadOnly) ? 0444 : 0644;
}

} // namespace

bool TUnZIP::tryPasswords(const QString &fn, const uint8_t (&header)[12], uint8_t checkByte, TZipCryptKeys &keys,
                          bool &giveUp)
{
    giveUp = false;
    auto fits = [&](const QString &pw) {
        const QByteArray bytes = pw.toUtf8();
        return ZipCryptTryPassword(std::string_view(bytes.constData(), size_t(bytes.size())), header, checkByte, keys);
    };
    if (!m_lastPassword.isEmpty() && fits(m_lastPassword))
        return true;
    for (const QString &pw : std::as_const(Passwords)) {
        if (fits(pw)) {
            m_lastPassword = pw;
            return true;
        }
    }
    if (!OnGetPassword) {
        warn(ArcErrOnPasswordMissing);
        giveUp = true;
        return false;
    }
    for (int ask = 0; ask < kMaxPasswordAsks; ++ask) {
        QString password;
        bool tryAgain = true;
        OnGetPassword(this, fn, password, tryAgain);
        if (!password.isEmpty() && fits(password)) {
            Passwords.prepend(password);
            m_lastPassword = password;
            return true;
        }
        if (!password.isEmpty())
            warn(ArcErrInvalidPassword);
        if (!tryAgain)
            break;
    }
    warn(ArcErrPasswordFailed);
    giveUp = true;
    return false;
}

// The directory walk is the lister's, with its errors passed on as ours.
struct TUnZIP::Walk {
    TArcLister walker;
    ZipListReader reader;
};

TUnZIP::TUnZIP() = default;
TUnZIP::~TUnZIP() = default;

void TUnZIP::checkArchive(TArcSource &src)
{
    m_lastPassword.clear();
    if (!FindZipEndRecord(src))
        raiseError(ArcErrUnknownType);
    m_walk = std::make_unique<Walk>();
    TArcLister &walker = m_walk->walker;
    walker.setZipCmntBufSize(m_zipCmntBufSize);
    if (m_fromMemory)
        walker.setArchiveData(m_memoryData, m_archiveFile);
    else
        walker.setArchiveFile(m_archiveFile);
    walker.OnError = [this](TZipCommon *, const QString &, const QString &, int code) { warn(code); };
    m_walk->reader.prepare(walker, src);
}

int TUnZIP::extractMembers(TArcSource &src, const QString &root)
{
    TArcLister &walker = m_walk->walker;
    ZipListReader &reader = m_walk->reader;
    const int64_t size = src.size();
    int count = 0;
    int extracted = 0;
    while (walker.position + kCentralSize <= size) {
        char fixedBuf[kCentralSize];
        if (!src.readAt(walker.position, fixedBuf, kCentralSize))
            break;
        const QByteArrayView fixed(fixedBuf, kCentralSize);
        walker.position += kCentralSize;
        walker.clearMember();
        if (reader.step(walker, src, fixed, walker.position - kCentralSize) != TArcListReader::Step::Report)
            break;

        const QString stored = QString::fromUtf8(walker.MemberName);
        if ((walker.MemberAttr & (kAttrFolder | kAttrVolume)) || stored.endsWith(QLatin1Char('\\')))
            continue;
        const QString rel = selectedOutputPath(stored);
        if (rel.isEmpty())
            continue;

        // The local header must be where the directory says.
        const int64_t localAt = walker.LocalHeaderOffset + reader.base();
        char localBuf[kLocalSize];
        if (localAt < 0 || localAt + kLocalSize > size || !src.readAt(localAt, localBuf, kLocalSize)) {
            warn(ArcErrLocalHeader);
            continue;
        }
        const QByteArrayView local(localBuf, kLocalSize);
        const uint32_t localSig = TByteReader::u32At(local, 0);
        if (localSig != kZipLocalSig && localSig != kZip250LocalSig) {
            warn(ArcErrLocalHeader);
            continue;
        }

        ++count;
        // The decoders stop at the declared size; a member declared larger than the caller
        // allows is not started.
        if (walker.UnpackedSize > OutputLimit) {
            warn(ArcErrBadLengths);
            continue;
        }
        const QString outPath = root + QLatin1Char('/') + rel;
        const TOutputEntry existing = OutputEntry(outPath);
        if (existing != TOutputEntry::None) {
            bool accept = false;
            if (OnFileExists)
                OnFileExists(this, outPath, accept);
            if (!accept)
                continue;
            if (existing != TOutputEntry::File) {
                // Neither a folder nor a link is replaced by a member.
                warn(ArcErrInvalidFileName);
                continue;
            }
        }
        bool wanted = true;
        if (OnBegin)
            OnBegin(this, outPath, count, wanted);
        if (!wanted)
            continue;

        if (!prepareFolder(outPath.left(outPath.lastIndexOf(QLatin1Char('/'))), root)) {
            warn(ArcErrOpenFile);
            continue;
        }

        const uint16_t flags = TByteReader::u16At(local, kLocFlags);
        const int64_t dataAt = localAt + kLocalSize + TByteReader::u16At(local, kLocNameLen) +
                               TByteReader::u16At(local, kLocExtraLen);
        uint64_t packed = walker.PackedSize;
        if (dataAt > size || packed > uint64_t(size - dataAt)) {
            warn(ArcErrReadFile);
            continue;
        }

        if (walker.MethodCode == kZipAesMethod) {
            warn(25190); // Password protected: AES is not decrypted here
            continue;
        }
        const TDecoderEntry *decoder = FindZipDecoder(walker.MethodCode);
        if (!decoder)
            raiseError(ArcErrUnsupportedMethod);

        TMemberInput raw(src, dataAt, packed);
        std::optional<TZipCryptKeys> keys;
        std::optional<TZipCryptInput> decrypted;
        if (flags & 1) {
            uint8_t header[kZipCryptHeaderSize];
            if (packed < uint64_t(kZipCryptHeaderSize) || raw.Read(header, kZipCryptHeaderSize) != kZipCryptHeaderSize) {
                warn(ArcErrReadFile);
                continue;
            }
            packed -= kZipCryptHeaderSize;
            const uint8_t check = ZipCryptCheckByte(flags, walker.MemberCRC, TByteReader::u16At(local, kLocDosTime));
            keys.emplace(std::string_view());
            bool giveUp = false;
            if (!tryPasswords(outPath, header, check, *keys, giveUp)) {
                if (giveUp)
                    break;
                continue;
            }
            decrypted.emplace(raw, *keys);
        }
        DecodeInput &in = decrypted ? static_cast<DecodeInput &>(*decrypted) : raw;

        TMemberWriter file(outPath);
        if (!file.open()) {
            warn(ArcErrOpenFile);
            continue;
        }
        FileOutput out(file, *this, outPath, walker.UnpackedSize);
        DecodeParams params;
        params.method = walker.MethodCode;
        params.flags = flags;
        params.packedSize = packed;
        params.unpackedSize = walker.UnpackedSize;
        DecodeStatus status = decoder->decode(in, out, params);
        if (status == DecodeStatus::Ok && !out.finish())
            status = DecodeStatus::OutputError;
        out.rethrowAbort();
        if (status != DecodeStatus::Ok) {
            file.cancelWriting();
            switch (status) {
            case DecodeStatus::Truncated:
                warn(ArcErrReadFile);
                break;
            case DecodeStatus::OutputError:
                warn(out.writeFailed() ? int(ArcErrWriteFile) : int(ArcErrReadFile));
                break;
            case DecodeStatus::Unsupported:
                warn(ArcErrUnsupportedMethod);
                break;
            default:
                warn(walker.MethodCode == 6 ? ArcErrAmbiguousTree : ArcErrInvalidCode);
                break;
            }
            continue;
        }
        if (SetDateTo != TSetDate::CurDate)
            file.setTime(dosToUnixTime(TByteReader::u32At(fixed, kCenDosTime)));
        file.setMode(memberMode(walker.MemberAttr, uint8_t(fixed[kCenMadeByHost])));
        if (!file.commit()) {
            warn(ArcErrWriteFile);
            continue;
        }
        ++extracted;
        const bool crcPass = out.crc() == walker.MemberCRC;
        if (!crcPass)
            warn(ArcErrCrc);
        if (OnEnd)
            OnEnd(this, outPath, crcPass);
    }
    return extracted;
}

std::unique_ptr<TUnBase> MakeUnZIP()
{
    return std::make_unique<TUnZIP>();
}
