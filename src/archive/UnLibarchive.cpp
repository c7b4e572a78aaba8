// The archive types read through libarchive: 7z archives, ISO 9660 images
// (Joliet and Rock Ridge names) and the xz, bzip2 and zstd streams, which
// hold either a tarball, listed as its members, or one file. libarchive
// decodes; the kit's rules stay ours: member names in "\" form and valid
// UTF-8, an archive inside is a member like any other file (never opened),
// output capped at the size an entry declares and at OutputLimit, every path
// through SafeOutputPath, and damage ending the listing or extraction with a
// numbered error instead of wrong bytes.
#include "archive/UnLibarchive.h"

#include "archive/ArchiveTypes.h"
#include "archive/StreamSizes.h"
#include "platform/Texts.h"

#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int64_t kChunk = 64 * 1024;
// "Password protected", the kit's message for a member it cannot decrypt.
constexpr int kArcErrPasswordProtected = 25190;

// The kit's byte source as libarchive's client: reads in chunks from base on, seeks within it.
struct Feed {
    TArcSource *src = nullptr;
    int64_t base = 0;
    int64_t pos = 0;
    std::vector<char> buffer;

    int64_t size() const { return src->size() - base; }

    static la_ssize_t read(struct archive *, void *data, const void **out)
    {
        auto *f = static_cast<Feed *>(data);
        const int64_t n = std::clamp<int64_t>(f->size() - f->pos, 0, kChunk);
        f->buffer.resize(size_t(kChunk));
        if (n > 0 && !f->src->readAt(f->base + f->pos, f->buffer.data(), n))
            return ARCHIVE_FATAL;
        f->pos += n;
        *out = f->buffer.data();
        return la_ssize_t(n);
    }

    static la_int64_t seek(struct archive *, void *data, la_int64_t offset, int whence)
    {
        auto *f = static_cast<Feed *>(data);
        const int64_t to = whence == SEEK_CUR ? f->pos + offset : whence == SEEK_END ? f->size() + offset : offset;
        if (to < 0 || to > f->size())
            return ARCHIVE_FATAL;
        f->pos = to;
        return to;
    }

    static la_int64_t skip(struct archive *, void *data, la_int64_t request)
    {
        auto *f = static_cast<Feed *>(data);
        const int64_t n = std::clamp<int64_t>(request, 0, f->size() - f->pos);
        f->pos += n;
        return n;
    }
};

// One pass of libarchive over an archive of a detected type. A stream type
// (xz, bzip2, zstd, and the gzip family when its tarball is wanted) is
// offered libarchive's tar reader and, unless tarOnly, its raw reader for a
// stream that holds one plain file; the stream filters are libarchive's own
// decoders, never an outside program.
class LibPass
{
public:
    enum class Next { Entry, End, Damaged };

    LibPass(TArcSource &src, int64_t base, TArcType type, bool tarOnly = false)
    {
        m_feed.src = &src;
        m_feed.base = base;
        m_a = archive_read_new();
        if (!m_a)
            return;
        switch (type) {
        case TArcType::SevenZip:
            archive_read_support_format_7zip(m_a);
            break;
        case TArcType::ISO:
            archive_read_support_format_iso9660(m_a);
            break;
        default:
            archive_read_support_filter_gzip(m_a);
            archive_read_support_filter_compress(m_a);
            archive_read_support_filter_xz(m_a);
            archive_read_support_filter_bzip2(m_a);
            archive_read_support_filter_zstd(m_a);
            // With the tarball setting off a stream is one file, whatever it holds.
            if (tarOnly || CompressedTarMembersShown())
                archive_read_support_format_tar(m_a);
            if (!tarOnly) {
                archive_read_support_format_raw(m_a);
                // The raw reader takes no empty stream: an empty file packed is still one file.
                archive_read_support_format_empty(m_a);
            }
            break;
        }
        archive_read_set_callback_data(m_a, &m_feed);
        archive_read_set_read_callback(m_a, Feed::read);
        archive_read_set_seek_callback(m_a, Feed::seek);
        archive_read_set_skip_callback(m_a, Feed::skip);
        m_ok = archive_read_open1(m_a) == ARCHIVE_OK;
    }
    ~LibPass()
    {
        if (m_a)
            archive_read_free(m_a);
        if (m_emptyFile)
            archive_entry_free(m_emptyFile);
    }
    LibPass(const LibPass &) = delete;
    LibPass &operator=(const LibPass &) = delete;

