// The synthetic catalog generator. Everything is drawn from one small
// splitmix64 generator per disk (seeded from the options' seed and the disk's
// index), with integer arithmetic only, so that a seed gives the same forest
// on every machine and library version, and a disk's content does not depend
// on how large the other disks are.
#include "GenCatalog.h"
#include "GenRandom.h"

#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// The seed of an independent stream: the seed mixed with a stream number.
uint64_t StreamSeed(uint64_t seed, uint64_t stream)
{
    TGenRandom mix(seed ^ (stream * 0xD1B54A32D192ED03ull));
    mix.next();
    return mix.next();
}

template <size_t N>
const char *Pick(TGenRandom &rng, const std::array<const char *, N> &pool)
{
    return pool[size_t(rng.below(N))];
}

const std::array<const char *, 40> kAsciiWords = {
    "report", "photo", "backup", "draft", "music", "track", "setup", "readme", "invoice", "summer",
    "holiday", "project", "final", "copy", "notes", "scan", "video", "data", "letter", "budget",
    "game", "level", "save", "driver", "update", "manual", "chapter", "old", "new", "Mix",
    "Demo", "Part", "Index", "Sample", "Win", "DOS", "Image", "Font", "Lib", "Tools",
};

// Multi-byte UTF-8 words: two-, three- and four-byte characters.
const std::array<const char *, 16> kUtf8Words = {
    "Überblick", "café", "naïve", "résumé", "Ωμέγα", "Привет", "日本語", "データ",
    "北京", "🎵", "Zürich", "señor", "Ærø", "Łódź", "한국어", "😀smile",
};

const std::array<const char *, 16> kExtensions = {
    ".txt", ".doc", ".jpg", ".mp3", ".exe", ".dll", ".c", ".h",
    ".pdf", ".htm", ".dat", ".bmp", ".wav", ".ini", ".TXT", "",
};

const std::array<const char *, 8> kArchiveExtensions = {
    ".zip", ".zip", ".zip", ".arj", ".lzh", ".rar", ".cab", ".zoo",
};

// The last entry is the only one that is not ASCII.
const std::array<const char *, 8> kMemberFolders = {
    "docs", "src", "img", "bin", "data\\old", "Sound\\FX", "include\\sys", "Ünicode",
};

const std::array<const char *, 31> kCategoryNames = {
    "Music", "Photos", "Documents", "Software", "Games", "Backups", "Video", "Drivers",
    "Fonts", "Books", "Source code", "Fotografías", "Work", "Private", "Shareware", "Clip art",
    "Samples", "Letters", "Tax", "Travel", "Scans", "Utilities", "Magazines", "Maps",
    "Recipes", "Sound effects", "Wallpapers", "Manuals", "Misc", "Temp", "Archive",
};

const std::array<const char *, 3> kFlagNames = {"Important", "To burn", "Checked"};

// The folder a virtual root catalogued, stored with its trailing "\\". The last
// entry is the only one that is not ASCII.
const std::array<const char *, 6> kRootPaths = {
    "\\Data\\Photos\\", "\\Users\\Shared\\Music\\", "\\Projects\\", "\\home\\backup\\2004\\",
    "\\Data\\Photos\\2003\\", "\\Archiv\\Büro\\",
};

// A folder path of a pool whose last entry is the only one that is not
// ASCII; without UTF-8 that entry is never taken.
template <size_t N>
const char *PickFolder(TGenRandom &rng, const std::array<const char *, N> &pool, bool utf8)
{
    return pool[size_t(rng.below(utf8 ? N : N - 1))];
}

