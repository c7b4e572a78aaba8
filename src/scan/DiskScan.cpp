// The disk scan. The walk reads each folder with opendir/readdir and asks
// statx(dirfd, name, AT_SYMLINK_NOFOLLOW) for every entry: one system call
// per entry, relative to an already open folder (no path lookup from the
// root), never following a symbolic link, and giving the birth time where the
// file system keeps one. QDir or QDirIterator would build a QString and a
// QFileInfo per entry and stat by full path, which costs several times the
// walk itself on large trees; names here stay the raw bytes of the directory
// entry until they are stored. Times go through a per-hour cache of the local
// offset instead of a QDateTime per time for the same reason.
//
// Folders below the catalog's depth limit, other file systems mounted inside
// the scanned one, and anything the skip options leave out are not walked.
#include "scan/DiskScan.h"

#include "archive/ArcLister.h"
#include "archive/ArcTypes.h"
#include "archive/UnCAB.h"
#include "catalog/CatalogOps.h"
#include "catalog/DiskMedium.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/ByteTotals.h"
#include "platform/Drives.h"
#include "platform/Prompter.h"
#include "platform/Texts.h"
#include "scan/DescImport.h"
#include "scan/MediaEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QHash>
#include <QList>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Options

void ApplyScanSettings(TScanOptions &options, const TOptions &settings)
{
    options.IgnoreFoldersCheck = settings.IgnoreFoldersCheck;
    options.IgnoreFilesCheck = settings.IgnoreFilesCheck;
    options.IgnoreRecycleCheck = settings.IgnoreRecycleCheck;
    options.ArchiveSupport = settings.archiveTypes();
    options.ExtractDir = settings.ExtractDir;
    options.ImportDescList = settings.ImportDescList;
    options.DescTruncCheck = settings.DescTruncCheck;
    options.DescTruncEdit = settings.DescTruncEdit;
}

void ApplyScanDefaults(TScanOptions &options, const TOptions &settings, bool updating)
{
    ApplyScanSettings(options, settings);
    options.BrowseArchiveCheck = settings.InsideZipCheck;
    options.ArchiveDescOnly = settings.ArchiveDescOnly;
    options.ArchiveQuickScan = settings.ArchiveQuickScan;
    options.EjectMediaCheck = settings.EjectMediaCheck;
    options.ImportDizCheck = settings.descSourceEnabled(dsFileIdDiz);
    options.ImportBBSCheck = settings.descSourceEnabled(dsFilesBbs);
    options.Import4DOSCheck = settings.descSourceEnabled(dsDescriptIon);
    options.ImportCommentCheck = settings.descSourceEnabled(dsArchiveComment);
    options.KeepCurrentCheck = updating && settings.DescKeepCurrentCheck;
    options.ImportDescCombo = ksUpdatedDisk;
}

void ApplyScanEnablingRules(TScanOptions &options)
{
    const bool anyImport =
        options.ImportDizCheck || options.ImportBBSCheck || options.Import4DOSCheck || options.ImportCommentCheck;
    if (!options.BrowseArchiveCheck) {
        options.ImportCommentCheck = false;
        options.ArchiveDescOnly = false;
    }
    if (!anyImport)
        options.ArchiveDescOnly = false;
    if (!options.BrowseArchiveCheck || !options.OldDiskNode)
        options.ArchiveQuickScan = false;
}

// ---------------------------------------------------------------------------
// Messages

QString MsgAbortScanCaption()
{
    return QStringLiteral("Abort Disk Scan");
}

QString MsgAbortScanText()
{
    return QStringLiteral("Do you really want to abort disk scan?");
}

QString MsgScanErrorCaption()
{
    return QStringLiteral("Error");
}

QString MsgScanErrorText()
{
    return QStringLiteral("The disk scan was terminated and canceled due to an error encountered in the process. "
                          "Please check if data on the media is valid, and there is no damage to media itself "
                          "(like scratches on CD-ROM surface).");
}

QString MsgScanningStatus()
{
    return QStringLiteral("Scanning disk for data...");
}

// ---------------------------------------------------------------------------
// Names

namespace {

bool isAsciiUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

// The ASCII form of the case rule, in place: every letter after the first
// character and not right after a backslash is lowered.
void lowerAsciiTail(char *p, qsizetype n)
{
    for (qsizetype i = 1; i < n; ++i)
        if (p[i - 1] != '\\' && isAsciiUpper(p[i]))
            p[i] = char(p[i] + ('a' - 'A'));
}

bool asciiTailHasUpper(QByteArrayView name)
{
    for (qsizetype i = 1; i < name.size(); ++i)
        if (name[i - 1] != '\\' && isAsciiUpper(name[i]))
            return true;
    return false;
}

} // namespace

QByteArrayView NormalizeNameCase(QByteArrayView name, QByteArray &storage)
{
    if (name.size() < 2)
        return name;
    bool ascii = true;
    for (const char c : name) {
        if (c >= 'a' && c <= 'z')
            return name;   // the common case: a lower-case letter keeps the name as it is
        if (uchar(c) >= 0x80)
            ascii = false;
    }
    if (ascii || !name.isValidUtf8()) {
        // Bytes that are not UTF-8 are not letters we could map; the ASCII ones follow the rule.
        if (!asciiTailHasUpper(name))
            return name;
        storage = name.toByteArray();
        lowerAsciiTail(storage.data(), storage.size());
        return storage;
    }
    QList<uint> chars = QString::fromUtf8(name).toUcs4();
    if (chars.size() < 2)
        return name;
    for (const uint c : chars)
        if (QChar::isLower(char32_t(c)))
            return name;
    bool changed = false;
    for (qsizetype i = 1; i < chars.size(); ++i) {
        if (chars[i - 1] == uint('\\'))
            continue;
        const uint lower = uint(QChar::toLower(char32_t(chars[i])));
        if (lower != chars[i]) {
            chars[i] = lower;
            changed = true;
        }
    }
    if (!changed)
        return name;
    storage = QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), chars.size()).toUtf8();
    return storage;
}

QByteArray NormalizeNameCase(QByteArrayView name)
{
    QByteArray storage;
    const QByteArrayView result = NormalizeNameCase(name, storage);
    return storage.isNull() ? result.toByteArray() : storage;
}

bool KeepsMemberNameCase(TArcType type)
{
    switch (type) {
    case TArcType::GZip:
    case TArcType::TAR:
    case TArcType::SevenZip:
    case TArcType::XZ:
    case TArcType::BZip2:
    case TArcType::Zstd:
        return true;
    default:
        return false;
    }
}