    bool ok() const { return m_ok; }
    struct archive *lib() const { return m_a; }
    archive_entry *entry() const { return m_entry; }

    Next next()
    {
        if (m_emptyFile)
            return Next::End;
        const int r = archive_read_next_header(m_a, &m_entry);
        if (r == ARCHIVE_EOF && archive_format(m_a) == ARCHIVE_FORMAT_EMPTY) {
            // The stream's one file, empty: an entry of our own, since libarchive gives none.
            m_emptyFile = m_entry = archive_entry_new();
            if (!m_entry)
                return Next::Damaged;
            archive_entry_set_filetype(m_entry, AE_IFREG);
            return Next::Entry;
        }
        if (r == ARCHIVE_EOF)
            return Next::End;
        return r == ARCHIVE_OK || r == ARCHIVE_WARN ? Next::Entry : Next::Damaged;
    }
    // Whether the stream holds one plain file rather than a tarball.
    bool raw() const
    {
        return archive_format(m_a) == ARCHIVE_FORMAT_RAW || archive_format(m_a) == ARCHIVE_FORMAT_EMPTY;
    }
    // Reads the current entry's next bytes; 0 at its end, negative on damage.
    la_ssize_t read(char *buf, size_t n) { return m_emptyFile ? 0 : archive_read_data(m_a, buf, n); }

private:
    Feed m_feed;
    struct archive *m_a = nullptr;
    archive_entry *m_entry = nullptr;
    archive_entry *m_emptyFile = nullptr;   // owned; set once an empty stream was met
    bool m_ok = false;
};

// The name of the one file of a plain stream: the archive's name less its last
// extension, which for the tarball short forms (.txz, .tbz2, .tzst) is ".tar".
QByteArray rawMemberName(const QString &archiveFile)
{
    const QString base = QFileInfo(archiveFile).fileName();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return base.toUtf8();
    const QString ext = base.mid(dot + 1).toUpper();
    const bool tarball = ext == QLatin1String("TXZ") || ext == QLatin1String("TBZ2") || ext == QLatin1String("TZST");
    return (base.left(dot) + (tarball ? QStringLiteral(".tar") : QString())).toUtf8();
}

// The entry's name as the kit keeps it: UTF-8 where libarchive can give it,
// else the stored bytes through the DOS rule; "/" as "\".
QByteArray memberName(const LibPass &pass, const QString &archiveFile)
{
    if (pass.raw())
        return rawMemberName(archiveFile);
    QByteArray name;
    if (const char *utf8 = archive_entry_pathname_utf8(pass.entry()))
        name = DosBytesToUtf8(utf8);
    else if (const char *stored = archive_entry_pathname(pass.entry()))
        name = DosBytesToUtf8(stored);
    name.replace('/', '\\');
    return name;
}

// Whether the current entry is a file whose bytes are listed and extracted
// (folders, links, devices and fifos are not; a hard link of a tarball is a
// copy of its file, which libarchive's reader gives as a regular entry).
bool isFileEntry(const LibPass &pass)
{
    return archive_entry_filetype(pass.entry()) == AE_IFREG;
}

std::atomic<bool> g_tarMembersShown{true};

} // namespace

void SetCompressedTarMembersShown(bool shown)
{
    g_tarMembersShown.store(shown, std::memory_order_relaxed);
}