// Every option pulled into the range the generator works with.
GenOptions Clamped(const GenOptions &o)
{
    GenOptions c = o;
    c.disks = std::max(0, c.disks);
    // Folders nest at most 255 levels below a disk; a compressed file in the
    // deepest folder is one level more.
    c.depth = std::clamp(c.depth, 0, kMaxFolderDepth - 1);
    c.fanOut = std::max(0, c.fanOut);
    c.filesPerFolder = std::max(0, c.filesPerFolder);
    // 12 bytes leave room for the unique prefix of a name and its extension.
    c.maxNameLen = std::clamp(c.maxNameLen, 12, kMaxShortText);
    c.descPercent = std::clamp(c.descPercent, 0, 100);
    c.categories = std::clamp(c.categories, 0, 31);
    c.flagNames = std::clamp(c.flagNames, 0, 3);
    c.archivesPerDisk = std::max(0, c.archivesPerDisk);
    c.membersPerArchive = std::max(0, c.membersPerArchive);
    c.hugeFileEvery = std::max<int64_t>(0, c.hugeFileEvery);
    return c;
}

int64_t SaturatingAdd(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

int64_t SaturatingMul(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_mul_overflow(a, b, &r))
        return std::numeric_limits<int64_t>::max();
    return r;
}

// Folders below one disk root (the root not counted).
int64_t FoldersPerDisk(const GenOptions &c)
{
    int64_t total = 0, level = 1;
    for (int d = 1; d <= c.depth; ++d) {
        level = SaturatingMul(level, c.fanOut);
        total = SaturatingAdd(total, level);
    }
    return total;
}

// A valid packed date-time between 1980 and 2099.
uint32_t RandomDosTime(TGenRandom &rng)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = int(rng.below(120));   // minus 1980
    const int month = int(rng.between(1, 12));
    int days = kDays[month - 1];
    if (month == 2 && (year + 1980) % 4 == 0 && (year + 1980) % 100 != 0)
        days = 29;
    if (month == 2 && (year + 1980) % 400 == 0)
        days = 29;
    const int day = int(rng.between(1, days));
    const int hour = int(rng.below(24));
    const int minute = int(rng.below(60));
    const int halfSeconds = int(rng.below(30));
    return uint32_t(year) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 | uint32_t(hour) << 11
        | uint32_t(minute) << 5 | uint32_t(halfSeconds);
}

// Appends words separated by blanks, underscores or dashes until out holds at
// least want bytes.
void AppendWords(TGenRandom &rng, QByteArray &out, qsizetype want, bool utf8, bool blanksOnly)
{
    while (out.size() < want) {
        if (!out.isEmpty()) {
            static const char kSeparators[] = {' ', ' ', '_', '-'};
            out.append(blanksOnly ? ' ' : kSeparators[rng.below(4)]);
        }
        out.append(utf8 && rng.oneIn(4) ? Pick(rng, kUtf8Words) : Pick(rng, kAsciiWords));
    }
}

// Makes bytes exactly len long without splitting a UTF-8 character and
// without a trailing blank, CR or LF.
void FitExactly(TGenRandom &rng, QByteArray &bytes, qsizetype len)
{
    if (bytes.size() > len)
        bytes = CutAtCharBoundary(bytes, int(len)).toByteArray();
    while (bytes.size() < len)
        bytes.append(char('a' + rng.below(26)));
    for (qsizetype i = bytes.size(); i-- > 0;) {
        const char c = bytes[i];
        if (c != ' ' && c != '\r' && c != '\n')
            break;
        bytes[i] = 'x';
    }
}

// A name of at most maxLen bytes: prefix (kept whole, it makes the name
// unique where needed), words, the extension. Most names are short, some
// fill maxLen exactly.
QByteArray MakeName(TGenRandom &rng, const QByteArray &prefix, QByteArray ext, int maxLen, bool utf8)
{
    if (prefix.size() + ext.size() > maxLen)
        ext.clear();
    const qsizetype fixed = prefix.size() + ext.size();
    qsizetype target;
    if (rng.oneIn(25))
        target = maxLen;
    else if (rng.oneIn(8))
        target = rng.between(fixed, maxLen);
    else
        target = std::min<qsizetype>(maxLen, fixed + rng.between(0, 20));
    QByteArray stem = prefix;
    if (target > fixed) {
        QByteArray words;
        AppendWords(rng, words, target - fixed, utf8, false);
        stem.append(words);
        FitExactly(rng, stem, target - ext.size());
    } else {
        stem = CutAtCharBoundary(stem, int(target - ext.size())).toByteArray();
        while (stem.endsWith(' '))
            stem.chop(1);
    }
    return stem + ext;
}

