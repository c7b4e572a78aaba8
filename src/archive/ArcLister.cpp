// The lister's shared parts: archive file and type, member mask matching,
// numbered errors, and the listing loop that drives a format's reader.
#include "archive/ArcLister.h"

#include "archive/ArchiveTypes.h"

#include <QDir>
#include <QFileInfo>

#include <ctime>

namespace {

// The file-name part with "/" as "\": after the last "\"; a trailing "\" (a folder) is dropped first.
QString fileNamePart(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (text.endsWith(QLatin1Char('\\')))
        text.chop(1);
    return text.mid(text.lastIndexOf(QLatin1Char('\\')) + 1);
}

// Wildcard match of "?" and "*" over already upper-cased texts (iterative, no backtracking blow-up).
bool wildMatch(const QString &mask, const QString &name)
{
    qsizetype m = 0, n = 0, starM = -1, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == QLatin1Char('?') || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == QLatin1Char('*')) {
            starM = m++;
            starN = n;
        } else if (starM >= 0) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == QLatin1Char('*'))
        ++m;
    return m == mask.size();
}

uint32_t dosNow()
{
    return UnixToDosDateTime(int64_t(std::time(nullptr)));
}

} // namespace

bool MatchesFileSpec(const QString &maskIn, const QString &nameIn)
{
    QString mask = fileNamePart(maskIn).toUpper();
    QString name = fileNamePart(nameIn).toUpper();
    if (mask.isEmpty() || name.isEmpty())
        return false;
    // The trailing "." goes first: a name "X." has no extension, so "*.*" still matches it.
    if (mask.endsWith(QLatin1Char('.')))
        mask.chop(1);
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (mask.isEmpty() || name.isEmpty())
        return false;
    const bool maskDot = mask.contains(QLatin1Char('.'));
    const bool nameDot = name.contains(QLatin1Char('.'));
    if (!maskDot && nameDot)
        mask += QLatin1String(".*");
    if (!nameDot && maskDot)
        name += QLatin1String(".*");
    return wildMatch(mask, name);
}

// ---------------------------------------------------------------------------

void TZipCommon::setArchiveFile(const QString &path)
{
    m_fromMemory = false;
    m_memoryData = {};
    m_memoryVolumes.clear();
    m_det = TArcDetection{};
    m_fileDate = 0;
    m_archiveFile.clear();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    m_archiveFile = path;
    TFileSource src(path);
    if (!src.isOpen()) {
        m_det.type = TArcType::FileError;
        return;
    }
    m_fileDate = src.mtime() >= 0 ? UnixToDosDateTime(src.mtime()) : dosNow();
    m_det = DetectArcType(src, path, m_zipCmntBufSize);
    if (!src.close())
        raiseError(ArcErrCloseFile);
}

void TZipCommon::setArchiveData(const QByteArray &data, const QString &fileName)
{
    m_fromMemory = true;
    m_memoryData = data;
    m_archiveFile = fileName;
    m_fileDate = dosNow();
    TMemorySource src(data);
    m_det = DetectArcType(src, fileName, m_zipCmntBufSize);
}

void TZipCommon::addMemoryVolume(const QString &path, const QByteArray &data)
{
    m_memoryVolumes.append({path, data});
}

const QByteArray *TZipCommon::memoryVolume(const QString &path) const
{
    // "./b.cab" and "b.cab" are one volume: a set's links are resolved beside the archive's path.
    const QString wanted = QDir::cleanPath(path);
    for (const auto &volume : m_memoryVolumes)
        if (QDir::cleanPath(volume.first).compare(wanted, Qt::CaseInsensitive) == 0)
            return &volume.second;
    return nullptr;
}

bool TZipCommon::volumeExists(const QString &path) const
{
    if (!m_fromMemory)
        return QFileInfo(path).isFile();
    return memoryVolume(path) != nullptr;
}

std::unique_ptr<TArcSource> TZipCommon::openVolumeSource(const QString &path) const
{
    if (m_fromMemory) {
        const QByteArray *bytes = memoryVolume(path);
        return bytes ? std::make_unique<TMemorySource>(*bytes) : nullptr;
    }
    auto file = std::make_unique<TFileSource>(path);
    if (!file->isOpen())
        return nullptr;
    return file;
}

bool TZipCommon::closeVolume(TArcSource *volume)
{
    auto *file = dynamic_cast<TFileSource *>(volume);
    return !file || file->close();
}

void TZipCommon::setFileSpec(const QString &mask)
{
    QString part = mask;
    part.replace(QLatin1Char('/'), QLatin1Char('\\'));
    m_fileSpec = part.mid(part.lastIndexOf(QLatin1Char('\\')) + 1);
}

void TZipCommon::setZipCmntBufSize(int size)
{
    m_zipCmntBufSize = std::clamp(size, 0, 32767);
}

void TZipCommon::raiseError(int code)
{
    warn(code);
    throw EArcError(code);
}

void TZipCommon::warn(int code)
{
    if (OnError)
        OnError(this, m_archiveFile, QString(), code);
}