int ArchiveIndexOfName(QByteArrayView name)
{
    qsizetype dot = -1;
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        const char c = name[i];
        if (c == '.') {
            dot = i;
            break;
        }
        if (c == '/' || c == '\\')
            return 0;
    }
    if (dot < 0)
        return 0;
    const QByteArrayView ext = name.sliced(dot + 1);
    for (const char c : ext)
        if (uchar(c) >= 0x80)   // a letter outside ASCII may upper-case to one inside it: ask the table
            return ArchiveExtensionIndex(QString::fromUtf8(name));
    // The table's extensions have one to four characters.
    if (ext.isEmpty() || ext.size() > 4)
        return 0;
    char u[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < ext.size(); ++i)
        u[i] = (ext[i] >= 'a' && ext[i] <= 'z') ? char(ext[i] - ('a' - 'A')) : ext[i];
    const QByteArrayView upper(u, ext.size());
    // Indexes of ArchiveTypeExtension; volume forms (A01, R00, Z01) belong to ARJ, RAR and ZIP.
    const bool volumeForm = ext.size() == 3 && u[1] >= '0' && u[1] <= '9' && u[2] >= '0' && u[2] <= '9';
    for (int index = kArchiveTypeCount; index >= 1; --index) {
        if (upper == QByteArrayView(ArchiveTypeExtension(index)))
            return index;
        const char volumeLetter = index == 2 ? 'A' : index == 8 ? 'R' : index == 9 ? 'Z' : 0;
        if (volumeLetter && volumeForm && u[0] == volumeLetter)
            return index;
    }
    return 0;
}

bool IsRecycleBinName(QByteArrayView name)
{
    if (name.size() == 8 && qstrnicmp(name.data(), "Recycled", 8) == 0)
        return true;
    if (name.size() == 12 && qstrnicmp(name.data(), "$RECYCLE.BIN", 12) == 0)
        return true;
    if (name == QByteArrayView(".Trash"))
        return true;
    if (name.size() > 7 && name.startsWith(QByteArrayView(".Trash-"))) {
        for (const char c : name.sliced(7))
            if (c < '0' || c > '9')
                return false;
        return true;
    }
    return false;
}

QByteArray FoldNameCase(QByteArrayView name)
{
    bool ascii = true;
    for (const char c : name)
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii || !name.isValidUtf8()) {
        QByteArray out = name.toByteArray();
        for (char &c : out)
            if (isAsciiUpper(c))
                c = char(c + ('a' - 'A'));
        return out;
    }
    return QString::fromUtf8(name).toCaseFolded().toUtf8();
}

// ---------------------------------------------------------------------------
// Carrying descriptions over

void TOldDescIndex::addFile(const TFileRec *file)
{
    if (TextLength(file->Desc) == 0 && file->CatFlags == 0)
        return;
    Entry e;
    e.name = file->name().toByteArray();
    e.key = FoldNameCase(e.name);
    e.desc = TextView(file->Desc).toByteArray();
    e.size = file->Size;
    e.modified = file->Modified;
    e.catFlags = file->CatFlags;
    m_entries.push_back(std::move(e));
    m_built = false;
}

void TOldDescIndex::addFolder(QByteArrayView name, const TFolderRec *folder)
{
    if (TextLength(folder->Desc) == 0 && folder->Reserved == 0 && folder->CatFlags == 0)
        return;
    Entry e;
    e.name = name.toByteArray();
    e.key = FoldNameCase(name);
    e.desc = TextView(folder->Desc).toByteArray();
    e.modified = folder->Modified;
    e.reserved = folder->Reserved;
    e.catFlags = folder->CatFlags;
    e.folder = true;
    m_entries.push_back(std::move(e));
    m_built = false;
}

void TOldDescIndex::build()
{
    std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    for (int letter = 0; letter < 26; ++letter) {
        const uchar first = uchar('a' + letter);
        const auto it = std::partition_point(m_entries.begin(), m_entries.end(), [first](const Entry &e) {
            return e.key.isEmpty() || uchar(e.key[0]) < first;
        });
        m_first[size_t(letter)] = int(it - m_entries.begin());
    }
    m_first[26] = int(m_entries.size());
    m_built = true;
}

const TOldDescIndex::Entry *TOldDescIndex::find(QByteArrayView name, bool newIsFolder, int64_t size,
                                                uint32_t modified) const
{
    if (m_entries.empty() || !m_built)
        return nullptr;
    const QByteArray key = FoldNameCase(name);
    const uchar c = key.isEmpty() ? 0 : uchar(key[0]);
    int lo, hi;
    if (c < 'a') {
        lo = 0;
        hi = m_first[0];
    } else if (c >= 'z') {
        lo = m_first[25];
        hi = m_first[26];
    } else {
        lo = m_first[size_t(c - 'a')];
        hi = m_first[size_t(c - 'a' + 1)];
    }
    const auto begin = m_entries.begin() + lo, end = m_entries.begin() + hi;
    auto it = std::lower_bound(begin, end, std::pair<QByteArrayView, QByteArrayView>(key, name),
                               [](const Entry &e, const std::pair<QByteArrayView, QByteArrayView> &k) {
                                   const int byKey = QByteArrayView(e.key).compare(k.first);
                                   if (byKey != 0)
                                       return byKey < 0;
                                   return QByteArrayView(e.name).compare(k.second) < 0;
                               });
    for (; it != end && it->key == key && QByteArrayView(it->name) == name; ++it) {
        if (!newIsFolder && !it->folder) {
            if (it->size == size && it->modified == modified)
                return &*it;
        } else if (newIsFolder && it->folder) {
            if (it->modified == modified)
                return &*it;
        } else {
            return &*it;   // a file and a folder of one name need no further test
        }
    }
    return nullptr;
}

bool TOldDescIndex::apply(TFileRec *file) const
{
    if (TextLength(file->Desc) != 0)
        return false;
    const Entry *e = find(file->name(), false, file->Size, file->Modified);
    if (!e)
        return false;
    FreeText(file->Desc);
    file->Desc = NewText(e->desc);
    file->CatFlags = e->catFlags;
    return true;
}

bool TOldDescIndex::apply(QByteArrayView name, TFolderRec *folder) const
{
    if (TextLength(folder->Desc) != 0)
        return false;
    const Entry *e = find(name, true, 0, folder->Modified);
    if (!e)
        return false;
    FreeText(folder->Desc);
    folder->Desc = NewText(e->desc);
    folder->Reserved = e->folder ? e->reserved : 0;
    folder->CatFlags = e->catFlags;
    return true;
}

// ---------------------------------------------------------------------------
// The scan