// A description that the store's normalization leaves as it is: lines of
// words without leading or trailing blanks, joined by CR LF. Some run over
// several lines, some are exactly 4096 bytes long.
QByteArray MakeDescription(TGenRandom &rng, bool utf8, bool longDescs)
{
    QByteArray text;
    int lines = 1;
    bool full = false;
    if (longDescs) {
        if (rng.oneIn(20))
            full = true;
        else if (rng.oneIn(4))
            lines = int(rng.between(2, 6));
    }
    if (full) {
        while (text.size() < kMaxCountedText) {
            if (!text.isEmpty())
                text.append("\r\n");
            QByteArray line;
            AppendWords(rng, line, rng.between(10, 120), utf8, true);
            text.append(line);
        }
        FitExactly(rng, text, kMaxCountedText);
        return text;
    }
    for (int i = 0; i < lines; ++i) {
        if (i)
            text.append("\r\n");
        QByteArray line;
        AppendWords(rng, line, rng.between(3, 70), utf8, true);
        text.append(line);
    }
    return text;
}

// A category byte: sometimes one of the catalog's codes, sometimes flags.
uint8_t MakeCatFlags(TGenRandom &rng, const std::vector<uint8_t> &codes)
{
    uint8_t value = 0;
    if (!codes.empty() && rng.oneIn(5))
        value = codes[size_t(rng.below(codes.size()))];
    for (int bit = 5; bit <= 7; ++bit)
        if (rng.oneIn(12))
            value |= uint8_t(1u << bit);
    return value;
}

uint8_t MakeFileAttr(TGenRandom &rng)
{
    uint8_t attr = rng.percent(70) ? faArchive : 0;
    if (rng.oneIn(10))
        attr |= faReadOnly;
    if (rng.oneIn(20))
        attr |= faHidden;
    if (rng.oneIn(50))
        attr |= faSystem;
    return attr;
}

// A plain file's size: mostly small, now and then up to the largest 32-bit size.
int64_t MakeFileSize(TGenRandom &rng)
{
    const uint64_t r = rng.below(10000);
    if (r < 300)
        return 0;
    if (r < 9970) {
        const int bits = int(rng.between(1, 24));
        return (int64_t(1) << (bits - 1)) + int64_t(rng.below(uint64_t(1) << (bits - 1)));
    }
    if (r < 9999)
        return rng.between(int64_t(1) << 24, std::numeric_limits<int32_t>::max() - 1);
    return std::numeric_limits<int32_t>::max();
}

struct TDiskShape {
    uint8_t mediaType;
    const char *fileSystem;
    int32_t bytesPerSector;
    int32_t sectorsPerCluster;
};

TDiskShape MakeDiskShape(TGenRandom &rng)
{
    static const uint8_t kWeighted[] = {5, 5, 5, 10, 10, 10, 7, 13, 11, 14, 15, 12};
    const uint8_t media = rng.oneIn(6) ? uint8_t(rng.below(16)) : kWeighted[rng.below(sizeof kWeighted)];
    static const std::array<const char *, 5> kHard = {"NTFS", "FAT32", "EXT4", "BTRFS", "FAT"};
    static const std::array<const char *, 3> kRemovable = {"FAT", "FAT32", "EXFAT"};
    static const std::array<const char *, 2> kNetwork = {"NFS", "CIFS"};
    switch (media) {
    case 0: case 1: case 2: case 3: case 4: case 7: case 9:
        return {media, "FAT", 512, int32_t(rng.between(1, 2))};
    case 10:
        return {media, rng.oneIn(5) ? "UDF" : "CDFS", 2048, 1};
    case 6: case 8:
        return {media, "UDF", 2048, 1};
    case 11:
        return {media, Pick(rng, kNetwork), 512, 8};
    case 12:
        return {media, "TMPFS", 4096, 1};
    case 13: case 14: case 15:
        return {media, Pick(rng, kRemovable), 512, int32_t(1) << rng.between(0, 6)};
    default:
        return {media, Pick(rng, kHard), rng.oneIn(4) ? 4096 : 512, int32_t(1) << rng.between(0, 6)};
    }
}