// ---------------------------------------------------------------------------

void TArcLister::clearMember()
{
    MemberName.clear();
    PackedSize = UnpackedSize = 0;
    MemberCRC = 0;
    MemberDosDate = NormalizedDosDateTime(0);
    MemberDate = DosDateTimeToDateTime(MemberDosDate);
    VersionMadeBy = VersionNeeded = 0;
    MethodCode = 0;
    GeneralFlags = 0;
    DeflateOption = 0;
    InternalAttr = 0;
    MemberAttr = 32;
    Ratio = 0;
    MemberComment = QByteArray();
    LocalHeaderOffset = 0;
}

int TArcLister::ratioOf(uint64_t packed, uint64_t unpacked)
{
    if (packed == 0 || unpacked == 0 || packed >= unpacked)
        return 0;
    // 100 - packed * 100 / unpacked, rounded half up, in integers (long double keeps 64-bit sizes exact enough).
    const long double r = 100.0L - (long double)packed * 100.0L / (long double)unpacked;
    const int rounded = int(r + 0.5L);
    return std::max(rounded, 1);
}

bool TArcLister::activate()
{
    m_lastError = 0;
    try {
        if (!OnRead)
            raiseError(ArcErrOnReadMissing);
        switch (m_det.type) {
        case TArcType::NA:
        case TArcType::Unknown:
        case TArcType::Unsupported:
            raiseError(ArcErrUnknownType);
        case TArcType::FileError:
            raiseError(ArcErrHeaderId);
        default:
            break;
        }
        CurrentFile = m_archiveFile;
        if (m_fromMemory) {
            m_src = std::make_unique<TMemorySource>(m_memoryData);
        } else {
            auto file = std::make_unique<TFileSource>(m_archiveFile);
            if (!file->isOpen())
                raiseError(ArcErrReadFile);
            m_src = std::move(file);
        }
        list();
        auto *file = dynamic_cast<TFileSource *>(m_src.get());
        const bool closed = !file || file->close();
        m_src.reset();
        if (!closed)
            raiseError(ArcErrCloseFile);
        return true;
    } catch (const EArcError &e) {
        m_lastError = e.code();
    } catch (const std::bad_alloc &) {
        m_lastError = 25153; // Out of memory
    }
    m_src.reset();
    return false;
}

bool TArcLister::openVolume(const QString &path)
{
    std::unique_ptr<TArcSource> next = openVolumeSource(path);
    if (!next)
        return false;
    if (!closeVolume(m_src.get()))
        raiseError(ArcErrCloseFile);
    m_src = std::move(next);
    CurrentFile = path;
    endOfMembers = m_src->size();
    return true;
}

void TArcLister::list()
{
    TArcSource &src = *m_src;
    std::unique_ptr<TArcListReader> reader = MakeListReader(m_det.type);
    if (!reader)
        raiseError(ArcErrUnknownType);
    ArchiveComment = QByteArray();
    FileNum = 0;
    TotalPacked = TotalUnpacked = 0;
    position = 0;
    endOfMembers = src.size();
    if (OnActivate)
        OnActivate(this);
    struct Deactivate {
        TArcLister *self;
        ~Deactivate()
        {
            self->ArchiveComment = QByteArray();
            self->MemberComment = QByteArray();
            if (self->OnDeactivate)
                self->OnDeactivate(self);
        }
    } deactivate{this};

    reader->prepare(*this, src);
    const int headerSize = reader->headerSize();
    QByteArray fixed(headerSize, Qt::Uninitialized);
    int decoded = 0;
    while (position >= 0 && position + headerSize < endOfMembers) {
        const int64_t headerOffset = position;
        if (!m_src->readAt(position, fixed.data(), headerSize))
            raiseError(ArcErrReadFile);
        position += headerSize;
        clearMember();
        HeaderOffset = headerOffset;
        const TArcListReader::Step step = reader->step(*this, *m_src, fixed, headerOffset);
        if (step == TArcListReader::Step::End)
            break;
        ++decoded;
        if (step != TArcListReader::Step::Report)
            continue;
        if (!MatchesFileSpec(m_fileSpec, QString::fromUtf8(MemberName)))
            continue;
        ++FileNum;
        TotalPacked += PackedSize;
        TotalUnpacked += UnpackedSize;
        if (OnReadBegin)
            OnReadBegin(this);
        OnRead(this, headerOffset, FileNum);
        if (OnReadEnd)
            OnReadEnd(this);
    }
    reader->finish(*this, decoded);
    if (OnTotals)
        OnTotals(this, FileNum);
}

std::unique_ptr<TArcListReader> MakeListReader(TArcType type)
{
    const TArcType plain = PlainArcType(type);
    for (const TArchiveTypeRow &row : kArchiveTypes) {
        if (row.type == plain && row.makeLister)
            return row.makeLister();
    }
    for (const TRowlessReader &extra : kRowlessReaders)
        if (extra.type == plain)
            return extra.makeLister();
    return nullptr;
}
