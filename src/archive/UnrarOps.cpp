// The RAR decompression component on libarchive. The kit's header walk
// decides what the members are (names, versions, CRCs, volumes); libarchive
// reads the same volumes through callbacks over the kit's byte sources and is
// kept in step with the walk, one entry per member. Where the two disagree,
// or libarchive gives up (a solid archive, the RAR 1.5/2.0 compression it has
// no decoder for, damaged data), the members from there on fail cleanly with
// a result code instead of producing wrong bytes.
#include "archive/UnrarOps.h"

#include "archive/ArcErrors.h"
#include "archive/ArcSources.h"
#include "archive/RarHeaders.h"
#include "archive/UnBase.h"
#include "archive/decoders/Crc32.h"
#include "platform/DosTime.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int64_t kChunk = 64 * 1024;
// The first RAR version whose compression libarchive decodes (2.9, the RAR 3 format).
constexpr uint8_t kFirstDecodedVersion = 29;

// One volume as libarchive reads it: a source, where the archive starts in it, and a buffer.
struct Client {
    TArcSource *src = nullptr;
    QString name;
    int64_t base = 0;
    int64_t pos = 0;
    std::vector<char> buffer;
    TUnrarArchive *owner = nullptr;
    size_t index = 0;
};

int resultOf(int kitCode)
{
    switch (kitCode) {
    case 0:
        return ERAR_SUCCESS;
    case 25190:
        return ERAR_MISSING_PASSWORD;
    case ArcErrReadFile:
        return ERAR_EREAD;
    case ArcErrOpenFile:
        return ERAR_EOPEN;
    case 25153:
        return ERAR_NO_MEMORY;
    default:
        return ERAR_BAD_ARCHIVE;
    }
}

void copyName(char (&field)[260], const QByteArray &text)
{
    const qsizetype n = std::min<qsizetype>(text.size(), 259);
    std::memcpy(field, text.constData(), size_t(n));
    field[n] = '\0';
}

} // namespace

class TUnrarArchive
{
public:
    TRarArchive walk;
    std::vector<std::unique_ptr<TArcSource>> sources;
    std::vector<std::unique_ptr<Client>> clients;
    struct archive *lib = nullptr;
    bool libOk = false;
    int libResult = ERAR_BAD_ARCHIVE; // what a member fails with once libarchive is out of step
    size_t next = 0;
    size_t announced = 0; // the last volume announced through changeVol
    const TRarMember *current = nullptr;
    CHANGEVOLPROC changeVol;
    PROCESSDATAPROC processData;

    ~TUnrarArchive()
    {
        if (lib)
            archive_read_free(lib);
    }

    static la_ssize_t readCb(struct archive *, void *data, const void **buffer)
    {
        auto *c = static_cast<Client *>(data);
        const int64_t left = c->src->size() - c->base - c->pos;
        const int64_t n = std::min<int64_t>(kChunk, std::max<int64_t>(0, left));
        c->buffer.resize(size_t(kChunk));
        if (n > 0 && !c->src->readAt(c->base + c->pos, c->buffer.data(), n))
            return ARCHIVE_FATAL;
        c->pos += n;
        *buffer = c->buffer.data();
        return la_ssize_t(n);
    }

    static la_int64_t seekCb(struct archive *, void *data, la_int64_t offset, int whence)
    {
        auto *c = static_cast<Client *>(data);
        const int64_t size = c->src->size() - c->base;
        int64_t to = offset;
        if (whence == SEEK_CUR)
            to = c->pos + offset;
        else if (whence == SEEK_END)
            to = size + offset;
        if (to < 0 || to > size)
            return ARCHIVE_FATAL;
        c->pos = to;
        return to;
    }

    static la_int64_t skipCb(struct archive *, void *data, la_int64_t request)
    {
        auto *c = static_cast<Client *>(data);
        const int64_t n = std::clamp<int64_t>(request, 0, c->src->size() - c->base - c->pos);
        c->pos += n;
        return n;
    }

    static int switchCb(struct archive *, void *, void *to)
    {
        auto *c = static_cast<Client *>(to);
        if (!c)
            return ARCHIVE_OK;
        c->pos = 0;
        // Each volume is announced once, when the reading first reaches it.
        TUnrarArchive *owner = c->owner;
        if (c->index > owner->announced) {
            owner->announced = c->index;
            if (owner->changeVol)
                owner->changeVol(c->name, RAR_VOL_NOTIFY);
        }
        return ARCHIVE_OK;
    }

    static int closeCb(struct archive *, void *) { return ARCHIVE_OK; }