// A volume label of at most 33 bytes: mostly short upper-case names, some
// empty, some long with UTF-8 characters, some exactly 33 bytes.
QByteArray MakeLabel(TGenRandom &rng, bool utf8)
{
    const uint64_t r = rng.below(10);
    if (r == 0)
        return {};
    QByteArray label;
    if (r <= 6) {
        AppendWords(rng, label, rng.between(3, 11), false, false);
        label = label.left(11).toUpper().replace(' ', '_');
        return label;
    }
    AppendWords(rng, label, kMaxVolumeLabel, utf8, true);
    if (r == 9)
        FitExactly(rng, label, kMaxVolumeLabel);
    else
        label = CutAtCharBoundary(label, int(rng.between(12, kMaxVolumeLabel))).toByteArray().trimmed();
    return label;
}

class TGenerator
{
public:
    TGenerator(const GenOptions &options, const std::vector<uint8_t> &codes, uint64_t diskSeed)
        : m_o(options), m_codes(codes), m_rng(diskSeed) {}

    void generateDisk(TTreeNode *catalogNode, int diskIndex);

private:
    int64_t fillFolder(TTreeNode *node, int level);
    int64_t addArchive(TTreeNode *parent, int64_t archiveIndex);
    void addFiles(TTreeNode *node, int64_t &total);
    void describe(TText &field);
    int64_t clustersOf(int64_t bytes) const;

    const GenOptions &m_o;
    const std::vector<uint8_t> &m_codes;
    TGenRandom m_rng;
    TTreeNode *m_diskNode = nullptr;
    int64_t m_clusterBytes = 512;
    int64_t m_usedClusters = 0;
    int64_t m_files = 0;           // plain files and compressed files of the disk
    int64_t m_members = 0;
    int64_t m_folders = 0;
    int64_t m_nextPreorder = 0;    // the root is 0, then every folder in pre-order
    int64_t m_archivesMade = 0;
    std::vector<int64_t> m_archiveSpots;   // pre-order numbers of the folders holding archives, sorted
    size_t m_nextSpot = 0;
    int64_t m_hugeCounter = 0;
};

void TGenerator::describe(TText &field)
{
    if (m_o.descPercent > 0 && m_rng.percent(m_o.descPercent))
        StoreDescription(field, MakeDescription(m_rng, m_o.utf8Names, m_o.longDescs));
}

int64_t TGenerator::clustersOf(int64_t bytes) const
{
    return (bytes + m_clusterBytes - 1) / m_clusterBytes;
}

void TGenerator::addFiles(TTreeNode *node, int64_t &total)
{
    TItemRec *owner = NodeRec(node);
    bool anyDesc = false;
    TFileRec *last = nullptr;   // appending after it keeps long chains linear to build
    for (int i = 0; i < m_o.filesPerFolder; ++i) {
        QByteArray ext = Pick(m_rng, kExtensions);
        const QByteArray name = MakeName(m_rng, QByteArray::number(i) + '_', ext, m_o.maxNameLen, m_o.utf8Names);
        TFileRec *file = AppendFile(node, name, last);
        last = file;
        file->Attr = MakeFileAttr(m_rng);
        file->Modified = RandomDosTime(m_rng);
        file->Created = m_rng.oneIn(30) ? 0 : RandomDosTime(m_rng);
        file->Accessed = m_rng.oneIn(50) ? 0 : RandomDosTime(m_rng);
        ++m_hugeCounter;
        if (m_o.hugeFileEvery > 0 && m_hugeCounter % m_o.hugeFileEvery == 0)
            file->Size = (int64_t(4) << 30) + m_rng.between(0, int64_t(1) << 30);
        else
            file->Size = MakeFileSize(m_rng);
        file->CatFlags = MakeCatFlags(m_rng, m_codes);
        describe(file->Desc);
        anyDesc = anyDesc || file->Desc;
        total = SaturatingAdd(total, SaturatingMul(file->Size, 10000));
        m_usedClusters += clustersOf(file->Size);
        ++m_files;
    }
    if (anyDesc)
        owner->KindFlags |= rfHasDesc;
}