namespace {

// A cancel request reached the scan.
struct ScanCancelled {};

// Something on the medium could not be read; ends the scan.
class ScanFailure : public std::runtime_error
{
public:
    explicit ScanFailure(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// An open file descriptor, closed when it goes.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// An open folder listing, closed when it goes.
class DirStream
{
public:
    explicit DirStream(DIR *dir) : m_dir(dir) {}
    ~DirStream()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirStream(const DirStream &) = delete;
    DirStream &operator=(const DirStream &) = delete;
    DIR *get() const { return m_dir; }

private:
    DIR *m_dir;
};

int64_t satAdd(int64_t a, int64_t b)
{
    int64_t r;
    return __builtin_add_overflow(a, b, &r) ? (b > 0 ? INT64_MAX : INT64_MIN) : r;
}

// Bytes as the catalog's folder totals count them: bytes x 10000, saturated.
int64_t TotalUnits(int64_t bytes)
{
    int64_t r;
    return __builtin_mul_overflow(bytes, kByteTotalScale, &r) ? INT64_MAX : r;
}

int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Notes a description file among a folder's files (FILE_ID.DIZ, FILES.BBS,
// DESCRIPT.ION in any case; the first of each spelling counts). True when it is one.
bool noteDescFile(TFolderDescFiles &files, QByteArrayView rawName)
{
    const qsizetype n = rawName.size();
    if (n != 9 && n != 11 && n != 12)
        return false;
    QString *slot = nullptr;
    if (n == 11 && qstrnicmp(rawName.data(), "FILE_ID.DIZ", 11) == 0)
        slot = &files.fileIdDiz;
    else if (n == 9 && qstrnicmp(rawName.data(), "FILES.BBS", 9) == 0)
        slot = &files.filesBbs;
    else if (n == 12 && qstrnicmp(rawName.data(), "DESCRIPT.ION", 12) == 0)
        slot = &files.descriptIon;
    if (!slot)
        return false;
    if (slot->isEmpty())
        *slot = QFile::decodeName(rawName.toByteArray());
    return true;
}

// The path to hand to the system: the walk keeps the root as an empty text.
const char *osPath(const QByteArray &path)
{
    return path.isEmpty() ? "/" : path.constData();
}

// A folder set aside until the folder's files are done.
struct SubEntry {
    QByteArray rawName;     // the bytes of the directory entry (to open it)
    QByteArray name;        // after the case rule (the node's text)
    EntryInfo info;
    bool statFailed = false;
};

// A compressed folder taken over from the old image by quick scan.
struct Takeover {
    TTreeNode *oldNode;
    TTreeNode *newNode;
    TTreeNode *oldDiskNode;
};

// What one folder's walk keeps while it runs.
struct FolderCtx {
    TTreeNode *node = nullptr;
    TTreeNode *oldNode = nullptr;
    TFolderRec *folderRec = nullptr;   // null for the disk's root
    int depth = 0;
    int64_t clusters = 0;
    bool oldChildrenBuilt = false;
    QHash<QByteArray, TTreeNode *> oldChildren;
    TFolderDescFiles descFiles;
};

// What the listing of one archive builds.
struct ArchiveCtx {
    FolderCtx *folder = nullptr;
    QByteArray fileName;          // the archive file's name after the case rule
    QByteArray catalogFolder;     // "X:\PATH\" of the folder holding the archive, made when first needed
    EntryInfo info;
    TArcType type = TArcType::NA;
    TTreeNode *folderNode = nullptr;     // the folder of the volume being listed
    TFileRec *lastMember = nullptr;
    QString volumeFile;                  // the lister's file the current folder stands for
    QList<QByteArray> volumePaths;       // the walk's paths of the volume files, first volume first
    QSet<QByteArray> previousNames;      // CAB sets: member names of the previous volume's folder
    std::vector<TTreeNode *> volumeFolders;  // every folder this archive made, first volume first
    int count = 0;
    bool error = false;
    bool captureComment = false;
    QByteArray comment;
    QByteArray dizMember, bbsMember, ionMember;
    int64_t dizSize = -1, bbsSize = -1, ionSize = -1;   // their unpacked sizes
};

class Scanner
{
public:
    Scanner(TDrives &drives, const TScanOptions &options, const TScanHooks &hooks)
        : m_drives(drives), m_options(options), m_hooks(hooks),
          m_progress(hooks.progress ? *hooks.progress : m_noProgress)
    {
        m_choices.order = options.ImportDescList;
        m_choices.diz = options.ImportDizCheck;
        m_choices.bbs = options.ImportBBSCheck;
        m_choices.ion = options.Import4DOSCheck;
        m_choices.comment = options.ImportCommentCheck;
        m_choices.truncLines = options.DescTruncCheck ? std::clamp(options.DescTruncEdit, 1, 15) : 0;
        m_anyFolderImport = options.ImportDizCheck || options.ImportBBSCheck || options.Import4DOSCheck;
        m_quickScan = options.ArchiveQuickScan && options.OldDiskNode && options.BrowseArchiveCheck;
    }

    TScanOutcome run(QChar letter, const QByteArray &rootPath);

private:
    void status(const QString &text)
    {
        if (m_hooks.status)
            m_hooks.status(text);
    }
    void checkCancel()
    {
        if (m_progress.cancelRequested())
            throw ScanCancelled();
    }
    int64_t clustersOf(int64_t size) const
    {
        return size <= 0 ? 0 : (size - 1) / m_clusterSize + 1;
    }
    void leftOut() { m_disk->ScanFlags |= 1; }

    QByteArray nativeStart(const QString &driveRoot, const QByteArray &rootPath) const;
    void collectOldDescriptions();
    void collectFrom(TTreeNode *node);
    bool scanFolder(FolderCtx &ctx, int dirFd);
    bool readEntry(int dirFd, const char *name, EntryInfo &info);
    void addFile(FolderCtx &ctx, QByteArrayView rawName, QByteArrayView name, const EntryInfo &info,
                 TFileRec *&last, bool &gotDesc);
    TTreeNode *oldChild(FolderCtx &ctx, const QByteArray &name, bool compressed);
    bool scanArchive(FolderCtx &ctx, QByteArrayView rawName, QByteArrayView name, const EntryInfo &info,
                     int extIndex, QByteArray &fileDesc);
    // Takes an unchanged archive folder of the old disk over; countFile: the archive file counts
    // in TotalFiles (a later volume of a set does not, as when the set is listed).
    void takeOver(FolderCtx &ctx, TTreeNode *oldNode, int64_t size, bool countFile);
    void zipViewRead(TArcLister *lister);
    // Starts the folder of the next volume file of the archive being listed, beside the previous one.
    void openVolumeFolder(ArchiveCtx &arc, const QString &volumeFile);
    void createArchiveFolder(ArchiveCtx &arc);
    void giveBack();
    void updatePosition();
    // A path the archive kit and the description import can open (they take
    // QString paths): the path itself when its bytes survive the round trip
    // through QString, else a link to it with a readable name in a private
    // temporary folder (names on old media need not be UTF-8).
    QString openablePath(const QByteArray &rawPath);

    TDrives &m_drives;
    const TScanOptions &m_options;
    const TScanHooks &m_hooks;
    ScanProgress m_noProgress;
    ScanProgress &m_progress;
    TDescChoices m_choices;
    bool m_anyFolderImport = false;
    bool m_quickScan = false;

    QChar m_letter;
    TTreeNode *m_catalogNode = nullptr;
    TTreeNode *m_oldDiskNode = nullptr;
    TTreeNode *m_diskNode = nullptr;
    TDiskRec *m_disk = nullptr;
    int64_t m_clusterSize = 512;
    int64_t m_usedClusters = 0;
    int64_t m_clustersDone = 0;
    int m_position = -1;
    uint64_t m_rootMountId = 0;

    int64_t m_totalFiles = 0;
    int64_t m_archiveFiles = 0;
    int64_t m_totalFolders = 0;

    QByteArray m_path;   // the native path of the folder being walked
    std::unique_ptr<TOldDescIndex> m_index;
    std::vector<Takeover> m_takeovers;
    QSet<QByteArray> m_archivesRead;
    ArchiveCtx *m_arc = nullptr;
    TDosTimeConverter m_times;
    TDosAttrReader m_dosAttributes;   // empty where the file system keeps no DOS attributes
    int m_descFolders = 0;
    std::unique_ptr<QTemporaryDir> m_linkDir;   // links to paths that are not UTF-8
    int m_links = 0;
};

QString Scanner::openablePath(const QByteArray &rawPath)
{
    const QString decoded = QFile::decodeName(rawPath);
    if (QFile::encodeName(decoded) == rawPath)
        return decoded;
    if (!m_linkDir) {
        m_linkDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quillon-scan-XXXXXX"));
        if (!m_linkDir->isValid())
            return decoded;
    }
    // One folder per link keeps the file's own (decoded) name, which the
    // archive kit uses, for example as the member name of a GZip file.
    const QString folder = m_linkDir->path() + QLatin1Char('/') + QString::number(++m_links);
    const qsizetype slash = rawPath.lastIndexOf('/');
    QString name = QFile::decodeName(rawPath.mid(slash + 1));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("link");
    const QString link = folder + QLatin1Char('/') + name;
    if (!QDir().mkdir(folder) || ::symlink(rawPath.constData(), QFile::encodeName(link).constData()) != 0)
        return decoded;
    return link;
}

QByteArray Scanner::nativeStart(const QString &driveRoot, const QByteArray &rootPath) const
{
    // The walk keeps paths without a trailing "/", the root itself as an empty text.
    QByteArray start = QFile::encodeName(driveRoot);
    while (start.endsWith('/'))
        start.chop(1);
    // "\a\b\" below the drive's root: each part must be a plain name.
    const QList<QByteArray> parts = rootPath.split('\\');
    QByteArray relative;
    for (const QByteArray &part : parts) {
        if (part.isEmpty())
            continue;
        if (part == "." || part == ".." || part.contains('/') || part.contains('\0'))
            throw ScanFailure(QStringLiteral("Invalid virtual root folder: %1").arg(DecodeStored(rootPath)));
        relative += '/' + part;
    }
    // A stored folder is found in any case, as the finder finds the medium
    // (catalogued as "\PHOTOS\", mounted with "photos").
    struct stat st;
    if (relative.isEmpty() || (::stat((start + relative).constData(), &st) == 0 && S_ISDIR(st.st_mode)))
        return start + relative;
    const QString found = FindFolderBelow(driveRoot, rootPath);
    return found.isEmpty() ? start + relative : QFile::encodeName(found);
}

TScanOutcome Scanner::run(QChar letter, const QByteArray &rootPath)
{
    TScanOutcome outcome;
    m_letter = letter.toUpper();
    m_catalogNode = m_options.DatabaseList;
    m_oldDiskNode = m_options.OldDiskNode;
    if (!m_catalogNode || !AsCatalog(NodeRec(m_catalogNode))) {
        outcome.Detail = QStringLiteral("No catalog to add the disk to.");
        return outcome;
    }
    if (m_oldDiskNode && (m_oldDiskNode->parent() != m_catalogNode || !AsDisk(NodeRec(m_oldDiskNode)))) {
        outcome.Detail = QStringLiteral("The disk to update is not a disk of the target catalog.");
        return outcome;
    }
    if (!rootPath.isEmpty() && (!rootPath.startsWith('\\') || !rootPath.endsWith('\\'))) {
        outcome.Detail = QStringLiteral("Invalid virtual root folder: %1").arg(DecodeStored(rootPath));
        return outcome;
    }
    if (!m_drives.IsDriveReady(m_letter, true, m_hooks.prompter)) {
        outcome.Cancelled = true;
        return outcome;
    }

    if (const auto drive = m_drives.drive(m_letter); drive && m_drives.sources().dosAttributes)
        m_dosAttributes = m_drives.sources().dosAttributes(drive->fsType);

    status(MsgScanningStatus());
    m_progress.clearCancel();
    m_progress.setTopLabel(QStringLiteral("Initializing catalog update..."));

    QByteArray name = m_options.DiskName;
    if (name.isEmpty())
        name = "Disk " + QString(m_letter).toLatin1() + ":";
    name = UniqueDiskName(m_catalogNode, name, m_oldDiskNode);

    try {
        if (m_options.ChangeSerial)
            m_drives.SetVolumeSerial(m_letter, QRandomGenerator::global()->generate());

        const int index = m_oldDiskNode ? m_oldDiskNode->index() + 1 : -1;
        m_diskNode = AddDiskNode(m_catalogNode, name, index);
        m_disk = AsDisk(NodeRec(m_diskNode));
        ReadVolumeInfo(m_drives, m_letter, m_disk);
        if (m_oldDiskNode) {
            const TDiskRec *old = AsDisk(NodeRec(m_oldDiskNode));
            if (TextLength(old->Desc) != 0) {
                FreeText(m_disk->Desc);
                m_disk->Desc = NewText(TextView(old->Desc));
            }
            m_disk->Reserved = old->Reserved;
        }
        const QByteArray start = nativeStart(m_drives.rootPath(m_letter), rootPath);
        if (!rootPath.isEmpty()) {
            SetItemFlag(m_disk, rfVirtualRoot, true);
            FreeText(m_disk->RootPath);
            m_disk->RootPath = NewText(rootPath);
        }
        m_clusterSize = std::max<int64_t>(1, int64_t(m_disk->BytesPerSector) * m_disk->SectorsPerCluster);
        m_usedClusters = int64_t(m_disk->TotalClusters) - m_disk->FreeClusters;
        SetDiskImages(m_diskNode);
        checkCancel();

        if (m_options.KeepCurrentCheck)
            collectOldDescriptions();

        m_progress.setTopLabel(QStringLiteral("Scanning disk, please wait..."));
        m_progress.setBottomLabel(QStringLiteral("Reading file data in:"));
        m_progress.showProgressBar(true);
        m_progress.setPosition(0);

        // A volume that reports space and none of it used holds nothing to walk.
        // One that reports no size at all (some network and user file systems)
        // is walked all the same.
        bool walked = false;
        if (m_disk->TotalClusters <= 0 || m_disk->FreeClusters < m_disk->TotalClusters) {
            m_path = start;
            struct statx root;
            if (statx(AT_FDCWD, osPath(start), AT_NO_AUTOMOUNT,
                      STATX_TYPE | STATX_MNT_ID, &root) != 0)
                throw ScanFailure(QStringLiteral("%1: %2").arg(QFile::decodeName(osPath(start)), systemError(errno)));
            if (!S_ISDIR(root.stx_mode))
                throw ScanFailure(QStringLiteral("%1: not a folder").arg(QFile::decodeName(osPath(start))));
            m_rootMountId = (root.stx_mask & STATX_MNT_ID)
                                ? root.stx_mnt_id
                                : (uint64_t(root.stx_dev_major) << 32 | root.stx_dev_minor);
            const int fd = ::open(osPath(start), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0 && errno != EACCES && errno != EPERM)
                throw ScanFailure(QStringLiteral("%1: %2").arg(QFile::decodeName(osPath(start)), systemError(errno)));
            Fd rootFd(fd);
            if (fd < 0)
                leftOut();
            FolderCtx ctx;
            ctx.node = m_diskNode;
            ctx.oldNode = m_oldDiskNode;
            scanFolder(ctx, rootFd.get());
            walked = true;
        }
        checkCancel();
        m_progress.setPosition(100);

        m_disk->TotalFiles = clamp32(m_totalFiles);
        m_disk->ArchiveFiles = clamp32(m_archiveFiles);
        m_disk->TotalFolders = clamp32(walked ? m_totalFolders - 1 : 0);
        if (int64_t(m_disk->TotalClusters) >= m_clustersDone) {
            // Only a virtual root keeps the clusters outside what was catalogued (the
            // catalog file stores them for it alone).
            m_disk->OutsideClusters =
                ItemIs(m_disk->KindFlags, rfVirtualRoot) ? clamp32(m_usedClusters - m_clustersDone) : 0;
        } else {
            m_disk->TotalClusters = clamp32(m_clustersDone);
            m_disk->FreeClusters = 0;
            m_disk->OutsideClusters = 0;
            SetItemFlag(m_disk, rfCompressed, true);
            SetDiskImages(m_diskNode);
        }

        SetDiskDirty(m_diskNode, true);
        outcome.Success = true;
        outcome.DiskNode = m_diskNode;
    } catch (const ScanCancelled &) {
        outcome.Cancelled = true;
    } catch (const ScanFailure &e) {
        outcome.Detail = e.message();
    } catch (const EStreamError &e) {
        outcome.Detail = e.message();
    } catch (const std::bad_alloc &) {
        outcome.Detail = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        outcome.Detail = QString::fromLocal8Bit(e.what());
    }
    if (!outcome.Success) {
        giveBack();
        if (m_diskNode)
            DeleteNodeWithRecords(m_diskNode);
        m_diskNode = nullptr;
    } else {
        // The new image is complete and stays whatever happens now: only then
        // does the old one go, and a failing eject changes nothing.
        try {
            if (m_oldDiskNode) {
                for (const Takeover &t : m_takeovers)
                    t.oldNode->setData(nullptr);
                m_takeovers.clear();
                DeleteNodeWithRecords(m_oldDiskNode);
                m_oldDiskNode = nullptr;
            }
            if (m_options.EjectMediaCheck) {
                m_progress.setTopLabel(QStringLiteral("Finished, ejecting media..."));
                // Never the medium the catalog is written to.
                const TCatalogRec *catalog = AsCatalog(NodeRec(m_catalogNode));
                const QStringList keep{catalog ? catalog->FileName : QString()};
                if (!m_drives.EjectMedia(m_letter, keep, &outcome.Note))
                    m_progress.setTopLabel(outcome.Note);
            }
        } catch (const std::exception &) {
            // Nothing to undo: the catalog holds the new disk.
        }
    }
    status(QString());
    return outcome;
}

void Scanner::giveBack()
{
    for (auto it = m_takeovers.rbegin(); it != m_takeovers.rend(); ++it) {
        TFolderRec *rec = AsFolder(NodeRec(it->newNode));
        it->newNode->setData(nullptr);
        if (!rec)
            continue;
        rec->Node = it->oldNode;
        rec->DiskNode = it->oldDiskNode;
        for (TFileRec *f = rec->Next; f; f = f->Next)
            f->Node = it->oldNode;
        FreeText(rec->PathCache);
    }
    m_takeovers.clear();
}

// ---- carrying over ---------------------------------------------------------

void Scanner::collectOldDescriptions()
{
    m_progress.setTopLabel(QStringLiteral("Searching for existings descriptions..."));
    m_progress.setBottomLabel(QStringLiteral("Reading from disk in catalog:"));
    m_index = std::make_unique<TOldDescIndex>();
    std::vector<TTreeNode *> disks;
    if (m_oldDiskNode && m_options.ImportDescCombo == ksUpdatedDisk) {
        disks.push_back(m_oldDiskNode);
    } else {
        for (TTreeNode *child : m_catalogNode->children())
            if (child != m_diskNode && AsDisk(NodeRec(child)))
                disks.push_back(child);
    }
    auto foundLabel = [this] {
        m_progress.setDescFoundLabel(
            QStringLiteral("( Descriptions found so far: %1 )").arg(m_index->count()));
    };
    foundLabel();
    for (TTreeNode *disk : disks) {
        checkCancel();
        m_progress.setDirLabel(DecodeStored(disk->text()));
        LoadSubfolders(disk, true, false);
        collectFrom(disk);
        foundLabel();
    }
    m_index->build();
}

// Every file list below node is read for this, not only those of folders
// marked as holding descriptions: category marks on files live in the lists
// too. A list read only for this is dropped again afterwards.
void Scanner::collectFrom(TTreeNode *node)
{
    TItemRec *rec = NodeRec(node);
    if (!rec)
        return;
    if (TFolderRec *folder = AsFolder(rec)) {
        m_index->addFolder(node->text(), folder);
        if (++m_descFolders % 256 == 0) {
            m_progress.processEvents();
            checkCancel();
        }
    }
    const TFolderRec *folder = AsFolder(rec);
    const TDiskRec *disk = AsDisk(rec);
    const bool wasLoaded = folder ? folder->FilesLoaded != 0 : disk && disk->FilesLoaded != 0;
    if (!wasLoaded)
        LoadFileList(node, m_hooks.prompter);
    for (const TFileRec *f = rec->Next; f; f = f->Next)
        m_index->addFile(f);
    if (!wasLoaded)
        UnloadFileList(node);
    for (TTreeNode *child : node->children())
        collectFrom(child);
}

// ---- the walk ----------------------------------------------------------------

bool Scanner::readEntry(int dirFd, const char *name, EntryInfo &info)
{
    return ReadMediaEntry(dirFd, name, m_times, m_dosAttributes, info);
}

TTreeNode *Scanner::oldChild(FolderCtx &ctx, const QByteArray &name, bool compressed)
{
    if (!ctx.oldNode)
        return nullptr;
    if (!ctx.oldChildrenBuilt) {
        ctx.oldChildrenBuilt = true;
        if (AsFolder(NodeRec(ctx.oldNode)))
            LoadSubfolders(ctx.oldNode, false, false);
        ctx.oldChildren.reserve(ctx.oldNode->childCount());
        for (TTreeNode *child : ctx.oldNode->children())
            if (!ctx.oldChildren.contains(child->text()))
                ctx.oldChildren.insert(child->text(), child);
    }
    TTreeNode *found = ctx.oldChildren.value(name);
    if (!found)
        return nullptr;
    const TFolderRec *rec = AsFolder(NodeRec(found));
    if (!rec || ItemIs(rec->KindFlags, rfCompressed) != compressed)
        return nullptr;
    return found;
}

void Scanner::updatePosition()
{
    if (m_usedClusters <= 0)
        return;
    const int position = int(std::clamp<int64_t>((m_clustersDone * 100 + m_usedClusters / 2) / m_usedClusters, 0, 100));
    if (position != m_position) {
        m_position = position;
        m_progress.setPosition(position);
    }
}

bool Scanner::scanFolder(FolderCtx &ctx, int dirFd)
{
    ++m_totalFolders;
    ctx.folderRec = AsFolder(NodeRec(ctx.node));
    m_progress.setDirLabel(QFile::decodeName(m_path) + QLatin1Char('/'));

    std::vector<SubEntry> subfolders;
    subfolders.reserve(16);
    std::vector<SubEntry> laterVolumes;
    TFileRec *last = nullptr;
    bool gotDesc = false;
    bool anyDescFile = false;

    if (dirFd >= 0) {
        const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
        DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!dir) {
            const int error = errno;
            if (listFd >= 0)
                ::close(listFd);
            throw ScanFailure(QStringLiteral("%1: %2").arg(QFile::decodeName(m_path), systemError(error)));
        }
        DirStream stream(dir);
        QByteArray storage;
        for (;;) {
            m_progress.processEvents();
            if (m_progress.cancelRequested())
                break;
            errno = 0;
            const struct dirent *entry = ::readdir(dir);
            if (!entry) {
                if (errno != 0)
                    throw ScanFailure(QStringLiteral("%1: %2").arg(QFile::decodeName(m_path), systemError(errno)));
                break;
            }
            const char *raw = entry->d_name;
            if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
                continue;
            const QByteArrayView rawName(raw, qsizetype(std::strlen(raw)));

            EntryInfo info;
            bool statFailed = false;
            if (!readEntry(dirFd, raw, info)) {
                const int error = errno;
                if (error == ENOENT)
                    continue;   // gone since the folder was listed
                if (error != EACCES && error != EPERM)
                    throw ScanFailure(QStringLiteral("%1/%2: %3")
                                          .arg(QFile::decodeName(m_path), QFile::decodeName(rawName.toByteArray()),
                                               systemError(error)));
                // No search right on the folder: catalogue what the entry itself says.
                statFailed = true;
                info.folder = entry->d_type == DT_DIR;
                info.regular = entry->d_type == DT_REG;
                info.attr = uint8_t((info.folder ? faDirectory : info.regular ? faArchive : 0) |
                                    (raw[0] == '.' ? faHidden : 0));
            }

            const bool hidden = (info.attr & faHidden) != 0;
            if (info.folder) {
                if ((hidden && m_options.IgnoreFoldersCheck) || (m_options.IgnoreRecycleCheck && IsRecycleBinName(rawName))) {
                    leftOut();
                    continue;
                }
            } else if (hidden && m_options.IgnoreFilesCheck) {
                leftOut();
                continue;
            }

            const QByteArrayView name = NormalizeNameCase(rawName, storage);
            if (info.folder) {
                SubEntry sub;
                sub.rawName = rawName.toByteArray();
                sub.name = CutAtCharBoundary(name, kMaxShortText).toByteArray();
                sub.info = info;
                sub.statFailed = statFailed;
                subfolders.push_back(std::move(sub));
                continue;
            }
            // A later volume of a multi-volume archive waits until the folder's other files are
            // done, so that its first volume (listed in whatever order the folder returns them)
            // has read it already.
            if (info.regular && (IsLaterVolumeName(rawName) ||
                                 IsLaterCabinet(QFile::decodeName(m_path + '/' + rawName.toByteArray())))) {
                laterVolumes.push_back({rawName.toByteArray(), name.toByteArray(), info, statFailed});
                continue;
            }
            addFile(ctx, rawName, name, info, last, gotDesc);
            if (info.regular && noteDescFile(ctx.descFiles, rawName))
                anyDescFile = true;
        }
        for (const SubEntry &volume : laterVolumes) {
            if (m_progress.cancelRequested())
                break;
            addFile(ctx, volume.rawName, volume.name, volume.info, last, gotDesc);
        }
    }
    if (gotDesc)
        SetItemFlag(NodeRec(ctx.node), rfHasDesc, true);

    bool subfolderDiz = false;
    const qsizetype pathLength = m_path.size();
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) {
        if (m_progress.cancelRequested())
            break;
        if (ctx.depth + 1 > kMaxFolderDepth) {
            leftOut();   // deeper than the catalog can hold
            continue;
        }
        const SubEntry &sub = *it;
        TTreeNode *child = AddFolderNode(ctx.node, sub.name);
        TFolderRec *folder = AsFolder(NodeRec(child));
        folder->Attr = sub.info.attr;
        folder->Created = sub.info.created;
        folder->Modified = sub.info.modified;
        folder->Accessed = sub.info.accessed;
        if (m_index)
            m_index->apply(sub.name, folder);

        FolderCtx childCtx;
        childCtx.node = child;
        childCtx.oldNode = oldChild(ctx, sub.name, false);
        childCtx.depth = ctx.depth + 1;
        int childFd = -1;
        // Another file system mounted here is another drive: its folder is kept, its content is not ours.
        if (!sub.statFailed && sub.info.mountId == m_rootMountId) {
            childFd = ::openat(dirFd, sub.rawName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                const int error = errno;
                if (error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR || error == ELOOP)
                    leftOut();   // unreadable (or gone): catalogued empty
                else
                    throw ScanFailure(QStringLiteral("%1/%2: %3")
                                          .arg(QFile::decodeName(m_path), QFile::decodeName(sub.rawName),
                                               systemError(error)));
            }
        } else if (sub.statFailed) {
            leftOut();
        }
        Fd childHolder(childFd);
        m_path.append('/');
        m_path.append(sub.rawName);
        const bool tookDiz = scanFolder(childCtx, childFd);
        m_path.truncate(pathLength);
        if (tookDiz)
            subfolderDiz = true;
        if (ctx.folderRec)
            ctx.folderRec->TotalSize = satAdd(ctx.folderRec->TotalSize, folder->TotalSize);
    }