bool CompressedTarMembersShown()
{
    return g_tarMembersShown.load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Listing

namespace {

// The member directory through libarchive. The loop's position stays at 0: the
// members come one by one from libarchive's walk, not from offsets of ours.
class LibarchiveListReader : public TArcListReader
{
public:
    explicit LibarchiveListReader(bool tarOnly = false) : m_tarOnly(tarOnly) {}
    int headerSize() const override { return 0; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        m_type = PlainArcType(lister.arcType());
        m_pass = std::make_unique<LibPass>(src, lister.startOffset() - 1, m_type, m_tarOnly);
        if (!m_pass->ok())
            lister.raiseError(ArcErrBadFileHeader);
        lister.position = 0;
        lister.endOfMembers = INT64_MAX;
    }

    Step step(TArcLister &lister, TArcSource &src, QByteArrayView, int64_t) override
    {
        switch (m_pass->next()) {
        case LibPass::Next::End:
            return Step::End;
        case LibPass::Next::Damaged:
            lister.raiseError(ArcErrBadFileHeader);
        case LibPass::Next::Entry:
            break;
        }
        if (!isFileEntry(*m_pass))
            return Step::Skip;
        archive_entry *e = m_pass->entry();
        lister.MemberName = memberName(*m_pass, lister.archiveFile());
        if (m_pass->raw()) {
            // xz and zstd record the size (read cheaply from the file); a bzip2 stream, or a
            // zstd one written through a pipe, records none: it is decoded once to count it,
            // since its true size is worth the time and the listing's cancel can end that.
            const int64_t base = lister.startOffset() - 1;
            const std::optional<uint64_t> recorded = RecordedStreamSize(m_type, src, base);
            lister.UnpackedSize = recorded ? *recorded : countRaw(lister);
            lister.PackedSize = uint64_t(src.size() - base);
        } else {
            lister.UnpackedSize = archive_entry_size_is_set(e) ? uint64_t(std::max<la_int64_t>(0, archive_entry_size(e))) : 0;
            // An ISO image stores its files as they are. A 7z archive packs its files in
            // shared streams and a compressed tarball the whole tar, so a member has no packed
            // size of its own (libarchive tells none either): 0, unknown, rather than a size
            // that would show as no compression at all.
            lister.PackedSize = m_type == TArcType::ISO ? lister.UnpackedSize : 0;
        }
        if (archive_entry_mtime_is_set(e)) {
            lister.MemberDosDate = NormalizedDosDateTime(UnixToDosDateTime(archive_entry_mtime(e)));
            lister.MemberDate = UnixToDateTime(archive_entry_mtime(e));
        } else {
            lister.MemberDosDate = NormalizedDosDateTime(lister.archiveFileDate());
            lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        }
        lister.Ratio = TArcLister::ratioOf(lister.PackedSize, lister.UnpackedSize);
        return Step::Report;
    }

private:
    uint64_t countRaw(TArcLister &lister)
    {
        std::vector<char> buf(static_cast<size_t>(kChunk));
        uint64_t total = 0;
        for (;;) {
            const la_ssize_t n = m_pass->read(buf.data(), buf.size());
            if (n == 0)
                return total;
            if (n < 0)
                lister.raiseError(ArcErrBadLengths);
            total += uint64_t(n);
            if (lister.CancelRequested && lister.CancelRequested())
                lister.raiseError(ArcErrUserAborted);
        }
    }

    bool m_tarOnly;
    TArcType m_type = TArcType::NA;
    std::unique_ptr<LibPass> m_pass;
};

// Whether a gzip-family file is to be read as the tarball it holds: the setting is on
// and libarchive's tar reader finds a member in the decompressed bytes.
bool gzipTarball(TArcSource &src, int64_t base)
{
    if (!CompressedTarMembersShown())
        return false;
    // A first member is needed: the tar reader takes a stream of zeros for an empty tarball.
    LibPass probe(src, base, TArcType::GZip, true);
    return probe.ok() && probe.next() == LibPass::Next::Entry;
}

// The gzip family's directory: the tarball's members, or the GZip reader's one member.
class GzipTarListReader : public TArcListReader
{
public:
    int headerSize() const override { return m_inner->headerSize(); }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        if (gzipTarball(src, lister.startOffset() - 1))
            m_inner = std::make_unique<LibarchiveListReader>(true);
        else
            m_inner = MakeGzipListReader();
        m_inner->prepare(lister, src);
    }
    Step step(TArcLister &lister, TArcSource &src, QByteArrayView fixed, int64_t headerOffset) override
    {
        return m_inner->step(lister, src, fixed, headerOffset);
    }
    void finish(TArcLister &lister, int decoded) override { m_inner->finish(lister, decoded); }

private:
    std::unique_ptr<TArcListReader> m_inner;
};

} // namespace