// A compressed file shown as a folder; returns its TotalSize, the archive's
// own size x 10000.
int64_t TGenerator::addArchive(TTreeNode *parent, int64_t archiveIndex)
{
    QByteArray name = "pack" + QByteArray::number(archiveIndex) + Pick(m_rng, kArchiveExtensions);
    if (name.size() > m_o.maxNameLen)
        name = name.mid(4);   // still unique: other folder names never start with a digit and a dot
    TTreeNode *node = AddFolderNode(parent, name);
    auto *folder = AsFolder(NodeRec(node));
    folder->KindFlags |= rfCompressed;
    if (!folder->DiskNode)
        folder->DiskNode = m_diskNode;
    folder->Attr = faArchive;
    folder->Modified = RandomDosTime(m_rng);
    folder->Created = folder->Modified;
    folder->Accessed = RandomDosTime(m_rng);
    folder->CatFlags = MakeCatFlags(m_rng, m_codes);
    describe(folder->Desc);   // the archive's comment

    // Sizes as a ZIP directory would give them: local headers, data and the
    // central directory (30 + 46 bytes and the name twice per member) and the
    // 22-byte end record.
    int64_t archiveBytes = 22;
    bool anyDesc = false;
    TFileRec *last = nullptr;
    for (int i = 0; i < m_o.membersPerArchive; ++i) {
        QByteArray prefix;
        if (!m_rng.oneIn(3))
            prefix = QByteArray(PickFolder(m_rng, kMemberFolders, m_o.utf8Names)) + '\\';
        prefix += QByteArray::number(i) + '_';
        const QByteArray memberName =
            MakeName(m_rng, prefix, Pick(m_rng, kExtensions), m_o.maxNameLen, m_o.utf8Names);
        TFileRec *member = AppendFile(node, memberName, last);
        last = member;
        member->KindFlags |= rfCompressed;
        member->Attr = m_rng.percent(80) ? faArchive : 0;
        member->Size = std::min<int64_t>(MakeFileSize(m_rng), int64_t(1) << 26);
        const int64_t packed = member->Size * m_rng.between(15, 100) / 100;
        member->Created = member->Size ? uint32_t(m_rng.next()) : 0;   // the CRC of nothing is 0
        member->Modified = RandomDosTime(m_rng);
        member->Accessed = uint32_t(packed);
        member->CatFlags = MakeCatFlags(m_rng, m_codes);
        describe(member->Desc);
        anyDesc = anyDesc || member->Desc;
        archiveBytes += 30 + 46 + 2 * int64_t(member->NameLen) + packed;
        ++m_members;
    }
    if (anyDesc)
        folder->KindFlags |= rfHasDesc;
    folder->TotalSize = archiveBytes * 10000;
    m_usedClusters += clustersOf(archiveBytes);
    ++m_files;   // the compressed file itself is a file of the disk
    return folder->TotalSize;
}