    bool tookDiz = false;
    if (!m_progress.cancelRequested()) {
        if (anyDescFile && m_anyFolderImport) {
            m_progress.setDirLabel(QFile::decodeName(m_path) + QLatin1Char('/'));
            tookDiz = ImportFolderDescriptions(ctx.node, openablePath(osPath(m_path)),
                                               ctx.descFiles, subfolderDiz, m_choices);
        }
        m_clustersDone = satAdd(m_clustersDone, ctx.clusters);
        updatePosition();
    }
    return tookDiz;
}

void Scanner::addFile(FolderCtx &ctx, QByteArrayView rawName, QByteArrayView name, const EntryInfo &info,
                      TFileRec *&last, bool &gotDesc)
{
    QByteArray archiveDesc;
    bool taken = false;
    // Only a regular file is opened as an archive: a link is never followed, a device or pipe never read.
    if (info.regular) {
        const int extIndex = ArchiveIndexOfName(name);
        if (extIndex > 0 && m_options.ArchiveSupport[size_t(extIndex - 1)] && m_options.BrowseArchiveCheck &&
            ctx.depth < kMaxFolderDepth)
            taken = scanArchive(ctx, rawName, name, info, extIndex, archiveDesc);
    }
    if (taken)
        return;
    ++m_totalFiles;
    TFileRec *f = AppendFile(ctx.node, name, last);
    last = f;
    f->Attr = info.attr;
    f->Size = info.size;
    f->Created = info.created;
    f->Modified = info.modified;
    f->Accessed = info.accessed;
    if (m_index)
        m_index->apply(f);
    if (!archiveDesc.isEmpty())
        SetDescIfEmpty(f->Desc, archiveDesc);
    if (f->Desc)
        gotDesc = true;
    if (ctx.folderRec)
        ctx.folderRec->TotalSize = satAdd(ctx.folderRec->TotalSize, TotalUnits(info.size));
    ctx.clusters = satAdd(ctx.clusters, clustersOf(info.size));
}

// ---- archives ----------------------------------------------------------------

void Scanner::takeOver(FolderCtx &ctx, TTreeNode *oldNode, int64_t size, bool countFile)
{
    LoadFileList(oldNode, m_hooks.prompter);
    TFolderRec *rec = AsFolder(NodeRec(oldNode));
    TTreeNode *newNode = ctx.node->forest()->addChild(ctx.node, oldNode->text());
    newNode->setImages(oldNode->imageIndex(), oldNode->selectedIndex());
    m_takeovers.push_back(Takeover{oldNode, newNode, rec->DiskNode});
    newNode->setData(rec);
    rec->Node = newNode;
    rec->DiskNode = m_diskNode;
    FreeText(rec->PathCache);
    for (TFileRec *f = rec->Next; f; f = f->Next)
        f->Node = newNode;
    ctx.clusters = satAdd(ctx.clusters, clustersOf(size));
    if (countFile)
        ++m_totalFiles;
    m_archiveFiles += rec->FileCount;
    if (ctx.folderRec)
        ctx.folderRec->TotalSize = satAdd(ctx.folderRec->TotalSize, rec->TotalSize);
}

bool Scanner::scanArchive(FolderCtx &ctx, QByteArrayView rawName, QByteArrayView name, const EntryInfo &info,
                          int extIndex, QByteArray &fileDesc)
{
    QByteArray path = m_path;
    path.append('/');
    path.append(rawName);
    if (m_archivesRead.contains(path))
        return true;
    m_progress.setDirLabel(QFile::decodeName(path));

    if (m_quickScan) {
        if (TTreeNode *old = oldChild(ctx, name.toByteArray(), true)) {
            const TFolderRec *rec = AsFolder(NodeRec(old));
            // rec->Node != old: an earlier file of the same name after the case
            // rule (BACKUP.ZIP and Backup.zip) already took this record over.
            if (rec->Node == old && rec->Modified == info.modified && rec->TotalSize == TotalUnits(info.size) &&
                old->childCount() == 0 && rec->SubOffset <= 0) {
                takeOver(ctx, old, info.size, !IsLaterVolumeName(rawName));
                ctx.oldChildren.remove(old->text());
                m_progress.setDirLabel(QFile::decodeName(m_path) + QLatin1Char('/'));
                return true;
            }
        }
    }

    ArchiveCtx arc;
    arc.folder = &ctx;
    arc.fileName = CutAtCharBoundary(name, kMaxShortText).toByteArray();
    arc.info = info;
    arc.captureComment = m_options.ImportCommentCheck && ArchiveIndexListsComment(extIndex);
    m_arc = &arc;
    struct ResetArc {
        ArchiveCtx *&arc;
        ~ResetArc() { arc = nullptr; }
    } reset{m_arc};

    TArcLister lister;
    lister.OnRead = [this](TArcLister *sender, int64_t, int) { zipViewRead(sender); };
    // A long listing lets the window answer; a cancel ends it, and the scan at its next entry.
    lister.CancelRequested = [this] {
        m_progress.processEvents();
        return m_progress.cancelRequested();
    };
    try {
        lister.setArchiveFile(openablePath(path));
        arc.type = lister.arcType();
    } catch (const EArcError &) {
        arc.error = true;
    }
    // A listing that stops at damage keeps the members read before it.
    if (!arc.error)
        lister.activate();
    if (arc.error && arc.folderNode) {
        DeleteNodeWithRecords(arc.folderNode);
        arc.folderNode = nullptr;
    }
    m_progress.setDirLabel(QFile::decodeName(m_path) + QLatin1Char('/'));

    if (arc.error && arc.volumeFolders.size() > 1) {
        for (TTreeNode *node : arc.volumeFolders)
            if (node != arc.folderNode)
                DeleteNodeWithRecords(node);
    }
    const bool taken = !arc.error && arc.count > 0;
    if (taken) {
        m_archivesRead.insert(path);
        for (qsizetype i = 1; i < arc.volumePaths.size(); ++i)
            m_archivesRead.insert(arc.volumePaths[i]);
        ++m_totalFiles;
        ctx.clusters = satAdd(ctx.clusters, clustersOf(info.size));
        m_archiveFiles += arc.count;
        // Every volume of a set is a file of this folder, counted by its own size.
        for (TTreeNode *node : arc.volumeFolders) {
            const TFolderRec *folder = AsFolder(NodeRec(node));
            if (ctx.folderRec && folder)
                ctx.folderRec->TotalSize = satAdd(ctx.folderRec->TotalSize, folder->TotalSize);
        }
    }

    if (ArchiveIndexCanExtract(extIndex) &&
        (!arc.dizMember.isEmpty() || !arc.bbsMember.isEmpty() || !arc.ionMember.isEmpty() ||
         !arc.comment.isEmpty())) {
        TArchiveDescInput input;
        input.extIndex = extIndex;
        input.archivePath = openablePath(path);
        input.dizMember = arc.dizMember;
        input.bbsMember = arc.bbsMember;
        input.ionMember = arc.ionMember;
        input.dizSize = arc.dizSize;
        input.bbsSize = arc.bbsSize;
        input.ionSize = arc.ionSize;
        input.archiveComment = arc.comment;
        input.archiveFolder = taken ? arc.folderNode : nullptr;
        input.tempDir = m_options.ExtractDir;
        fileDesc = ImportArchiveDescriptions(input, m_choices);
    }
    return taken;
}

void Scanner::createArchiveFolder(ArchiveCtx &arc)
{
    TTreeNode *node = AddFolderNode(arc.folder->node, arc.fileName);
    arc.volumeFolders.push_back(node);
    TFolderRec *folder = AsFolder(NodeRec(node));
    SetItemFlag(folder, rfCompressed, true);
    SetFolderImages(node);
    folder->Attr = arc.info.attr;
    folder->Created = arc.info.created;
    folder->Modified = arc.info.modified;
    folder->Accessed = arc.info.accessed;
    folder->TotalSize = TotalUnits(arc.info.size);
    arc.folderNode = node;
    if (m_index)
        m_index->apply(arc.fileName, folder);
}

void Scanner::openVolumeFolder(ArchiveCtx &arc, const QString &volumeFile)
{
    // The volume lies beside the archive (every format names its volumes in the archive's folder).
    const QByteArray rawName = QFile::encodeName(QFileInfo(volumeFile).fileName());
    const QByteArray path = m_path + '/' + rawName;
    EntryInfo info;
    if (!readEntry(AT_FDCWD, osPath(path), info))
        info = arc.info;
    arc.previousNames.clear();
    if (arc.type == TArcType::CAB) {
        for (const TFileRec *f = NodeRec(arc.folderNode)->Next; f; f = f->Next)
            arc.previousNames.insert(f->name().toByteArray());
    }
    QByteArray storage;
    arc.fileName = CutAtCharBoundary(NormalizeNameCase(rawName, storage), kMaxShortText).toByteArray();
    arc.info = info;
    arc.lastMember = nullptr;
    createArchiveFolder(arc);
    arc.volumeFile = volumeFile;
    arc.volumePaths.append(path);
    // The volume's own clusters count like any file's.
    arc.folder->clusters = satAdd(arc.folder->clusters, clustersOf(info.size));
}

void Scanner::zipViewRead(TArcLister *lister)
{
    ArchiveCtx *arc = m_arc;
    if (!arc)
        return;
    try {
        if (arc->captureComment) {
            arc->comment = lister->ArchiveComment;
            arc->captureComment = false;
        }
        QByteArray name = lister->MemberName;
        if (lister->UnpackedSize > uint64_t(INT64_MAX))
            return;
        for (const char c : name)
            if (uchar(c) < 32)
                return;
        // Folder entries: the attribute byte of a folder, or a name that ends like one.
        if ((lister->MemberAttr & 0xFF) == faDirectory || name.endsWith('\\') || name.isEmpty())
            return;
        if (name.size() >= 2 && name[1] == ':') {
            if (arc->catalogFolder.isEmpty()) {
                const QByteArray folderPath = NodePath(arc->folder->node, false, true);
                arc->catalogFolder = QString(m_letter).toLatin1() + ':' + folderPath;
                if (!arc->catalogFolder.endsWith('\\'))
                    arc->catalogFolder += '\\';
            }
            if (name.size() > arc->catalogFolder.size() &&
                qstrnicmp(name.constData(), arc->catalogFolder.constData(), size_t(arc->catalogFolder.size())) == 0)
                name.remove(0, arc->catalogFolder.size());
        }
        // Names from the Unix and today's formats keep their case; the DOS-era and ISO 9660 ones are normalised.
        if (!KeepsMemberNameCase(arc->type))
            name = NormalizeNameCase(name);

        auto same = [&name](const char *what) {
            const qsizetype n = qsizetype(std::strlen(what));
            return name.size() == n && qstrnicmp(name.constData(), what, size_t(n)) == 0;
        };
        if (same("File_id.diz") && arc->dizMember.isEmpty())
        {
            arc->dizMember = lister->MemberName;
            arc->dizSize = int64_t(lister->UnpackedSize);
        }
        if (!m_options.ArchiveDescOnly) {
            if (same("Files.bbs") && arc->bbsMember.isEmpty()) {
                arc->bbsMember = lister->MemberName;
                arc->bbsSize = int64_t(lister->UnpackedSize);
            }
            if (same("Descript.ion") && arc->ionMember.isEmpty()) {
                arc->ionMember = lister->MemberName;
                arc->ionSize = int64_t(lister->UnpackedSize);
            }
        }
        if (m_options.ArchiveDescOnly)
            return;

        if (!arc->folderNode) {
            createArchiveFolder(*arc);
            arc->volumeFile = lister->CurrentFile;
            arc->volumePaths.append(m_path + '/' + QFile::encodeName(QFileInfo(lister->CurrentFile).fileName()));
        } else if (lister->CurrentFile != arc->volumeFile) {
            openVolumeFolder(*arc, lister->CurrentFile);
        }
        // A member that goes on from the previous cabinet of a set is there already.
        if (arc->type == TArcType::CAB && arc->previousNames.contains(name))
            return;
        ++arc->count;
        TFileRec *f = AppendFile(arc->folderNode, name, arc->lastMember);
        arc->lastMember = f;
        f->Attr = uint8_t(lister->MemberAttr & 0xFF);
        f->Size = int64_t(lister->UnpackedSize);
        f->Modified = lister->MemberDosDate;
        f->Created = lister->MemberCRC;
        f->Accessed = uint32_t(std::min<uint64_t>(lister->PackedSize, UINT32_MAX));
        if (!lister->MemberComment.isEmpty())
            SetDescIfEmpty(f->Desc, NormalizeDescription(lister->MemberComment));
        if (m_index)
            m_index->apply(f);
        if (f->Desc)
            SetItemFlag(NodeRec(arc->folderNode), rfHasDesc, true);
    } catch (const std::exception &) {
        // One member that cannot be taken does not end the listing.
    }
}

} // namespace

TScanOutcome ScanDisk(TDrives &drives, QChar letter, const QByteArray &rootPath, const TScanOptions &options,
                      const TScanHooks &hooks)
{
    Scanner scanner(drives, options, hooks);
    return scanner.run(letter, rootPath);
}
