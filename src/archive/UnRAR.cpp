// RAR archives. The directory reader reports the members the block walk
// (RarHeaders.h) finds in every volume of the set; TUnRAR drives the RAR
// component's six operations: open, a header at a time, extract or skip,
// close, with the volume and data callbacks reporting through the kit's
// events. Output paths are the kit's own: the stored name made safe under
// the extraction folder, the folder checked, and the member written through
// the member writer by the component at exactly that path.
#include "archive/UnRAR.h"

#include "archive/RarHeaders.h"
#include "archive/UnrarOps.h"
#include "platform/DosMask.h"
#include "platform/DosTime.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The lister's view of the walk: the whole set is walked in prepare (so that
// members split over volumes are whole and the archive comment is known
// before the first member), and step hands out one member per call.
class RarListReader : public TArcListReader
{
public:
    // One byte: the listing loop reads no header of its own; every block was read by the walk.
    int headerSize() const override { return 1; }

    void prepare(TArcLister &lister, TArcSource &src) override
    {
        TRarOpenVolume open = [&lister](const QString &name, QString &opened) -> TArcSource * {
            QString path = name;
            if (!lister.volumeExists(path))
                path = FindVolumeFile(name);
            // A file too short for a signature is no volume (and would leave the loop nothing to read).
            if (path.isEmpty() || (QFileInfo::exists(path) && QFileInfo(path).size() < 8))
                return nullptr;
            if (!lister.openVolume(path))
                return nullptr;
            opened = path;
            return &lister.source();
        };
        m_walk = WalkRarArchive(src, lister.startOffset() - 1, lister.archiveFile(), open);
        if (m_walk.hasComment)
            lister.ArchiveComment = QByteArray(kRarCommentText);
        // The loop reads one byte at position 0 of the file open last before each step.
        lister.position = 0;
        lister.endOfMembers = 2;
    }

    Step step(TArcLister &lister, TArcSource &, QByteArrayView, int64_t) override
    {
        if (m_next >= m_walk.members.size()) {
            lister.position = lister.endOfMembers;
            if (m_walk.error)
                lister.raiseError(m_walk.error);
            return Step::End;
        }
        const TRarMember &m = m_walk.members[m_next++];
        lister.position = 0;
        lister.CurrentFile = m.volume;
        lister.MemberName = m.name;
        lister.PackedSize = m.packedSize;
        lister.UnpackedSize = m.unpackedSize;
        lister.MemberCRC = m.crc;
        // RAR 5 keeps Unix times: converted through the cached zone offsets (a listing of
        // thousands of members would otherwise spend most of its time in the C library).
        uint32_t dos = m.dosTime;
        if (m.unixTime) {
            dos = m_times.convert(*m.unixTime);
            if (dos == 0)
                dos = UnixToDosDateTime(*m.unixTime); // outside 1980-2099: the nearest end
        }
        lister.MemberDosDate = NormalizedDosDateTime(dos);
        lister.MemberDate = DosDateTimeToDateTime(lister.MemberDosDate);
        lister.VersionNeeded = m.version;
        lister.MethodCode = m.method;
        lister.GeneralFlags = m.flags;
        lister.InternalAttr = 32;
        // Folders are folders whatever else their attributes say (the scan passes them over).
        lister.MemberAttr = m.directory ? 0x10 : m.dosAttr;
        lister.MemberComment = m.comment;
        lister.Ratio = TArcLister::ratioOf(m.packedSize, m.unpackedSize);
        return Step::Report;
    }

private:
    TRarArchive m_walk;
    size_t m_next = 0;
    TDosTimeConverter m_times;
};

QString fileNamePart(const QString &name)
{
    return name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
}

} // namespace

std::unique_ptr<TArcListReader> MakeRarListReader()
{
    return std::make_unique<RarListReader>();
}

std::unique_ptr<TUnBase> MakeUnRAR()
{
    return std::make_unique<TUnRAR>();
}

int RarResultToError(int result)
{
    switch (result) {
    case ERAR_SUCCESS:
    case ERAR_END_ARCHIVE:
        return 0;
    case ERAR_NO_MEMORY:
    case ERAR_SMALL_BUF:
        return 25153; // Out of memory
    case ERAR_BAD_DATA:
        return ArcErrInvalidCode;
    case ERAR_UNKNOWN_FORMAT:
        return ArcErrUnknownType;
    case ERAR_EOPEN:
        return ArcErrOpenFile;
    case ERAR_ECREATE:
    case ERAR_EWRITE:
        return ArcErrWriteFile;
    case ERAR_ECLOSE:
        return ArcErrCloseFile;
    case ERAR_EREAD:
        return ArcErrReadFile;
    case ERAR_MISSING_PASSWORD:
    case ERAR_BAD_PASSWORD:
        return 25190; // Password protected
    case ERAR_UNSUPPORTED_METHOD:
        return ArcErrUnsupportedMethod;
    default:
        return ArcErrInvalidArchive;
    }
}