// Fills a disk root (level 0) or folder: files, child folders, archives.
// Returns the bytes x 10000 of everything below it.
int64_t TGenerator::fillFolder(TTreeNode *node, int level)
{
    // This folder's archives are counted now, before its subfolders take
    // their own (larger) pre-order numbers, and added after them.
    const int64_t preorder = m_nextPreorder++;
    int archivesHere = 0;
    while (m_nextSpot < m_archiveSpots.size() && m_archiveSpots[m_nextSpot] == preorder) {
        ++m_nextSpot;
        ++archivesHere;
    }
    int64_t total = 0;
    addFiles(node, total);
    if (level < m_o.depth) {
        for (int i = 0; i < m_o.fanOut; ++i) {
            QByteArray prefix = QByteArray::number(i);
            prefix += ' ';
            const QByteArray name = MakeName(m_rng, prefix, {}, m_o.maxNameLen, m_o.utf8Names);
            TTreeNode *child = AddFolderNode(node, name);
            auto *folder = AsFolder(NodeRec(child));
            if (!folder->DiskNode)
                folder->DiskNode = m_diskNode;
            folder->Attr = faDirectory | (m_rng.oneIn(30) ? faHidden : 0) | (m_rng.oneIn(30) ? faReadOnly : 0);
            folder->Created = m_rng.oneIn(30) ? 0 : RandomDosTime(m_rng);
            folder->Modified = RandomDosTime(m_rng);
            folder->Accessed = m_rng.oneIn(50) ? 0 : RandomDosTime(m_rng);
            folder->CatFlags = MakeCatFlags(m_rng, m_codes);
            describe(folder->Desc);
            ++m_folders;
            folder->TotalSize = fillFolder(child, level + 1);
            total = SaturatingAdd(total, folder->TotalSize);
        }
    }
    for (int i = 0; i < archivesHere; ++i)
        total = SaturatingAdd(total, addArchive(node, m_archivesMade++));
    return total;
}

void TGenerator::generateDisk(TTreeNode *catalogNode, int diskIndex)
{
    // Where the archives go is drawn first, so that it does not depend on
    // how many files the folders get.
    const int64_t folderCount = FoldersPerDisk(m_o);
    for (int i = 0; i < m_o.archivesPerDisk; ++i)
        m_archiveSpots.push_back(int64_t(m_rng.below(uint64_t(folderCount) + 1)));
    std::sort(m_archiveSpots.begin(), m_archiveSpots.end());

    QByteArray name = "Disk " + QByteArray::number(diskIndex + 1).rightJustified(3, '0');
    if (!m_rng.oneIn(4)) {
        AppendWords(m_rng, name, name.size() + m_rng.between(3, 30), m_o.utf8Names, true);
        name = CutAtCharBoundary(name, 64).toByteArray().trimmed();
    }
    m_diskNode = AddDiskNode(catalogNode, name);
    TDiskRec *disk = AsDisk(NodeRec(m_diskNode));

    const TDiskShape shape = MakeDiskShape(m_rng);
    disk->MediaType = shape.mediaType;
    disk->FileSystem = shape.fileSystem;
    disk->BytesPerSector = shape.bytesPerSector;
    disk->SectorsPerCluster = shape.sectorsPerCluster;
    disk->MaxNameLen = 255;
    disk->VolumeLabel = MakeLabel(m_rng, m_o.utf8Names);
    disk->Serial = uint32_t(m_rng.next());
    disk->ScanFlags = m_rng.oneIn(10) ? 1 : 0;
    // 1990-01-01 (day 32874) to about 2024, at a whole second.
    disk->Updated = double(32874 + int64_t(m_rng.below(12784))) + double(m_rng.below(86400)) / 86400.0;
    m_clusterBytes = int64_t(disk->BytesPerSector) * disk->SectorsPerCluster;
    const bool virtualRoot = m_o.virtualRoots && diskIndex % 3 == 2;
    const bool compressedVolume = m_o.compressedVolumes && !virtualRoot && diskIndex % 7 == 6;
    describe(disk->Desc);

    fillFolder(m_diskNode, 0);

    disk->TotalFiles = int32_t(std::min<int64_t>(m_files, std::numeric_limits<int32_t>::max()));
    disk->ArchiveFiles = int32_t(std::min<int64_t>(m_members, std::numeric_limits<int32_t>::max()));
    disk->TotalFolders = int32_t(std::min<int64_t>(m_folders, std::numeric_limits<int32_t>::max()));

    // Every folder takes a cluster of its own, the root's directory too.
    int64_t used = m_usedClusters + m_folders + 1;
    int64_t outside = 0;
    if (virtualRoot)
        outside = int64_t(m_rng.below(uint64_t(used) * 2 + 100));
    int64_t free = compressedVolume ? 0 : int64_t(m_rng.below(uint64_t(used) + 1000));
    // Cluster counts are 32-bit: larger clusters until they fit, as a
    // file system of that size would have them.
    while (used + outside + free > std::numeric_limits<int32_t>::max() && disk->SectorsPerCluster < (1 << 20)) {
        disk->SectorsPerCluster *= 2;
        used = (used + 1) / 2;
        outside = (outside + 1) / 2;
        free = (free + 1) / 2;
    }
    disk->TotalClusters = int32_t(std::min<int64_t>(used + outside + free, std::numeric_limits<int32_t>::max()));
    disk->FreeClusters = int32_t(std::min<int64_t>(free, disk->TotalClusters));
    if (virtualRoot) {
        disk->KindFlags |= rfVirtualRoot;
        disk->RootPath = NewText(PickFolder(m_rng, kRootPaths, m_o.utf8Names));
        disk->OutsideClusters = int32_t(std::min<int64_t>(outside, disk->TotalClusters - disk->FreeClusters));
    } else {
        disk->OutsideClusters = 0;
    }
    if (compressedVolume)
        disk->KindFlags |= rfCompressed;
    disk->Dirty = 1;
    SetDiskImages(m_diskNode);
}

} // namespace