    // Starts libarchive on the volumes the walk read.
    void startLibrary(int64_t start)
    {
        lib = archive_read_new();
        if (!lib)
            return;
        archive_read_support_format_rar(lib);
        archive_read_support_format_rar5(lib);
        for (size_t i = 0; i < sources.size(); ++i) {
            auto c = std::make_unique<Client>();
            c->src = sources[i].get();
            c->name = walk.volumes.value(qsizetype(i));
            c->base = i == 0 ? start : 0;
            c->owner = this;
            c->index = i;
            clients.push_back(std::move(c));
        }
        archive_read_set_read_callback(lib, readCb);
        archive_read_set_seek_callback(lib, seekCb);
        archive_read_set_skip_callback(lib, skipCb);
        archive_read_set_switch_callback(lib, switchCb);
        archive_read_set_close_callback(lib, closeCb);
        archive_read_set_callback_data(lib, clients[0].get());
        for (size_t i = 1; i < clients.size(); ++i)
            archive_read_append_callback_data(lib, clients[i].get());
        libOk = archive_read_open1(lib) == ARCHIVE_OK;
    }

    // Moves libarchive on to the entry of member m; out of step (libOk false) when it cannot.
    void follow(const TRarMember &m)
    {
        if (!libOk)
            return;
        struct archive_entry *entry = nullptr;
        const int r = archive_read_next_header(lib, &entry);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            libOk = false;
            // libarchive has no decoder for solid RAR 1.5-4 archives after their first member.
            libResult = (m.flags & kRarSolid) || walk.solid ? ERAR_UNSUPPORTED_METHOD : ERAR_BAD_ARCHIVE;
            return;
        }
        const bool dir = archive_entry_filetype(entry) == AE_IFDIR;
        const bool sizeOk = !archive_entry_size_is_set(entry) || m.directory || m.link ||
                            uint64_t(archive_entry_size(entry)) == m.unpackedSize;
        if (dir != m.directory || !sizeOk) {
            libOk = false;
            libResult = ERAR_BAD_ARCHIVE;
        }
    }

    // Tests or extracts the current member.
    int process(int operation, const char *destName)
    {
        const TRarMember &m = *current;
        if (m.directory || m.link)
            return ERAR_SUCCESS; // nothing to write: folders come with their files, links are never made
        if (m.flags & kRarEncrypted)
            return ERAR_MISSING_PASSWORD;
        if (!m.complete) {
            const QStringList names = RarNextVolumeNames(walk.volumes.last(), walk.newNaming);
            if (changeVol && !names.isEmpty())
                changeVol(names.first(), RAR_VOL_ASK);
            return ERAR_EOPEN;
        }
        if (!walk.rar5 && m.method != kRarMethodStored && m.version < kFirstDecodedVersion)
            return ERAR_UNSUPPORTED_METHOD;
        if (!libOk)
            return libResult;

        std::unique_ptr<TMemberWriter> out;
        if (operation == RAR_EXTRACT) {
            if (!destName)
                return ERAR_ECREATE;
            out = std::make_unique<TMemberWriter>(QString::fromUtf8(destName));
            if (!out->open())
                return ERAR_ECREATE;
        }
        std::vector<char> buf(static_cast<size_t>(kChunk));
        uint64_t written = 0;
        uint32_t crc = 0;
        int result = ERAR_SUCCESS;
        for (;;) {
            const la_ssize_t n = archive_read_data(lib, buf.data(), buf.size());
            if (n == 0)
                break;
            if (n < 0) {
                if (n == ARCHIVE_FATAL) {
                    // libarchive cannot go on: the members after this one fail as a damaged archive.
                    libOk = false;
                    libResult = ERAR_BAD_ARCHIVE;
                }
                result = ERAR_BAD_DATA;
                break;
            }
            if (uint64_t(n) > m.unpackedSize - written) {
                result = ERAR_BAD_DATA; // more than the header declares: nothing past it is written
                break;
            }
            if (out && !out->write(buf.data(), size_t(n))) {
                result = ERAR_EWRITE;
                break;
            }
            crc = Crc32Update(crc, buf.data(), size_t(n));
            written += uint64_t(n);
            if (processData && processData(reinterpret_cast<const uint8_t *>(buf.data()), int(n)) == 0) {
                result = ERAR_UNKNOWN; // stopped by the caller
                break;
            }
        }
        // Whole: every byte came (libarchive reports a failed check only after the last one).
        const bool whole = (result == ERAR_SUCCESS || result == ERAR_BAD_DATA) && written == m.unpackedSize;
        if (result == ERAR_SUCCESS && (!whole || (m.hasCrc && crc != m.crc)))
            result = ERAR_BAD_DATA;
        if (out) {
            // A member whose bytes all came is kept even when its CRC fails, as the caller then
            // warns about it; anything cut short is dropped.
            if (!whole) {
                out->cancelWriting();
            } else {
                const std::optional<int64_t> t = m.unixTime ? m.unixTime : DosToUnix(m.dosTime);
                if (t)
                    out->setTime(*t);
                if (!out->commit() && result == ERAR_SUCCESS)
                    result = ERAR_EWRITE;
            }
        }
        return result;
    }
};