std::unique_ptr<TArcListReader> MakeLibarchiveListReader()
{
    return std::make_unique<LibarchiveListReader>();
}

std::unique_ptr<TArcListReader> MakeGzipTarListReader()
{
    return std::make_unique<GzipTarListReader>();
}

// ---------------------------------------------------------------------------
// Extraction

namespace {

bool isLibarchiveType(TArcType type)
{
    return type == TArcType::SevenZip || type == TArcType::XZ || type == TArcType::BZip2 || type == TArcType::Zstd ||
           type == TArcType::ISO;
}

} // namespace

bool TUnLibarchive::acceptsType(TArcType type) const
{
    return isLibarchiveType(type);
}

int TUnLibarchive::extractMembers(TArcSource &src, const QString &root)
{
    return ExtractThroughLibarchive(*this, src, root, archiveFileTime(), false);
}

bool TUnGzipTar::acceptsType(TArcType type) const
{
    return type == TArcType::GZip;
}

int TUnGzipTar::extractMembers(TArcSource &src, const QString &root)
{
    if (gzipTarball(src, startOffset() - 1))
        return ExtractThroughLibarchive(*this, src, root, archiveFileTime(), true);
    return TUnGZIP::extractMembers(src, root);
}

int ExtractThroughLibarchive(TUnBase &unit, TArcSource &src, const QString &root, int64_t archiveTime, bool tarOnly)
{
    LibPass pass(src, unit.startOffset() - 1, PlainArcType(unit.arcType()), tarOnly);
    if (!pass.ok())
        unit.raiseError(ArcErrBadFileHeader);
    std::vector<char> buf(static_cast<size_t>(kChunk));
    int recNum = 0;
    int extracted = 0;
    for (;;) {
        const LibPass::Next next = pass.next();
        if (next == LibPass::Next::End)
            break;
        if (next == LibPass::Next::Damaged)
            unit.raiseError(ArcErrBadFileHeader);
        if (!isFileEntry(pass))
            continue;
        archive_entry *e = pass.entry();
        // An encrypted member (a 7z written with a password): the kit decrypts none of these.
        if (archive_entry_is_data_encrypted(e) > 0) {
            unit.warn(kArcErrPasswordProtected);
            continue;
        }
        const QString rel = unit.selectedOutputPath(QString::fromUtf8(memberName(pass, unit.archiveFile())));
        if (rel.isEmpty())
            continue;
        ++recNum;
        const bool sized = !pass.raw() && archive_entry_size_is_set(e);
        const uint64_t declared = sized ? uint64_t(std::max<la_int64_t>(0, archive_entry_size(e))) : 0;
        if (sized && declared > unit.OutputLimit) {
            unit.warn(ArcErrBadLengths);
            continue;
        }
        TMemberFile out(unit, root, rel, declared, sized ? declared : unit.OutputLimit);
        if (!out.open(recNum))
            continue;
        for (;;) {
            const la_ssize_t n = pass.read(buf.data(), buf.size());
            if (n == 0)
                break;
            if (n < 0) {
                out.discard();
                unit.raiseError(ArcErrBadLengths);
            }
            if (!out.write(buf.data(), n)) {
                out.discard();
                unit.raiseError(out.overCap() ? int(ArcErrBadLengths) : int(ArcErrWriteFile));
            }
        }
        // A member shorter than its entry says is damaged, not a short file.
        if (sized && out.written() != declared) {
            out.discard();
            unit.raiseError(ArcErrBadLengths);
        }
        const int64_t mtime = archive_entry_mtime_is_set(e) ? int64_t(archive_entry_mtime(e)) : archiveTime;
        if (out.commit(mtime, true))
            ++extracted;
    }
    return extracted;
}

std::unique_ptr<TUnBase> MakeUnLibarchive()
{
    return std::make_unique<TUnLibarchive>();
}

std::unique_ptr<TUnBase> MakeUnGzipTar()
{
    return std::make_unique<TUnGzipTar>();
}