TTreeNode *GenerateCatalog(TForest &forest, const QByteArray &name, const GenOptions &options)
{
    const GenOptions o = Clamped(options);
    TGenRandom rng(StreamSeed(o.seed, 0));
    TTreeNode *catalogNode = NewCatalogNode(forest, name);
    TCatalogRec *catalog = AsCatalog(NodeRec(catalogNode));

    if (o.descPercent > 0)
        StoreDescription(catalog->Desc, MakeDescription(rng, o.utf8Names, o.longDescs));

    // Categories take distinct codes from 1-31 in a shuffled order, so that
    // code and list position differ.
    std::array<uint8_t, 31> codePool;
    for (int i = 0; i < 31; ++i)
        codePool[size_t(i)] = uint8_t(i + 1);
    for (int i = 30; i > 0; --i)
        std::swap(codePool[size_t(i)], codePool[size_t(rng.below(uint64_t(i) + 1))]);
    std::vector<uint8_t> codes;
    for (int i = 0; i < o.categories; ++i) {
        TCategory category;
        category.Name = kCategoryNames[size_t(i)];
        if (!o.utf8Names)
            category.Name = QByteArray(category.Name).replace("í", "i");
        category.Code = codePool[size_t(i)];
        catalog->Categories.push_back(category);
        codes.push_back(category.Code);
    }
    for (int i = 0; i < o.flagNames; ++i)
        catalog->FlagNames[i] = NewText(kFlagNames[size_t(i)]);

    for (int d = 0; d < o.disks; ++d) {
        TGenerator generator(o, codes, StreamSeed(o.seed, uint64_t(d) + 1));
        generator.generateDisk(catalogNode, d);
    }
    catalog->Dirty = 1;
    return catalogNode;
}

int64_t GeneratedFileCount(const GenOptions &options)
{
    const GenOptions o = Clamped(options);
    const int64_t lists = SaturatingAdd(FoldersPerDisk(o), 1);
    const int64_t perDisk = SaturatingAdd(SaturatingMul(lists, o.filesPerFolder),
                                          SaturatingMul(o.archivesPerDisk, o.membersPerArchive));
    return SaturatingMul(perDisk, o.disks);
}