int TUnRAR::extractMembers(TArcSource &, const QString &root)
{
    // A result of the component: reported with the file name "RAR Error", then the end.
    auto check = [this](int result) {
        const int code = RarResultToError(result);
        if (code == 0)
            return;
        if (OnError)
            OnError(this, QStringLiteral("RAR Error"), m_archiveFile, code);
        throw EArcError(code);
    };

    RAROpenArchiveData open;
    open.ArcName = m_archiveFile;
    open.OpenMode = RAR_OM_EXTRACT;
    open.FromMemory = m_fromMemory;
    open.ArcData = m_memoryData;
    open.StartOffset = std::max<int64_t>(0, startOffset() - 1);
    open.Volumes = this;
    HANDLE h = RAROpenArchive(&open);
    if (!h)
        check(open.OpenResult ? int(open.OpenResult) : ERAR_BAD_ARCHIVE);
    struct Closer {
        HANDLE h;
        ~Closer() { RARCloseArchive(h); }
    } closer{h};

    const QString mask = m_fileSpec.toUpper();
    const bool oneFile = Names.isEmpty() && !mask.contains(QLatin1Char('*')) && !mask.contains(QLatin1Char('?'));
    QString current;          // the output path of the member being extracted
    bool selected = false;
    bool cancelled = false;
    uint64_t unpacked = 0, total = 0;
    int lastPercent = -1;

    RARSetChangeVolProc(h, [this](const QString &name, int mode) {
        if (OnError)
            OnError(this, mode == RAR_VOL_NOTIFY ? QStringLiteral("RAR New Volume") : QStringLiteral("RAR Insert Volume"),
                    name, 25903);
        return 1;
    });
    RARSetProcessDataProc(h, [&](const uint8_t *, int size) {
        if (OnProgress && !cancelled) {
            total += std::min<uint64_t>(uint64_t(std::max(size, 0)), unpacked);
            const int percent = unpacked == 0 ? 100 : int(std::lround(double(total) / double(unpacked) * 100.0));
            if (selected && percent != lastPercent) {
                lastPercent = percent;
                try {
                    OnProgress(this, current, uint8_t(std::clamp(percent, 0, 100)));
                } catch (const EArcAbort &) {
                    cancelled = true;
                } catch (const std::exception &) {
                    // a failing progress handler does not end the extraction
                }
            }
        }
        return cancelled ? 0 : 1;
    });

    RARHeaderData hd;
    std::vector<char> comment(65536);
    hd.CmtBuf = comment.data();
    hd.CmtBufSize = unsigned(comment.size());
    int extracted = 0;
    int recNum = 0;
    for (;;) {
        const int read = RARReadHeader(h, &hd);
        if (read == ERAR_END_ARCHIVE)
            break;
        // A damaged header after some members ends the extraction with its error, not quietly.
        check(read);
        if (hd.UnpVer < 20)
            raiseError(25302); // Version error: made by RAR 1.x
        const QString name = QString::fromUtf8(hd.FileNameUtf8);
        selected = false;
        if (!hd.Directory && !hd.Link) {
            if (!Names.isEmpty()) {
                for (const QString &wanted : Names) {
                    QString w = wanted;
                    w.replace(QLatin1Char('/'), QLatin1Char('\\'));
                    if (w.compare(name, Qt::CaseInsensitive) == 0) {
                        selected = true;
                        break;
                    }
                }
            } else {
                selected = DosMaskMatch(fileNamePart(name), mask);
            }
        }
        QString path;
        if (selected) {
            const QString rel = SafeOutputPath(name, ExtractDir, UseStoredDirs);
            path = root + QLatin1Char('/') + rel;
            if (rel.isEmpty()) {
                warn(ArcErrInvalidFileName);
                selected = false;
            }
        }
        if (selected) {
            const TOutputEntry existing = OutputEntry(path);
            if (existing != TOutputEntry::None) {
                bool accept = false;
                if (OnFileExists)
                    OnFileExists(this, path, accept);
                if (accept && existing != TOutputEntry::File)
                    warn(ArcErrInvalidFileName); // neither a folder nor a link is replaced by a member
                selected = accept && existing == TOutputEntry::File;
            }
        }
        if (selected) {
            bool wanted = true;
            if (OnBegin)
                OnBegin(this, path, ++recNum, wanted);
            selected = wanted;
        }
        if (selected && hd.UnpSize64 > OutputLimit)
            raiseError(ArcErrBadLengths);
        if (selected && !prepareFolder(path.left(path.lastIndexOf(QLatin1Char('/'))), root)) {
            warn(ArcErrOpenFile);
            selected = false;
        }
        if (!selected) {
            check(RARProcessFile(h, RAR_SKIP, nullptr, nullptr));
            continue;
        }
        current = path;
        unpacked = hd.UnpSize64;
        total = 0;
        lastPercent = -1;
        const QByteArray dest = path.toUtf8();
        const QByteArray folder = root.toUtf8();
        const int result = RARProcessFile(h, RAR_EXTRACT, folder.constData(), dest.constData());
        if (cancelled)
            throw EArcAbort();
        ++extracted;
        if (result == ERAR_SUCCESS && SetDateTo == TSetDate::CurDate)
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
        if ((result == ERAR_SUCCESS || result == ERAR_BAD_DATA) && OnEnd)
            OnEnd(this, path, result != ERAR_BAD_DATA);
        check(result);
        if (oneFile || (!Names.isEmpty() && extracted >= Names.size()))
            break;
    }
    return extracted;
}