HANDLE RAROpenArchive(RAROpenArchiveData *data)
{
    if (!data)
        return nullptr;
    auto handle = std::make_unique<TUnrarArchive>();
    std::unique_ptr<TArcSource> first;
    if (data->FromMemory) {
        first = std::make_unique<TMemorySource>(data->ArcData);
    } else {
        auto file = std::make_unique<TFileSource>(data->ArcName);
        if (!file->isOpen()) {
            data->OpenResult = ERAR_EOPEN;
            return nullptr;
        }
        first = std::move(file);
    }
    TArcSource *firstSource = first.get();
    handle->sources.push_back(std::move(first));
    TUnrarArchive *h = handle.get();
    TRarOpenVolume open;
    const TZipCommon *volumes = data->Volumes;
    const bool fromMemory = data->FromMemory;
    if (!fromMemory || volumes) {
        open = [h, volumes, fromMemory](const QString &name, QString &opened) -> TArcSource * {
            const QString path = fromMemory ? (volumes->volumeExists(name) ? name : QString()) : FindVolumeFile(name);
            if (path.isEmpty())
                return nullptr;
            std::unique_ptr<TArcSource> source;
            if (volumes) {
                source = volumes->openVolumeSource(path);
            } else if (auto file = std::make_unique<TFileSource>(path); file->isOpen()) {
                source = std::move(file);
            }
            if (!source)
                return nullptr;
            opened = path;
            h->sources.push_back(std::move(source));
            return h->sources.back().get();
        };
    }
    handle->walk = WalkRarArchive(*firstSource, data->StartOffset, data->ArcName, open);
    if (handle->walk.members.empty() && handle->walk.error) {
        data->OpenResult = unsigned(resultOf(handle->walk.error));
        return nullptr;
    }
    // The walk may have opened a volume it then could not read; libarchive gets those it read.
    handle->sources.resize(std::min<size_t>(handle->sources.size(), size_t(handle->walk.volumes.size())));
    handle->startLibrary(data->StartOffset);
    data->OpenResult = ERAR_SUCCESS;
    data->CmtSize = 0;
    data->CmtState = 0;
    return handle.release();
}

int RARCloseArchive(HANDLE h)
{
    delete h;
    return ERAR_SUCCESS;
}

int RARReadHeader(HANDLE h, RARHeaderData *hd)
{
    if (!h || !hd)
        return ERAR_UNKNOWN;
    h->current = nullptr;
    if (h->next >= h->walk.members.size())
        return h->walk.error ? resultOf(h->walk.error) : ERAR_END_ARCHIVE;
    const TRarMember &m = h->walk.members[h->next++];
    h->current = &m;
    copyName(hd->ArcName, m.volume.toUtf8());
    copyName(hd->FileName, m.name);
    hd->FileNameUtf8 = m.name;
    hd->Flags = m.flags;
    hd->PackSize64 = m.packedSize;
    hd->UnpSize64 = m.unpackedSize;
    hd->PackSize = unsigned(m.packedSize);
    hd->UnpSize = unsigned(m.unpackedSize);
    hd->HostOS = m.hostOs;
    hd->FileCRC = m.crc;
    hd->FileTime = m.unixTime ? UnixToDos(*m.unixTime) : m.dosTime;
    hd->UnixTime = m.unixTime ? *m.unixTime : DosToUnix(m.dosTime).value_or(-1);
    hd->UnpVer = m.version;
    hd->Method = m.method;
    hd->FileAttr = m.attr;
    hd->Directory = m.directory;
    hd->Link = m.link;
    hd->CmtSize = 0;
    hd->CmtState = 0;
    if (hd->CmtBuf && hd->CmtBufSize > 0 && !m.comment.isNull()) {
        const unsigned n = std::min<unsigned>(unsigned(m.comment.size()), hd->CmtBufSize - 1);
        std::memcpy(hd->CmtBuf, m.comment.constData(), n);
        hd->CmtBuf[n] = '\0';
        hd->CmtSize = n + 1;
        hd->CmtState = 1;
    }
    h->follow(m);
    return ERAR_SUCCESS;
}

int RARProcessFile(HANDLE h, int operation, const char *destPath, const char *destName)
{
    (void)destPath;
    if (!h || !h->current)
        return ERAR_UNKNOWN;
    int result = ERAR_SUCCESS;
    if (operation == RAR_TEST || operation == RAR_EXTRACT) {
        try {
            result = h->process(operation, destName);
        } catch (const std::bad_alloc &) {
            result = ERAR_NO_MEMORY;
        }
    }
    h->current = nullptr;
    return result;
}

void RARSetChangeVolProc(HANDLE h, CHANGEVOLPROC proc)
{
    if (h)
        h->changeVol = std::move(proc);
}

void RARSetProcessDataProc(HANDLE h, PROCESSDATAPROC proc)
{
    if (h)
        h->processData = std::move(proc);
}
