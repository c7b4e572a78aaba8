// Tests of the disk scan: folder trees built in a temporary folder that a
// fake mount table presents as drive D: (with the space figures the test
// chooses), scanned into a catalog forest. They cover the skip rules,
// attributes and times, symbolic links, archives (the ZIP corpus, ZIPs, a
// TAR and a GZip made here, damaged ones), description files, virtual roots,
// updates that carry descriptions and categories over, quick scan, cancel
// and errors in the middle of a scan, the cluster arithmetic, unique disk
// names and a save and reopen round trip; and the name case rule, the
// extension table, the time conversion and the carry-over index on their own.
#include "scan/DiskScan.h"

#include "Corpus.h"
#include "GenTree.h"
#include "ScopedTimeZone.h"
#include "TestCatalogs.h"
#include "archive/ArcTypes.h"
#include "archive/decoders/Crc32.h"
#include "catalog/CatalogOps.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "catalog/LoadSave.h"
#include "platform/Drives.h"
#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testcat;

namespace {

// 2001-02-03 04:05:06 UTC and a second time a year later.
constexpr int64_t kTime1 = 981173106;
constexpr int64_t kTime2 = kTime1 + 365 * 86400;

QByteArray DescOf(const char *text)
{
    return TextView(text).toByteArray();
}

uint32_t Dos(int64_t unixSeconds)
{
    return DateTimeToDos(QDateTime::fromSecsSinceEpoch(unixSeconds));
}

QString ZipCorpus()
{
    return testcorpus::ArchiveDir("zip") + QLatin1Char('/');
}

TTreeNode *Child(TTreeNode *node, const QByteArray &name)
{
    if (!node)
        return nullptr;
    for (TTreeNode *child : node->children())
        if (child->text() == name)
            return child;
    return nullptr;
}

TFileRec *FileOf(TTreeNode *node, const QByteArray &name)
{
    if (!node)
        return nullptr;
    for (TFileRec *f : Chain(node))
        if (f->name() == name)
            return f;
    return nullptr;
}

std::set<QByteArray> ChildNames(TTreeNode *node)
{
    std::set<QByteArray> names;
    for (TTreeNode *child : node->children())
        names.insert(child->text());
    return names;
}

std::set<QByteArray> FileNames(TTreeNode *node)
{
    std::set<QByteArray> names;
    for (TFileRec *f : Chain(node))
        names.insert(f->name().toByteArray());
    return names;
}

// A progress window that records what it is shown and can cancel or fail
// once it has seen a number of different folders.
class RecordingProgress : public ScanProgress
{
public:
    void setTopLabel(const QString &text) override { top.push_back(text); }
    void setBottomLabel(const QString &text) override { bottom.push_back(text); }
    void setDescFoundLabel(const QString &text) override { found.push_back(text); }
    void showProgressBar(bool visible) override { barShown = barShown || visible; }
    void setPosition(int percent) override { positions.push_back(percent); }
    void setDirLabel(const QString &text) override
    {
        dirs.push_back(text);
        if (!text.endsWith(QLatin1Char('/')) || !folders.insert(text).second)
            return;
        if (int(folders.size()) == cancelAfter)
            requestCancel();
        if (int(folders.size()) == failAfter)
            throw std::runtime_error("the medium went away");
    }

    int cancelAfter = -1;
    int failAfter = -1;
    std::set<QString> folders;
    std::vector<QString> top, bottom, dirs, found;
    std::vector<int> positions;
    bool barShown = false;
};

// A ZIP member list of plain texts.
std::vector<GenZipMember> Members(const std::vector<std::pair<QByteArray, QByteArray>> &nameAndData)
{
    std::vector<GenZipMember> members;
    for (const auto &[name, data] : nameAndData) {
        GenZipMember m;
        m.name = name;
        m.data = data;
        members.push_back(m);
    }
    return members;
}

// A one-member TAR archive (ustar header, data, two end blocks).
QByteArray MakeTar(const QByteArray &name, const QByteArray &data)
{
    QByteArray header(512, '\0');
    auto put = [&header](int at, const QByteArray &field) { header.replace(at, field.size(), field); };
    put(0, name);
    put(100, "0000644");
    put(108, "0000000");
    put(116, "0000000");
    put(124, QByteArray::number(data.size(), 8).rightJustified(11, '0'));
    put(136, QByteArray::number(kTime1, 8).rightJustified(11, '0'));
    put(148, "        ");
    header[156] = '0';
    put(257, QByteArray("ustar\0" "00", 8));
    unsigned sum = 0;
    for (const char c : header)
        sum += uchar(c);
    put(148, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
    QByteArray out = header + data;
    out.append(QByteArray((512 - data.size() % 512) % 512, '\0'));
    out.append(QByteArray(1024, '\0'));
    return out;
}

// A GZip file with the original name in its header and one stored deflate block.
QByteArray MakeGzip(const QByteArray &originalName, const QByteArray &data)
{
    QByteArray out("\x1F\x8B\x08\x08", 4);
    for (int i = 0; i < 4; ++i)
        out.append(char((kTime1 >> (8 * i)) & 0xFF));
    out.append("\x00\x03", 2);
    out.append(originalName);
    out.append('\0');
    const uint16_t len = uint16_t(data.size());
    out.append('\x01');   // final block, stored
    out.append(char(len & 0xFF));
    out.append(char(len >> 8));
    out.append(char(~len & 0xFF));
    out.append(char((~len >> 8) & 0xFF));
    out.append(data);
    const uint32_t crc = Crc32Update(0, data.constData(), size_t(data.size()));
    for (int i = 0; i < 4; ++i)
        out.append(char((crc >> (8 * i)) & 0xFF));
    for (int i = 0; i < 4; ++i)
        out.append(char((uint32_t(data.size()) >> (8 * i)) & 0xFF));
    return out;
}

// The medium (a folder that the fake mount table presents as a drive), a
// work folder, a forest with one catalog, and a scripted prompter.
class DiskScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_media.isValid());
        ASSERT_TRUE(m_work.isValid());
        QDir().mkpath(work(QStringLiteral("sys")));
        QDir().mkpath(work(QStringLiteral("extract")));
        m_drives = std::make_unique<TDrives>(sources());
        const auto letter = m_drives->driveOfPath(m_media.path());
        ASSERT_TRUE(letter.has_value());
        m_letter = *letter;
        ASSERT_EQ(m_drives->rootPath(m_letter), QDir(m_media.path()).absolutePath());
        m_catalog = NewCatalogNode(m_forest, "Scans");
    }
    void TearDown() override
    {
        while (!m_forest.roots().empty())
            DeleteCatalog(m_forest, m_forest.roots().front());
    }

    TDriveSources sources()
    {
        TDriveSources s;
        const QString mountPoint = QDir(m_media.path()).absolutePath();
        s.mounts = [mountPoint] { return QList<TMountEntry>{{QStringLiteral("/dev/fake0"), mountPoint,
                                                              QStringLiteral("ext4"), QStringLiteral("rw")}}; };
        s.sysfsRoot = work(QStringLiteral("sys"));
        s.devDiskRoot = QString();
        s.readDevices = false;
        s.mayRun = [](const QString &) { return false; };
        s.now = [] { return QDateTime::fromSecsSinceEpoch(kTime2); };
        s.space = [this](const QString &) -> std::optional<TFsSpace> {
            if (!m_ready)
                return std::nullopt;
            return m_space;
        };
        return s;
    }

    QString media(const QString &rel = {}) const
    {
        return rel.isEmpty() ? m_media.path() : m_media.filePath(rel);
    }
    QString work(const QString &rel) const { return m_work.filePath(rel); }

    void file(const QString &rel, const QByteArray &content, int64_t mtime = kTime1)
    {
        QDir().mkpath(QFileInfo(media(rel)).absolutePath());
        ASSERT_TRUE(WriteFileBytes(media(rel), content)) << rel.toStdString();
        setTime(rel, mtime);
    }
    // A sparse file of the given size.
    void sized(const QString &rel, int64_t size, int64_t mtime = kTime1)
    {
        QDir().mkpath(QFileInfo(media(rel)).absolutePath());
        QFile f(media(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
        f.close();
        setTime(rel, mtime);
    }
    void folder(const QString &rel) { ASSERT_TRUE(QDir().mkpath(media(rel))); }
    void setTime(const QString &rel, int64_t mtime)
    {
        const struct timespec times[2] = {{time_t(mtime + 7200), 0}, {time_t(mtime), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(media(rel)).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    }

    TScanOptions options() const
    {
        TScanOptions o;
        o.DatabaseList = m_catalog;
        o.ExtractDir = work(QStringLiteral("extract")) + QLatin1Char('/');
        return o;
    }

    TScanOutcome scan(const TScanOptions &o, const QByteArray &rootPath = {}, ScanProgress *progress = nullptr,
                      std::function<void(const QString &)> status = {})
    {
        TScanHooks hooks;
        hooks.progress = progress;
        hooks.prompter = &m_prompter;
        hooks.status = std::move(status);
        return ScanDisk(*m_drives, m_letter, rootPath, o, hooks);
    }

    // Scans with the given options and expects success; the new disk node.
    TTreeNode *scanOk(const TScanOptions &o, const QByteArray &rootPath = {})
    {
        const TScanOutcome outcome = scan(o, rootPath);
        EXPECT_TRUE(outcome.Success) << outcome.Detail.toStdString();
        EXPECT_FALSE(outcome.Cancelled);
        return outcome.DiskNode;
    }

    static TDiskRec *Disk(TTreeNode *node) { return AsDisk(NodeRec(node)); }
    static TFolderRec *Folder(TTreeNode *node) { return node ? AsFolder(NodeRec(node)) : nullptr; }
    int64_t clusterSize(TTreeNode *diskNode) const
    {
        const TDiskRec *d = Disk(diskNode);
        return int64_t(d->BytesPerSector) * d->SectorsPerCluster;
    }

    QTemporaryDir m_media;
    QTemporaryDir m_work;
    TForest m_forest;
    ScriptedPrompter m_prompter;
    ScopedDefaultPrompter m_prompterScope{&m_prompter};
    TFsSpace m_space{4096, 100000, 40000, 0x1234, 255};
    bool m_ready = true;
    std::unique_ptr<TDrives> m_drives;
    QChar m_letter;
    TTreeNode *m_catalog = nullptr;
};

// ---------------------------------------------------------------------------
// Names, extensions, times and the carry-over index on their own

TEST(NameCase, CapitalNamesAreLoweredAfterTheFirstCharacterAndAfterBackslashes)
{
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"README.TXT", "Readme.txt"},
        {"DOCS\\INDEX.HTM", "Docs\\Index.htm"},
        {"ARCHIVE.ZIP", "Archive.zip"},
        {"A\\B\\CD", "A\\B\\Cd"},
        {"readme.TXT", "readme.TXT"},            // any lower-case letter keeps the name
        {"Readme.txt", "Readme.txt"},
        {"X", "X"},                              // one character
        {"123_456", "123_456"},                  // no letters at all
        {"\xC3\x89" "COLE.TXT", "\xC3\x89" "cole.txt"},            // ÉCOLE.TXT -> École.txt
        {"\xC3\x84\xC3\x96", "\xC3\x84\xC3\xB6"},                  // ÄÖ -> Äö (two characters, four bytes)
        {"CAF\xC3\xA9.TXT", "CAF\xC3\xA9.TXT"},                    // é is lower case: kept
        {"\xC9" "COLE.TXT", "\xC9" "cole.txt"},                    // not UTF-8: the ASCII letters follow the rule
        {"\xCE\xA9MEGA", "\xCE\xA9mega"},                          // ΩMEGA -> Ωmega
        {"\xCE\xA9\xCE\xA3", "\xCE\xA9\xCF\x83"},                  // ΩΣ -> Ωσ
    };
    for (const auto &[in, want] : cases) {
        EXPECT_EQ(NormalizeNameCase(in), want) << Printable(in).toStdString();
        QByteArray storage;
        const QByteArrayView view = NormalizeNameCase(in, storage);
        EXPECT_EQ(view, QByteArrayView(want)) << Printable(in).toStdString();
        if (in == want) {
            EXPECT_EQ(view.data(), in.constData()) << "an unchanged name is not copied";
        }
    }
}

TEST(NameCase, ArchiveIndexAgreesWithTheExtensionTable)
{
    const std::vector<QByteArray> names = {
        "a.zip", "A.ZIP", "x.Zip", "x.a01", "x.A99", "x.r00", "x.R42", "x.z01", "x.tar.gz", "x.gz", "x.Z", "x.z",
        "x.exe", "x.EXE", "x.arc", "x.arj", "x.cab", "x.ha", "x.lha", "x.lzh", "x.pak", "x.rar", "x.zoo", "x.tar",
        "noext", ".zip", "x.", "dir\\x.zip", "x.zipx", "x.7z", "x.b01", "x.a0", "x.a001", "x.zi", "x.z\xC4\xB1p",
        "x.\xC3\xA9", "x.t\xC3\xA1r", "x.zip\\", "..", "x.r0a", "x.1", "x..zip",
    };
    for (const QByteArray &name : names)
        EXPECT_EQ(ArchiveIndexOfName(name), ArchiveExtensionIndex(QString::fromUtf8(name)))
            << Printable(name).toStdString();
}

TEST(NameCase, RecycleBinNames)
{
    for (const char *yes : {"Recycled", "RECYCLED", "recycled", "$RECYCLE.BIN", "$Recycle.Bin", ".Trash", ".Trash-1000",
                            ".Trash-0"})
        EXPECT_TRUE(IsRecycleBinName(QByteArray(yes))) << yes;
    for (const char *no : {"Recycle", "Recycled2", ".trash", ".Trash-", ".Trash-abc", "Trash", "$RECYCLE", ""})
        EXPECT_FALSE(IsRecycleBinName(QByteArray(no))) << no;
}

// The reference: localtime_r for every second, packed by hand.
uint32_t ReferenceDos(int64_t t)
{
    const time_t tt = time_t(t);
    struct tm parts;
    if (!localtime_r(&tt, &parts))
        return 0;
    const int year = parts.tm_year + 1900;
    if (year < 1980 || year > 2099)
        return 0;
    return (uint32_t(year - 1980) << 25) | (uint32_t(parts.tm_mon + 1) << 21) | (uint32_t(parts.tm_mday) << 16) |
           (uint32_t(parts.tm_hour) << 11) | (uint32_t(parts.tm_min) << 5) | uint32_t(parts.tm_sec / 2);
}

TEST(DosTimes, AgreeWithTheCLibraryAcrossTheRangeAndAcrossOffsetChanges)
{
    for (const char *zone : {"UTC", "Europe/Berlin", "America/St_Johns", "Australia/Lord_Howe"}) {
        SCOPED_TRACE(zone);
        ScopedTimeZone tz(zone);
        TDosTimeConverter converter;
        // Around both ends of the range.
        for (int64_t t : {int64_t(315532800) - 50000, int64_t(315532800) - 1, int64_t(315532800),
                          int64_t(4102444800) - 50000, int64_t(4102444800) + 50000, int64_t(-1), int64_t(0),
                          int64_t(1) << 40, -(int64_t(1) << 40)})
            for (int64_t d = -3; d <= 3; ++d)
                EXPECT_EQ(converter.convert(t + d * 7919), ReferenceDos(t + d * 7919)) << t + d * 7919;
        // Every 37 minutes over 2019 and 2020 crosses each change of offset.
        for (int64_t t = 1546300800; t < 1609459200; t += 37 * 60 + 11)
            ASSERT_EQ(converter.convert(t), ReferenceDos(t)) << t;
        // Second by second around the European changes of 2021.
        for (int64_t base : {int64_t(1616893200), int64_t(1635642000)})
            for (int64_t t = base - 4000; t < base + 4000; t += 7)
                ASSERT_EQ(converter.convert(t), ReferenceDos(t)) << t;
    }
    // And with the catalog's own conversion in the machine's zone.
    TDosTimeConverter converter;
    for (int64_t t = 300000000; t < 4200000000; t += 86400 * 37 + 3671)
        ASSERT_EQ(converter.convert(t), Dos(t)) << t;
}

// A file record allocated on its own for index tests.
struct OwnedFile {
    explicit OwnedFile(const QByteArray &name, int64_t size = 10, uint32_t modified = 100)
        : rec(NewFileRec(name))
    {
        rec->Size = size;
        rec->Modified = modified;
    }
    ~OwnedFile() { FreeFileRec(rec); }
    TFileRec *rec;
};

TEST(OldDescIndex, FindsTheExactNameWithinItsLetterAndQualifiesBySizeAndTime)
{
    TOldDescIndex index;
    std::vector<std::unique_ptr<OwnedFile>> olds;
    auto old = [&](const QByteArray &name, int64_t size, uint32_t modified, const char *desc, uint8_t cat) {
        olds.push_back(std::make_unique<OwnedFile>(name, size, modified));
        StoreDescription(olds.back()->rec->Desc, QByteArray(desc));
        olds.back()->rec->CatFlags = cat;
        index.addFile(olds.back()->rec);
    };
    old("readme.txt", 10, 100, "lower", 0);
    old("README.TXT", 10, 100, "upper", 3);
    old("Readme.txt", 11, 100, "other size", 0);
    old("Readme.txt", 10, 100, "mixed", 0x21);
    old("_under", 1, 1, "before a", 0);
    old("9lives", 1, 1, "digit", 0);
    old("zebra", 1, 1, "zed", 0);
    old("~tilde", 1, 1, "after z", 0);
    old("\xC3\x89t\xC3\xA9", 1, 1, "accented", 0);   // Été
    old("nothing", 1, 1, "", 0);                    // nothing to carry: not taken
    TFolderRec folder;
    folder.Modified = 500;
    folder.Reserved = 7;
    folder.CatFlags = 2;
    StoreDescription(folder.Desc, QByteArray("folder text"));
    index.addFolder("Docs", &folder);
    index.build();
    EXPECT_EQ(index.count(), 10);

    auto carried = [&](const QByteArray &name, int64_t size, uint32_t modified) -> QByteArray {
        OwnedFile f(name, size, modified);
        if (!index.apply(f.rec))
            return "-";
        return DescOf(f.rec->Desc) + "/" + QByteArray::number(f.rec->CatFlags);
    };
    EXPECT_EQ(carried("readme.txt", 10, 100), "lower/0");
    EXPECT_EQ(carried("README.TXT", 10, 100), "upper/3");
    EXPECT_EQ(carried("Readme.txt", 10, 100), "mixed/33");     // the same-named one of another size is passed over
    EXPECT_EQ(carried("Readme.txt", 11, 100), "other size/0");
    EXPECT_EQ(carried("Readme.txt", 10, 101), "-");             // other time
    EXPECT_EQ(carried("ReadMe.txt", 10, 100), "-");             // case must match exactly
    EXPECT_EQ(carried("_under", 1, 1), "before a/0");
    EXPECT_EQ(carried("9lives", 1, 1), "digit/0");
    EXPECT_EQ(carried("zebra", 1, 1), "zed/0");
    EXPECT_EQ(carried("~tilde", 1, 1), "after z/0");
    EXPECT_EQ(carried("\xC3\x89t\xC3\xA9", 1, 1), "accented/0");
    EXPECT_EQ(carried("nothing", 1, 1), "-");
    // A file of a folder's name takes the folder's text and flags without a test.
    EXPECT_EQ(carried("Docs", 999, 999), "folder text/2");

    // A new folder: an old folder must have the same time; an old file qualifies as it is.
    TFolderRec fresh;
    fresh.Modified = 500;
    ASSERT_TRUE(index.apply("Docs", &fresh));
    EXPECT_EQ(DescOf(fresh.Desc), "folder text");
    EXPECT_EQ(fresh.Reserved, 7);
    EXPECT_EQ(fresh.CatFlags, 2);
    TFolderRec later;
    later.Modified = 501;
    EXPECT_FALSE(index.apply("Docs", &later));
    TFolderRec named;
    named.Reserved = 9;
    ASSERT_TRUE(index.apply("README.TXT", &named));
    EXPECT_EQ(DescOf(named.Desc), "upper");
    EXPECT_EQ(named.Reserved, 0);
    EXPECT_EQ(named.CatFlags, 3);
    // A record with a description of its own keeps it.
    OwnedFile own("readme.txt", 10, 100);
    StoreDescription(own.rec->Desc, QByteArray("mine"));
    EXPECT_FALSE(index.apply(own.rec));
    EXPECT_EQ(DescOf(own.rec->Desc), "mine");
    for (TFolderRec *f : {&folder, &fresh, &later, &named})
        FreeText(f->Desc);
}

TEST(OldDescIndex, AnEmptyIndexFindsNothing)
{
    TOldDescIndex index;
    index.build();
    OwnedFile f("a");
    EXPECT_TRUE(index.empty());
    EXPECT_FALSE(index.apply(f.rec));
}

// ---------------------------------------------------------------------------
// The walk

TEST_F(DiskScanTest, CataloguesFoldersFilesAttributesTimesAndTotals)
{
    file(QStringLiteral("root.txt"), "hello", kTime1);
    sized(QStringLiteral("Docs/big.bin"), 100000, kTime2);
    file(QStringLiteral("Docs/Sub/deep.txt"), QByteArray(5000, 'x'), kTime1);
    sized(QStringLiteral("Docs/empty.dat"), 0);
    file(QStringLiteral("READONLY.TXT"), "r");
    ASSERT_EQ(::chmod(QFile::encodeName(media(QStringLiteral("READONLY.TXT"))).constData(), 0444), 0);
    folder(QStringLiteral("Empty"));
    setTime(QStringLiteral("Docs/Sub"), kTime2);
    setTime(QStringLiteral("Docs"), kTime1);

    RecordingProgress progress;
    std::vector<QString> statusTexts;
    TScanOptions o = options();
    o.DiskName = "First";
    const TScanOutcome outcome = scan(o, {}, &progress, [&](const QString &t) { statusTexts.push_back(t); });
    ASSERT_TRUE(outcome.Success) << outcome.Detail.toStdString();
    TTreeNode *diskNode = outcome.DiskNode;
    ASSERT_EQ(diskNode->parent(), m_catalog);
    EXPECT_EQ(diskNode->text(), QByteArray("First"));
    const TDiskRec *disk = Disk(diskNode);
    EXPECT_EQ(disk->TotalFiles, 5);
    EXPECT_EQ(disk->TotalFolders, 3);
    EXPECT_EQ(disk->ArchiveFiles, 0);
    EXPECT_EQ(disk->ScanFlags, 0);
    EXPECT_TRUE(disk->Dirty);
    EXPECT_TRUE(AsCatalog(NodeRec(m_catalog))->Dirty);
    EXPECT_FALSE(ItemIs(disk->KindFlags, rfVirtualRoot));
    EXPECT_EQ(disk->OutsideClusters, 0);
    EXPECT_EQ(disk->Updated, DateTimeToUpdated(QDateTime::fromSecsSinceEpoch(kTime2)));

    EXPECT_EQ(FileNames(diskNode), (std::set<QByteArray>{"root.txt", "Readonly.txt"}));
    EXPECT_EQ(ChildNames(diskNode), (std::set<QByteArray>{"Docs", "Empty"}));
    TTreeNode *docs = Child(diskNode, "Docs");
    TTreeNode *sub = Child(docs, "Sub");
    ASSERT_TRUE(sub);
    EXPECT_EQ(FileNames(docs), (std::set<QByteArray>{"big.bin", "empty.dat"}));

    const TFileRec *root = FileOf(diskNode, "root.txt");
    EXPECT_EQ(root->Size, 5);
    EXPECT_EQ(root->Attr, faArchive);
    EXPECT_EQ(root->Modified, Dos(kTime1));
    EXPECT_EQ(root->Accessed, Dos(kTime1 + 7200));
    const QDateTime birth = QFileInfo(media(QStringLiteral("root.txt"))).birthTime();
    EXPECT_EQ(root->Created, birth.isValid() ? DateTimeToDos(birth) : root->Modified);
    EXPECT_FALSE(ItemIs(root->KindFlags, rfCompressed));
    EXPECT_EQ(FileOf(diskNode, "Readonly.txt")->Attr, faArchive | faReadOnly);
    EXPECT_EQ(FileOf(docs, "big.bin")->Modified, Dos(kTime2));

    const TFolderRec *docsRec = Folder(docs);
    EXPECT_EQ(docsRec->Attr, faDirectory);
    EXPECT_EQ(docsRec->Modified, Dos(kTime1));
    EXPECT_EQ(Folder(sub)->Modified, Dos(kTime2));
    EXPECT_EQ(Folder(sub)->TotalSize, int64_t(5000) * 10000);
    EXPECT_EQ(docsRec->TotalSize, int64_t(105000) * 10000);
    EXPECT_EQ(Folder(Child(diskNode, "Empty"))->TotalSize, 0);
    EXPECT_EQ(docsRec->DiskNode, diskNode);

    // Progress, labels and the status bar.
    EXPECT_TRUE(progress.barShown);
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
    EXPECT_EQ(progress.top.front(), QStringLiteral("Initializing catalog update..."));
    EXPECT_EQ(progress.top.back(), QStringLiteral("Scanning disk, please wait..."));
    EXPECT_EQ(progress.bottom.back(), QStringLiteral("Reading file data in:"));
    EXPECT_EQ(progress.folders.size(), 4u);   // the root and three folders
    EXPECT_TRUE(progress.folders.count(QDir(media(QStringLiteral("Docs/Sub"))).absolutePath() + QLatin1Char('/')));
    EXPECT_EQ(statusTexts, (std::vector<QString>{QStringLiteral("Scanning disk for data..."), QString()}));
}

TEST_F(DiskScanTest, HiddenItemsAndRecycleBinsAreLeftOutAsTheOptionsSay)
{
    file(QStringLiteral("visible.txt"), "v");
    file(QStringLiteral(".hidden.txt"), "h");
    file(QStringLiteral(".config/inside.txt"), "i");
    file(QStringLiteral("RECYCLED/old.txt"), "o");
    file(QStringLiteral("$Recycle.Bin/old.txt"), "o");
    file(QStringLiteral(".Trash/t.txt"), "t");
    file(QStringLiteral(".Trash-1000/t.txt"), "t");
    file(QStringLiteral("Recycled.txt"), "a file of that name is no recycle bin");

    TTreeNode *plain = scanOk(options());
    EXPECT_EQ(FileNames(plain), (std::set<QByteArray>{"visible.txt", "Recycled.txt"}));
    EXPECT_TRUE(ChildNames(plain).empty());
    EXPECT_EQ(Disk(plain)->ScanFlags & 1, 1);

    TScanOptions withHidden = options();
    withHidden.IgnoreFilesCheck = false;
    withHidden.IgnoreFoldersCheck = false;
    TTreeNode *hidden = scanOk(withHidden);
    EXPECT_EQ(FileNames(hidden), (std::set<QByteArray>{"visible.txt", ".hidden.txt", "Recycled.txt"}));
    EXPECT_EQ(ChildNames(hidden), (std::set<QByteArray>{".config"}));   // the trash folders stay out
    EXPECT_EQ(FileOf(hidden, ".hidden.txt")->Attr, faArchive | faHidden);
    EXPECT_EQ(Folder(Child(hidden, ".config"))->Attr, faDirectory | faHidden);
    EXPECT_EQ(Disk(hidden)->ScanFlags & 1, 1);

    TScanOptions everything = withHidden;
    everything.IgnoreRecycleCheck = false;
    TTreeNode *all = scanOk(everything);
    EXPECT_EQ(ChildNames(all), (std::set<QByteArray>{".config", "Recycled", "$Recycle.Bin", ".Trash", ".Trash-1000"}));
    EXPECT_EQ(Disk(all)->ScanFlags, 0);
    EXPECT_EQ(Disk(all)->TotalFiles, 8);
    EXPECT_EQ(Disk(all)->TotalFolders, 5);
}

TEST_F(DiskScanTest, RealDosAttributesDecideWhatIsHiddenWhereTheFileSystemKeepsThem)
{
    file(QStringLiteral("IO.SYS"), "x");
    file(QStringLiteral("Normal.txt"), "n");
    file(QStringLiteral("Hidden.txt"), "h");
    file(QStringLiteral("System.dat"), "s");
    file(QStringLiteral("Locked.txt"), "r");
    file(QStringLiteral("NoAttrs.txt"), "none of the four bits");
    file(QStringLiteral(".dotfile"), "d");
    file(QStringLiteral("Unknown.txt"), "the file system keeps nothing for it");
    file(QStringLiteral("HiddenDir/inner.txt"), "i");
    file(QStringLiteral("Docs/a.txt"), "a");
    ASSERT_EQ(::symlink("Normal.txt", QFile::encodeName(media(QStringLiteral("Link.txt"))).constData()), 0);
    // The file system's own bytes, as a FAT or NTFS driver would give them.
    const std::map<QByteArray, uint8_t> kept = {
        {"IO.SYS", faReadOnly | faHidden | faSystem}, {"Normal.txt", faArchive},
        {"Hidden.txt", faArchive | faHidden},         {"System.dat", faArchive | faSystem},
        {"Locked.txt", faArchive | faReadOnly},       {"NoAttrs.txt", 0},
        {".dotfile", faArchive},                      {"HiddenDir", faHidden},
        {"Docs", 0},                                  {"Link.txt", faHidden},
    };
    auto askedTypes = std::make_shared<QStringList>();
    auto askedNames = std::make_shared<std::set<QByteArray>>();
    TDriveSources s = sources();
    s.dosAttributes = [kept, askedTypes, askedNames](const QString &fsType) -> TDosAttrReader {
        askedTypes->append(fsType);
        return [kept, askedNames](int, const char *name) -> std::optional<uint8_t> {
            askedNames->insert(QByteArray(name));
            const auto it = kept.find(QByteArray(name));
            return it == kept.end() ? std::nullopt : std::optional<uint8_t>(it->second);
        };
    };
    m_drives = std::make_unique<TDrives>(s);
    m_letter = m_drives->driveOfPath(m_media.path()).value_or(QChar());

    TTreeNode *plain = scanOk(options());
    EXPECT_EQ(*askedTypes, QStringList{QStringLiteral("ext4")});   // the type of the scanned mount
    EXPECT_EQ(askedNames->count("Link.txt"), 0u);   // a link is never opened
    EXPECT_EQ(FileNames(plain), (std::set<QByteArray>{"Normal.txt", "System.dat", "Locked.txt", "NoAttrs.txt",
                                                      "Unknown.txt", "Link.txt"}));
    EXPECT_EQ(ChildNames(plain), (std::set<QByteArray>{"Docs"}));
    EXPECT_EQ(Disk(plain)->ScanFlags & 1, 1);
    EXPECT_EQ(FileOf(plain, "System.dat")->Attr, faArchive | faSystem);
    EXPECT_EQ(FileOf(plain, "Locked.txt")->Attr, faArchive | faReadOnly);
    EXPECT_EQ(FileOf(plain, "NoAttrs.txt")->Attr, 0);
    EXPECT_EQ(FileOf(plain, "Unknown.txt")->Attr, faArchive);   // the rule of other file systems
    EXPECT_EQ(FileOf(plain, "Link.txt")->Attr, 0);
    EXPECT_EQ(Folder(Child(plain, "Docs"))->Attr, faDirectory);

    TScanOptions withHidden = options();
    withHidden.IgnoreFilesCheck = false;
    withHidden.IgnoreFoldersCheck = false;
    TTreeNode *all = scanOk(withHidden);
    EXPECT_EQ(FileOf(all, "Io.sys")->Attr, faReadOnly | faHidden | faSystem);
    EXPECT_EQ(FileOf(all, "Hidden.txt")->Attr, faArchive | faHidden);
    EXPECT_EQ(FileOf(all, ".dotfile")->Attr, faArchive | faHidden);   // a dot name stays hidden
    EXPECT_EQ(Folder(Child(all, "HiddenDir"))->Attr, faDirectory | faHidden);
    EXPECT_EQ(Disk(all)->ScanFlags & 1, 0);
}

TEST_F(DiskScanTest, SymbolicLinksAreCataloguedAsLinksAndNeverFollowed)
{
    file(QStringLiteral("target.txt"), "0123456789");
    folder(QStringLiteral("Dir"));
    file(QStringLiteral("Dir/in.txt"), "x");
    const QByteArray base = QFile::encodeName(media());
    ASSERT_EQ(::symlink("target.txt", (base + "/file-link").constData()), 0);
    ASSERT_EQ(::symlink("Dir", (base + "/dir-link").constData()), 0);
    ASSERT_EQ(::symlink("..", (base + "/Dir/loop").constData()), 0);
    ASSERT_EQ(::symlink("/nowhere/at/all", (base + "/dangling").constData()), 0);
    ASSERT_EQ(::symlink("/", (base + "/outside.zip").constData()), 0);

    TTreeNode *disk = scanOk(options());
    EXPECT_EQ(ChildNames(disk), (std::set<QByteArray>{"Dir"}));
    EXPECT_EQ(FileNames(disk), (std::set<QByteArray>{"target.txt", "file-link", "dir-link", "dangling", "outside.zip"}));
    EXPECT_EQ(FileNames(Child(disk, "Dir")), (std::set<QByteArray>{"in.txt", "loop"}));
    const TFileRec *link = FileOf(disk, "dir-link");
    EXPECT_EQ(link->Size, 3);   // the length of the link's text
    EXPECT_EQ(link->Attr & (faDirectory | faArchive), 0);
    EXPECT_EQ(FileOf(disk, "dangling")->Size, 15);
    EXPECT_EQ(Disk(disk)->TotalFolders, 1);
    EXPECT_EQ(Disk(disk)->ArchiveFiles, 0);   // a link named like an archive is not opened
}

// Checks file access as an unprivileged user while it lives: a test run by
// root changes its file-system user id (which drops root's right to read any
// folder for this thread), so that folder modes block as they do for users.
class ScopedUnprivileged
{
public:
    ScopedUnprivileged()
    {
        if (::geteuid() != 0)
            return;
        m_switched = true;
        ::setfsgid(65534);   // nobody / nogroup
        ::setfsuid(65534);
    }
    ~ScopedUnprivileged()
    {
        if (m_switched) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }

private:
    bool m_switched = false;
};

bool CanOpen(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

TEST_F(DiskScanTest, UnreadableFoldersAreCataloguedEmptyAndMarked)
{
    file(QStringLiteral("Locked/secret.txt"), "s");
    file(QStringLiteral("NoSearch/listed.txt"), "12345");
    folder(QStringLiteral("NoSearch/Inner"));
    file(QStringLiteral("open.txt"), "o");
    const QByteArray base = QFile::encodeName(media());
    // The medium must be readable for the unprivileged user; the two folders not.
    ASSERT_EQ(::chmod(base.constData(), 0755), 0);
    ASSERT_EQ(::chmod((base + "/Locked").constData(), 0), 0);
    ASSERT_EQ(::chmod((base + "/NoSearch").constData(), 0555 & ~0111), 0);   // listable, not searchable
    struct Restore {
        QByteArray base;
        ~Restore()
        {
            ::chmod((base + "/Locked").constData(), 0755);
            ::chmod((base + "/NoSearch").constData(), 0755);
        }
    } restore{base};

    TTreeNode *disk = nullptr;
    {
        ScopedUnprivileged unprivileged;
        if (CanOpen(base + "/Locked/secret.txt") || !CanOpen(base + "/open.txt"))
            GTEST_SKIP() << "folder modes do not block reading for this process";
        disk = scanOk(options());
    }
    ASSERT_TRUE(disk);
    TTreeNode *locked = Child(disk, "Locked");
    ASSERT_TRUE(locked);
    EXPECT_TRUE(Chain(locked).empty());
    // Listed without the right to look at the entries: names from the listing, no sizes or times.
    TTreeNode *noSearch = Child(disk, "NoSearch");
    ASSERT_TRUE(noSearch);
    const TFileRec *listed = FileOf(noSearch, "listed.txt");
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->Size, 0);
    EXPECT_EQ(listed->Modified, 0u);
    EXPECT_EQ(listed->Attr, faArchive);
    TTreeNode *inner = Child(noSearch, "Inner");
    ASSERT_TRUE(inner);
    EXPECT_TRUE(Chain(inner).empty());
    EXPECT_EQ(Disk(disk)->ScanFlags & 1, 1);
    EXPECT_EQ(Disk(disk)->TotalFiles, 2);
    EXPECT_EQ(Disk(disk)->TotalFolders, 3);
}

TEST_F(DiskScanTest, FoldersBeyondTheCatalogsDepthAreLeftOutAndTheDiskStillSaves)
{
    QString path;
    for (int i = 0; i < kMaxFolderDepth + 2; ++i)
        path += QStringLiteral("d/");
    file(path + QStringLiteral("bottom.txt"), "b");
    TTreeNode *disk = scanOk(options());
    int depth = 0;
    TTreeNode *node = disk;
    while (TTreeNode *next = Child(node, "d")) {
        node = next;
        ++depth;
    }
    EXPECT_EQ(depth, kMaxFolderDepth);
    EXPECT_EQ(Disk(disk)->ScanFlags & 1, 1);
    EXPECT_EQ(Disk(disk)->TotalFolders, kMaxFolderDepth);
    EXPECT_NO_THROW(SaveCatalogTo(m_catalog, work(QStringLiteral("deep.ctf"))));
}

// ---------------------------------------------------------------------------
// Archives

TEST_F(DiskScanTest, ArchivesBecomeFoldersOfMembersWithTheNameCaseRule)
{
    const QByteArray zip = MakeStoredZip(Members({{"DOCS/README.TXT", "read me"}, {"setup.exe", "MZ...."}}));
    file(QStringLiteral("ARCHIVE.ZIP"), zip, kTime2);
    file(QStringLiteral("Sub/plain.txt"), "p");
    TTreeNode *disk = scanOk(options());

    TTreeNode *arcNode = Child(disk, "Archive.zip");
    ASSERT_TRUE(arcNode);
    const TFolderRec *arc = Folder(arcNode);
    EXPECT_TRUE(ItemIs(arc->KindFlags, rfCompressed));
    EXPECT_EQ(arc->TotalSize, int64_t(zip.size()) * 10000);
    EXPECT_EQ(arc->Modified, Dos(kTime2));
    EXPECT_EQ(arc->Attr, faArchive);
    EXPECT_EQ(arcNode->imageIndex(), tiZipFolder);
    EXPECT_FALSE(FileOf(disk, "Archive.zip"));   // not also a plain file
    EXPECT_EQ(FileNames(arcNode), (std::set<QByteArray>{"Docs\\Readme.txt", "setup.exe"}));
    const TFileRec *member = FileOf(arcNode, "Docs\\Readme.txt");
    EXPECT_TRUE(ItemIs(member->KindFlags, rfCompressed));
    EXPECT_EQ(member->Size, 7);
    EXPECT_EQ(member->Created, Crc32Update(0, "read me", 7));
    EXPECT_EQ(member->Accessed, 7u);   // stored: packed = unpacked
    EXPECT_EQ(member->Modified, 0x28210000u);
    const TDiskRec *d = Disk(disk);
    EXPECT_EQ(d->TotalFiles, 2);       // the archive and plain.txt
    EXPECT_EQ(d->ArchiveFiles, 2);
    EXPECT_EQ(d->TotalFolders, 1);     // archive folders are not folders of the medium
}

TEST_F(DiskScanTest, CorpusZipsWithCommentsFolderEntriesAndDamage)
{
    QUILLON_NEED_CORPUS();
    for (const char *name : {"izip_comments.zip", "izip_folders_only.zip", "damaged_truncated_izip_deflate_tree.zip",
                             "izip_deflate_tree.zip"})
        ASSERT_TRUE(QFile::copy(ZipCorpus() + QLatin1String(name), media(QLatin1String(name)))) << name;
    // Three members, the third central header's name length pointing past the end.
    QByteArray damaged = MakeStoredZip(Members({{"ONE.TXT", "1"}, {"TWO.TXT", "22"}, {"THREE.TXT", "333"}}));
    const qsizetype third = damaged.indexOf(QByteArray("PK\x01\x02", 4),
                                            damaged.indexOf(QByteArray("PK\x01\x02", 4),
                                                            damaged.indexOf(QByteArray("PK\x01\x02", 4)) + 1) + 1);
    ASSERT_GT(third, 0);
    damaged[third + 28] = '\xFF';
    damaged[third + 29] = '\x7F';
    file(QStringLiteral("cut.zip"), damaged);
    // Names with a control character are left out.
    file(QStringLiteral("odd.zip"), MakeStoredZip(Members({{"BAD\x01NAME.TXT", "x"}, {"GOOD.TXT", "y"}})));
    // Nothing but folder entries (attribute 10h).
    std::vector<GenZipMember> dirs = Members({{"TOP/", ""}, {"TOP/SUB/", ""}});
    for (GenZipMember &m : dirs)
        m.externalAttr = 0x10;
    file(QStringLiteral("dirs.zip"), MakeStoredZip(dirs));

    TScanOptions o = options();
    o.ImportCommentCheck = true;
    TTreeNode *disk = scanOk(o);

    TTreeNode *comments = Child(disk, "izip_comments.zip");
    ASSERT_TRUE(comments);
    EXPECT_EQ(FileNames(comments), (std::set<QByteArray>{"Readme.txt", "Gpl2.txt", "Zeros.bin"}));
    EXPECT_EQ(DescOf(FileOf(comments, "Readme.txt")->Desc), QByteArray("member comment for README.TXT"));
    EXPECT_EQ(FileOf(comments, "Gpl2.txt")->Size, 18092);
    EXPECT_EQ(FileOf(comments, "Gpl2.txt")->Accessed, 6811u);
    EXPECT_EQ(FileOf(comments, "Gpl2.txt")->Created, 0x4e46f4a1u);
    EXPECT_TRUE(ItemIs(Folder(comments)->KindFlags, rfHasDesc));
    EXPECT_TRUE(DescOf(Folder(comments)->Desc).startsWith("Archive comment line 1"))
        << DescOf(Folder(comments)->Desc).constData();

    // Archives that give no member are plain files; a damaged one keeps what came before the damage.
    for (const char *plain : {"izip_folders_only.zip", "damaged_truncated_izip_deflate_tree.zip", "dirs.zip"}) {
        EXPECT_FALSE(Child(disk, plain)) << plain;
        EXPECT_TRUE(FileOf(disk, plain)) << plain;
    }
    TTreeNode *cut = Child(disk, "cut.zip");
    ASSERT_TRUE(cut);
    EXPECT_EQ(FileNames(cut), (std::set<QByteArray>{"One.txt", "Two.txt"}));
    EXPECT_EQ(FileNames(Child(disk, "odd.zip")), (std::set<QByteArray>{"Good.txt"}));
    TTreeNode *tree = Child(disk, "izip_deflate_tree.zip");
    ASSERT_TRUE(tree);
    for (TFileRec *f : Chain(tree))
        EXPECT_FALSE(f->name().endsWith('\\')) << f->name().toByteArray().constData();

    int members = 0;
    for (TTreeNode *child : disk->children())
        members += Folder(child)->FileCount;
    EXPECT_EQ(Disk(disk)->ArchiveFiles, members);
    EXPECT_EQ(Disk(disk)->TotalFiles, 7);
}

TEST_F(DiskScanTest, TarAndGzipMembersKeepTheirCase)
{
    file(QStringLiteral("BUNDLE.TAR"), MakeTar("DOCS/UPPER.TXT", "tar data"));
    file(QStringLiteral("NOTES.TXT.GZ"), MakeGzip("NOTES.TXT", "gzip data"));
    file(QStringLiteral("PACK.ZIP"), MakeStoredZip(Members({{"DOCS/UPPER.TXT", "zip data"}})));
    TTreeNode *disk = scanOk(options());
    EXPECT_EQ(FileNames(Child(disk, "Bundle.tar")), (std::set<QByteArray>{"DOCS\\UPPER.TXT"}));
    EXPECT_EQ(FileNames(Child(disk, "Notes.txt.gz")), (std::set<QByteArray>{"NOTES.TXT"}));
    EXPECT_EQ(FileNames(Child(disk, "Pack.zip")), (std::set<QByteArray>{"Docs\\Upper.txt"}));
}

// Today's archives, each made by its archiver from the same files, become folders of their
// members; the archive among those files stays a file, and the names keep their case.
TEST_F(DiskScanTest, TodaysArchivesBecomeFoldersOfTheirMembers)
{
    const QString src = work(QStringLiteral("src"));
    QDir().mkpath(src + QStringLiteral("/Docs"));
    ASSERT_TRUE(WriteFileBytes(src + QStringLiteral("/ReadMe.TXT"), "read me\n"));
    ASSERT_TRUE(WriteFileBytes(src + QStringLiteral("/Docs/UPPER.TXT"), QByteArray(3000, 'u')));
    ASSERT_TRUE(WriteFileBytes(src + QStringLiteral("/Inner.zip"), MakeStoredZip(Members({{"IN.TXT", "inside"}}))));
    const QStringList files = {QStringLiteral("ReadMe.TXT"), QStringLiteral("Docs"), QStringLiteral("Inner.zip")};
    const std::set<QByteArray> members = {"ReadMe.TXT", "Docs\\UPPER.TXT", "Inner.zip"};
    struct Case {
        const char *file;
        const char *program;
        QStringList options;
    };
    const Case table[] = {
        {"t.7z", "7z", {QStringLiteral("a"), QStringLiteral("-bd")}},
        {"t.tar.xz", "tar", {QStringLiteral("-cJf")}},
        {"t.tar.bz2", "tar", {QStringLiteral("-cjf")}},
        {"t.tar.zst", "tar", {QStringLiteral("--zstd"), QStringLiteral("-cf")}},
        {"t.tgz", "tar", {QStringLiteral("-czf")}},
        {"t.iso", "genisoimage", {QStringLiteral("-quiet"), QStringLiteral("-J"), QStringLiteral("-R"), QStringLiteral("-o")}},
    };
    std::vector<const Case *> made;
    for (const Case &c : table) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(c.program)).isEmpty())
            continue;
        const bool image = QByteArray(c.program) == "genisoimage";
        QProcess process;
        process.setWorkingDirectory(src);
        process.start(QString::fromLatin1(c.program),
                      c.options + QStringList{media(QString::fromLatin1(c.file))} + (image ? QStringList{src} : files));
        ASSERT_TRUE(process.waitForFinished(-1) && process.exitCode() == 0) << c.file;
        made.push_back(&c);
    }
    if (made.empty())
        GTEST_SKIP() << "no archiver";
    TTreeNode *disk = scanOk(options());
    for (const Case *c : made) {
        SCOPED_TRACE(c->file);
        TTreeNode *arc = Child(disk, c->file);
        ASSERT_TRUE(arc);
        EXPECT_EQ(FileNames(arc), members);
        EXPECT_EQ(arc->childCount(), 0);   // the archive inside is not opened
        EXPECT_EQ(FileOf(arc, "Docs\\UPPER.TXT")->Size, 3000);
        EXPECT_EQ(FileOf(arc, "ReadMe.TXT")->Size, 8);
    }
    EXPECT_EQ(Disk(disk)->ArchiveFiles, int(3 * made.size()));
}

TEST_F(DiskScanTest, ArchiveChoicesDecideWhatIsListed)
{
    file(QStringLiteral("a.zip"), MakeStoredZip(Members({{"FILE_ID.DIZ", "Zip description"}, {"x.txt", "x"}})));
    file(QStringLiteral("b.tar"), MakeTar("member.txt", "data"));

    TScanOptions off = options();
    off.BrowseArchiveCheck = false;
    TTreeNode *plain = scanOk(off);
    EXPECT_TRUE(plain->children().empty());
    EXPECT_EQ(FileNames(plain), (std::set<QByteArray>{"a.zip", "b.tar"}));
    EXPECT_EQ(Disk(plain)->ArchiveFiles, 0);

    TScanOptions noZip = options();
    noZip.ArchiveSupport[9 - 1] = false;   // ZIP is type 9
    TTreeNode *tarOnly = scanOk(noZip);
    EXPECT_EQ(ChildNames(tarOnly), (std::set<QByteArray>{"b.tar"}));
    EXPECT_EQ(FileNames(tarOnly), (std::set<QByteArray>{"a.zip"}));

    // Descriptions only: the archive stays a plain file and takes its FILE_ID.DIZ.
    TScanOptions descOnly = options();
    descOnly.ArchiveDescOnly = true;
    descOnly.ImportDizCheck = true;
    TTreeNode *only = scanOk(descOnly);
    EXPECT_TRUE(only->children().empty());
    ASSERT_TRUE(FileOf(only, "a.zip"));
    EXPECT_EQ(DescOf(FileOf(only, "a.zip")->Desc), QByteArray("Zip description"));
    EXPECT_TRUE(ItemIs(NodeRec(only)->KindFlags, rfHasDesc));
    EXPECT_EQ(Disk(only)->ArchiveFiles, 0);
    EXPECT_EQ(Disk(only)->TotalFiles, 2);

    // Browsing with FILE_ID.DIZ: the archive folder takes it.
    TScanOptions browse = options();
    browse.ImportDizCheck = true;
    TTreeNode *full = scanOk(browse);
    EXPECT_EQ(DescOf(Folder(Child(full, "a.zip"))->Desc), QByteArray("Zip description"));
}

// ---------------------------------------------------------------------------
// Description files

TEST_F(DiskScanTest, DescriptionFilesOfTheRootAndOfFolders)
{
    file(QStringLiteral("FILE_ID.DIZ"), "The disk itself\r\n");
    file(QStringLiteral("Games/file_id.diz"), "Games folder");
    file(QStringLiteral("Games/DOOM.EXE"), "MZ");
    file(QStringLiteral("Games/descript.ion"), "Doom.exe Shoot them\r\n");
    TScanOptions o = options();
    o.ImportDizCheck = true;
    o.Import4DOSCheck = true;
    TTreeNode *disk = scanOk(o);
    EXPECT_EQ(DescOf(Disk(disk)->Desc), QByteArray("The disk itself"));
    TTreeNode *games = Child(disk, "Games");
    EXPECT_EQ(DescOf(Folder(games)->Desc), QByteArray("Games folder"));
    EXPECT_EQ(DescOf(FileOf(games, "Doom.exe")->Desc), QByteArray("Shoot them"));
    EXPECT_TRUE(ItemIs(Folder(games)->KindFlags, rfHasDesc));

    TTreeNode *none = scanOk(options());
    EXPECT_EQ(Disk(none)->Desc, nullptr);
    EXPECT_EQ(Folder(Child(none, "Games"))->Desc, nullptr);
}

// ---------------------------------------------------------------------------
// Virtual roots, space and clusters

TEST_F(DiskScanTest, AVirtualRootScansOnlyItsFolderAndCountsTheRestAsOutside)
{
    sized(QStringLiteral("Outside/big.bin"), 10000000);
    sized(QStringLiteral("Photos/2020/a.jpg"), 0);
    sized(QStringLiteral("Photos/2020/b.jpg"), 1);
    sized(QStringLiteral("Photos/2020/c.jpg"), 4096);
    sized(QStringLiteral("Photos/2020/d.jpg"), 4097);
    TTreeNode *disk = scanOk(options(), "\\Photos\\2020\\");
    const TDiskRec *d = Disk(disk);
    EXPECT_TRUE(ItemIs(d->KindFlags, rfVirtualRoot));
    EXPECT_EQ(DescOf(d->RootPath), QByteArray("\\Photos\\2020\\"));
    EXPECT_EQ(FileNames(disk), (std::set<QByteArray>{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    EXPECT_TRUE(disk->children().empty());
    EXPECT_EQ(d->TotalFolders, 0);
    const int64_t cluster = clusterSize(disk);
    ASSERT_GT(cluster, 0);
    auto clusters = [cluster](int64_t size) { return (size + cluster - 1) / cluster; };
    const int64_t content = clusters(0) + clusters(1) + clusters(4096) + clusters(4097);
    EXPECT_EQ(d->OutsideClusters, int64_t(d->TotalClusters) - d->FreeClusters - content);
    EXPECT_FALSE(ItemIs(d->KindFlags, rfCompressed));
    EXPECT_EQ(disk->imageIndex(), tiVirtualRoot);

    for (const QByteArray &bad : {QByteArray("\\..\\"), QByteArray("Photos\\"), QByteArray("\\Missing\\")}) {
        const TScanOutcome outcome = scan(options(), bad);
        EXPECT_FALSE(outcome.Success) << bad.constData();
        EXPECT_FALSE(outcome.Cancelled) << bad.constData();
        EXPECT_FALSE(outcome.Detail.isEmpty()) << bad.constData();
    }
    EXPECT_EQ(m_catalog->childCount(), 1);
}

TEST_F(DiskScanTest, AVirtualRootIsFoundWhateverTheCaseOfItsFoldersOnTheMedium)
{
    // Catalogued from a FAT medium as "\PHOTOS\2020\", mounted now with lower-case names.
    file(QStringLiteral("photos/2020/a.jpg"), "a");
    file(QStringLiteral("photos/2020/b.jpg"), "b");
    file(QStringLiteral("photos/other.jpg"), "o");
    struct Case {
        QByteArray stored;
        std::set<QByteArray> files;
    };
    const Case cases[] = {
        {"\\PHOTOS\\2020\\", {"a.jpg", "b.jpg"}},
        {"\\Photos\\", {"other.jpg"}},
        {"\\photos\\2020\\", {"a.jpg", "b.jpg"}},
    };
    for (const Case &c : cases) {
        TTreeNode *disk = scanOk(options(), c.stored);
        ASSERT_NE(disk, nullptr) << c.stored.constData();
        EXPECT_EQ(FileNames(disk), c.files) << c.stored.constData();
        // The disk keeps the folder as it was catalogued, so the finder still knows it.
        EXPECT_EQ(DescOf(Disk(disk)->RootPath), c.stored);
    }
    // The exact spelling wins when both exist.
    file(QStringLiteral("PHOTOS/upper.jpg"), "u");
    EXPECT_EQ(FileNames(scanOk(options(), "\\PHOTOS\\")), (std::set<QByteArray>{"upper.jpg"}));
    EXPECT_EQ(FileNames(scanOk(options(), "\\photos\\")), (std::set<QByteArray>{"other.jpg"}));
    const TScanOutcome missing = scan(options(), "\\PHOTOS\\1999\\");
    EXPECT_FALSE(missing.Success);
    EXPECT_FALSE(missing.Detail.isEmpty());
}

TEST_F(DiskScanTest, ContentLargerThanTheVolumeMakesItACompressedVolume)
{
    for (int i = 0; i < 10; ++i)
        sized(QStringLiteral("f%1.bin").arg(i), 40960);
    m_space = TFsSpace{4096, 20, 10, 1, 255};   // 80 KiB of which 40 KiB in use
    TTreeNode *disk = scanOk(options());
    const TDiskRec *d = Disk(disk);
    const int64_t cluster = clusterSize(disk);
    EXPECT_TRUE(ItemIs(d->KindFlags, rfCompressed));
    EXPECT_EQ(d->TotalClusters, 10 * ((40960 + cluster - 1) / cluster));
    EXPECT_EQ(d->FreeClusters, 0);
    EXPECT_EQ(d->OutsideClusters, 0);
    EXPECT_EQ(disk->imageIndex(), tiCompressedDisk);
    EXPECT_EQ(d->TotalFiles, 10);
}

TEST_F(DiskScanTest, AVolumeWithoutUsedSpaceIsNotWalkedButOneWithoutFiguresIs)
{
    file(QStringLiteral("a.txt"), "a");
    m_space = TFsSpace{4096, 100, 100, 1, 255};   // reports nothing in use
    TTreeNode *empty = scanOk(options());
    EXPECT_EQ(Disk(empty)->TotalFiles, 0);
    EXPECT_TRUE(Chain(empty).empty());
    EXPECT_EQ(Disk(empty)->TotalFolders, 0);

    m_space = TFsSpace{4096, 0, 0, 1, 255};       // reports no size at all
    TTreeNode *sizeless = scanOk(options());
    EXPECT_EQ(Disk(sizeless)->TotalFiles, 1);
    EXPECT_TRUE(ItemIs(Disk(sizeless)->KindFlags, rfCompressed));
    EXPECT_EQ(Disk(sizeless)->TotalClusters, 1);
}

TEST_F(DiskScanTest, ClusterCountsRoundEveryFileUp)
{
    const int64_t sizes[] = {0, 1, 511, 512, 4095, 4096, 4097, 1 << 20, (int64_t(1) << 20) + 1};
    for (size_t i = 0; i < std::size(sizes); ++i)
        sized(QStringLiteral("Data/f%1").arg(i), sizes[i]);
    TTreeNode *disk = scanOk(options(), "\\Data\\");
    const int64_t cluster = clusterSize(disk);
    int64_t expected = 0;
    for (const int64_t size : sizes)
        expected += (size + cluster - 1) / cluster;
    const TDiskRec *d = Disk(disk);
    EXPECT_EQ(int64_t(d->TotalClusters) - d->FreeClusters - d->OutsideClusters, expected);
    EXPECT_EQ(DiskSpace(d, 2), expected * cluster * 10000);
}

// ---------------------------------------------------------------------------
// Names of disks, readiness

TEST_F(DiskScanTest, DiskNamesAreMadeUniqueInTheCatalog)
{
    file(QStringLiteral("a.txt"), "a");
    TScanOptions o = options();
    TTreeNode *unnamed = scanOk(o);
    EXPECT_EQ(unnamed->text(), QByteArray("Disk ") + QString(m_letter).toLatin1() + ":");
    o.DiskName = "Backup";
    EXPECT_EQ(scanOk(o)->text(), QByteArray("Backup"));
    EXPECT_EQ(scanOk(o)->text(), QByteArray("Backup (2)"));
    o.DiskName = "Backup (2)";
    EXPECT_EQ(scanOk(o)->text(), QByteArray("Backup (3)"));
    // Updating keeps the name: the old disk does not count.
    TTreeNode *backup = Child(m_catalog, "Backup");
    o.DiskName = "Backup";
    o.OldDiskNode = backup;
    TTreeNode *updated = scanOk(o);
    EXPECT_EQ(updated->text(), QByteArray("Backup"));
    EXPECT_EQ(m_catalog->childCount(), 4);
}

TEST_F(DiskScanTest, ADriveThatIsNotReadyEndsAsCancelledWithoutADisk)
{
    m_ready = false;
    m_prompter.answers = {MsgAnswer::Cancel};
    const TScanOutcome outcome = scan(options());
    EXPECT_FALSE(outcome.Success);
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_EQ(m_catalog->childCount(), 0);
    ASSERT_EQ(m_prompter.messages.size(), 1u);
    EXPECT_EQ(m_prompter.messages[0].caption, QStringLiteral("Drive Not Ready"));
    EXPECT_EQ(m_prompter.messages[0].text, QStringLiteral("Drive %1: is not ready !").arg(m_letter));
}

TEST(ScanMessages, TheSystemsTexts)
{
    EXPECT_EQ(MsgScanErrorText(),
              QStringLiteral("The disk scan was terminated and canceled due to an error encountered in the process. "
                             "Please check if data on the media is valid, and there is no damage to media itself "
                             "(like scratches on CD-ROM surface)."));
    EXPECT_EQ(MsgScanErrorCaption(), QStringLiteral("Error"));
    EXPECT_EQ(MsgAbortScanText(), QStringLiteral("Do you really want to abort disk scan?"));
    EXPECT_EQ(MsgAbortScanCaption(), QStringLiteral("Abort Disk Scan"));
}

// ---------------------------------------------------------------------------
// Updates

// A medium with described items, scanned once as "Work" between two other disks.
class DiskUpdateTest : public DiskScanTest
{
protected:
    void SetUp() override
    {
        DiskScanTest::SetUp();
        if (HasFatalFailure())
            return;
        file(QStringLiteral("keep.txt"), "same");
        file(QStringLiteral("change.txt"), "before");
        file(QStringLiteral("flagged.bin"), "flags only");
        file(QStringLiteral("Docs/manual.pdf"), "pdf");
        file(QStringLiteral("Docs/Inner/note.txt"), "note");
        file(QStringLiteral("ARCHIVE.ZIP"), MakeStoredZip(Members({{"A.TXT", "a"}, {"B.TXT", "b"}})), kTime2);
        setTime(QStringLiteral("Docs/Inner"), kTime1);
        setTime(QStringLiteral("Docs"), kTime2);

        TScanOptions o = options();
        o.DiskName = "Before";
        scanOk(o);
        o.DiskName = "Work";
        m_old = scanOk(o);
        o.DiskName = "After";
        scanOk(o);
        ASSERT_EQ(m_old->index(), 1);

        StoreDescription(Disk(m_old)->Desc, QByteArray("disk text"));
        Disk(m_old)->Reserved = 4;
        StoreDescription(FileOf(m_old, "keep.txt")->Desc, QByteArray("kept text"));
        StoreDescription(FileOf(m_old, "change.txt")->Desc, QByteArray("lost text"));
        FileOf(m_old, "flagged.bin")->CatFlags = 0x25;
        TTreeNode *docs = Child(m_old, "Docs");
        StoreDescription(Folder(docs)->Desc, QByteArray("docs text"));
        Folder(docs)->CatFlags = 5;
        Folder(docs)->Reserved = 9;
        StoreDescription(FileOf(Child(docs, "Inner"), "note.txt")->Desc, QByteArray("note text"));
        TTreeNode *arc = Child(m_old, "Archive.zip");
        ASSERT_TRUE(arc);
        StoreDescription(FileOf(arc, "A.txt")->Desc, QByteArray("member text"));
        UpdateHasDesc(NodeRec(arc));
        SetDiskDirty(m_old, true);

        file(QStringLiteral("change.txt"), "after, longer");
        file(QStringLiteral("new.txt"), "new");
    }

    TScanOptions update(int source = ksUpdatedDisk) const
    {
        TScanOptions o = options();
        o.DiskName = "Work";
        o.OldDiskNode = m_old;
        o.KeepCurrentCheck = true;
        o.ImportDescCombo = source;
        return o;
    }

    void expectCarried(TTreeNode *disk) const
    {
        EXPECT_EQ(DescOf(Disk(disk)->Desc), QByteArray("disk text"));
        EXPECT_EQ(Disk(disk)->Reserved, 4);
        EXPECT_EQ(DescOf(FileOf(disk, "keep.txt")->Desc), QByteArray("kept text"));
        EXPECT_EQ(FileOf(disk, "change.txt")->Desc, nullptr);
        EXPECT_EQ(FileOf(disk, "flagged.bin")->CatFlags, 0x25);
        EXPECT_EQ(FileOf(disk, "new.txt")->Desc, nullptr);
        TTreeNode *docs = Child(disk, "Docs");
        EXPECT_EQ(DescOf(Folder(docs)->Desc), QByteArray("docs text"));
        EXPECT_EQ(Folder(docs)->CatFlags, 5);
        EXPECT_EQ(Folder(docs)->Reserved, 9);
        TTreeNode *inner = Child(docs, "Inner");
        EXPECT_EQ(DescOf(FileOf(inner, "note.txt")->Desc), QByteArray("note text"));
        EXPECT_TRUE(ItemIs(Folder(inner)->KindFlags, rfHasDesc));
        EXPECT_EQ(DescOf(FileOf(Child(disk, "Archive.zip"), "A.txt")->Desc), QByteArray("member text"));
        EXPECT_TRUE(ItemIs(NodeRec(disk)->KindFlags, rfHasDesc));
    }

    TTreeNode *m_old = nullptr;
};

TEST_F(DiskUpdateTest, CarriesDescriptionsAndCategoriesOverAndTakesTheOldPlace)
{
    RecordingProgress progress;
    const TScanOutcome outcome = scan(update(), {}, &progress);
    ASSERT_TRUE(outcome.Success) << outcome.Detail.toStdString();
    TTreeNode *disk = outcome.DiskNode;
    ASSERT_EQ(m_catalog->childCount(), 3);
    EXPECT_EQ(m_catalog->child(1), disk);
    EXPECT_EQ(m_catalog->child(0)->text(), QByteArray("Before"));
    EXPECT_EQ(m_catalog->child(2)->text(), QByteArray("After"));
    EXPECT_EQ(disk->text(), QByteArray("Work"));
    expectCarried(disk);
    EXPECT_TRUE(std::find(progress.top.begin(), progress.top.end(),
                          QStringLiteral("Searching for existings descriptions...")) != progress.top.end());
    EXPECT_TRUE(std::find(progress.bottom.begin(), progress.bottom.end(),
                          QStringLiteral("Reading from disk in catalog:")) != progress.bottom.end());
    EXPECT_TRUE(std::find(progress.dirs.begin(), progress.dirs.end(), QStringLiteral("Work")) != progress.dirs.end());
    ASSERT_FALSE(progress.found.empty());
    // Three files of the root, note.txt, the member and the Docs folder.
    EXPECT_EQ(progress.found.back(), QStringLiteral("( Descriptions found so far: 6 )"));
}

TEST_F(DiskUpdateTest, CarriesOverFromTheSavedFileAsWell)
{
    const QString fileName = work(QStringLiteral("work.ctf"));
    SaveCatalogTo(m_catalog, fileName);
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = ReadCatalog(m_forest, fileName);
    m_old = Child(m_catalog, "Work");
    ASSERT_TRUE(m_old);
    TTreeNode *disk = scanOk(update());
    expectCarried(disk);
    EXPECT_EQ(m_catalog->child(1), disk);
}

TEST_F(DiskUpdateTest, WithoutCarryingOverOnlyTheDiskTextStays)
{
    TScanOptions o = update();
    o.KeepCurrentCheck = false;
    TTreeNode *disk = scanOk(o);
    EXPECT_EQ(DescOf(Disk(disk)->Desc), QByteArray("disk text"));
    EXPECT_EQ(FileOf(disk, "keep.txt")->Desc, nullptr);
    EXPECT_EQ(FileOf(disk, "flagged.bin")->CatFlags, 0);
    EXPECT_EQ(Folder(Child(disk, "Docs"))->Desc, nullptr);
}

TEST_F(DiskUpdateTest, TheWholeCatalogIsASourceForNewDisksToo)
{
    // "Before" holds the same files without descriptions; "Work" has them.
    TScanOptions add = options();
    add.DiskName = "Copy";
    add.KeepCurrentCheck = true;
    add.ImportDescCombo = ksWholeCatalog;
    TTreeNode *copy = scanOk(add);
    EXPECT_EQ(DescOf(FileOf(copy, "keep.txt")->Desc), QByteArray("kept text"));
    EXPECT_EQ(FileOf(copy, "flagged.bin")->CatFlags, 0x25);
    EXPECT_EQ(Disk(copy)->Desc, nullptr);   // a disk's own text comes only from the disk it replaces

    // Updating "After" from the whole catalog finds Work's texts; from its own old image it finds none.
    TScanOptions fromCatalog = update(ksWholeCatalog);
    fromCatalog.OldDiskNode = Child(m_catalog, "After");
    fromCatalog.DiskName = "After";
    TTreeNode *after = scanOk(fromCatalog);
    EXPECT_EQ(DescOf(FileOf(after, "keep.txt")->Desc), QByteArray("kept text"));
    TScanOptions fromDisk = update(ksUpdatedDisk);
    fromDisk.OldDiskNode = Child(m_catalog, "Before");
    fromDisk.DiskName = "Before";
    TTreeNode *before = scanOk(fromDisk);
    EXPECT_EQ(FileOf(before, "keep.txt")->Desc, nullptr);
}

TEST_F(DiskUpdateTest, QuickScanTakesUnchangedArchivesOverAndRereadsChangedOnes)
{
    TTreeNode *oldArc = Child(m_old, "Archive.zip");
    TFolderRec *oldRec = Folder(oldArc);
    file(QStringLiteral("Docs/OTHER.ZIP"), MakeStoredZip(Members({{"C.TXT", "c"}})));

    TScanOptions o = update();
    o.KeepCurrentCheck = false;
    o.ArchiveQuickScan = true;
    TTreeNode *disk = scanOk(o);
    TTreeNode *arc = Child(disk, "Archive.zip");
    ASSERT_TRUE(arc);
    EXPECT_EQ(Folder(arc), oldRec);   // the very record, moved
    EXPECT_EQ(oldRec->Node, arc);
    EXPECT_EQ(oldRec->DiskNode, disk);
    for (TFileRec *f : Chain(arc))
        EXPECT_EQ(f->Node, arc);
    EXPECT_EQ(DescOf(FileOf(arc, "A.txt")->Desc), QByteArray("member text"));
    EXPECT_EQ(arc->imageIndex(), tiZipFolder);
    EXPECT_EQ(Disk(disk)->ArchiveFiles, 3);
    EXPECT_EQ(Disk(disk)->TotalFiles, 8);
    EXPECT_TRUE(Child(Child(disk, "Docs"), "Other.zip"));

    // Once the archive changes, it is listed again.
    file(QStringLiteral("ARCHIVE.ZIP"), MakeStoredZip(Members({{"A.TXT", "a2"}, {"B.TXT", "b"}})), kTime2 + 60);
    o.OldDiskNode = disk;
    TTreeNode *again = scanOk(o);
    TTreeNode *relisted = Child(again, "Archive.zip");
    ASSERT_TRUE(relisted);
    EXPECT_EQ(FileOf(relisted, "A.txt")->Desc, nullptr);
    EXPECT_EQ(FileOf(relisted, "A.txt")->Size, 2);
}

TEST_F(DiskUpdateTest, ACancelInTheMiddleLeavesTheOldImageUntouched)
{
    const QString before = DumpNode(m_old, DumpLoad | DumpState);
    TTreeNode *oldArc = Child(m_old, "Archive.zip");
    TFolderRec *oldArcRec = Folder(oldArc);

    RecordingProgress progress;
    progress.cancelAfter = 2;   // the root (whose archive was taken over) and Docs
    TScanOptions o = update();
    o.ArchiveQuickScan = true;
    const TScanOutcome outcome = scan(o, {}, &progress);
    EXPECT_FALSE(outcome.Success);
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_TRUE(outcome.Detail.isEmpty());
    ASSERT_EQ(m_catalog->childCount(), 3);
    EXPECT_EQ(m_catalog->child(1), m_old);
    EXPECT_EQ(Folder(oldArc), oldArcRec);
    EXPECT_EQ(oldArcRec->Node, oldArc);
    EXPECT_EQ(oldArcRec->DiskNode, m_old);
    for (TFileRec *f : Chain(oldArc))
        EXPECT_EQ(f->Node, oldArc);
    EXPECT_EQ(DumpNode(m_old, DumpLoad | DumpState), before);
}

TEST_F(DiskUpdateTest, AnErrorInTheMiddleRemovesTheNewDiskAndKeepsTheOld)
{
    const QString before = DumpNode(m_old, DumpLoad | DumpState);
    RecordingProgress progress;
    progress.failAfter = 3;
    TScanOptions o = update();
    o.ArchiveQuickScan = true;
    const TScanOutcome outcome = scan(o, {}, &progress);
    EXPECT_FALSE(outcome.Success);
    EXPECT_FALSE(outcome.Cancelled);
    EXPECT_EQ(outcome.Detail, QStringLiteral("the medium went away"));
    EXPECT_EQ(outcome.DiskNode, nullptr);
    ASSERT_EQ(m_catalog->childCount(), 3);
    EXPECT_EQ(m_catalog->child(1), m_old);
    EXPECT_EQ(DumpNode(m_old, DumpLoad | DumpState), before);

    // A scan after the failed one works as usual.
    EXPECT_TRUE(scanOk(update()));
}

// ---------------------------------------------------------------------------
// Save and reopen

TEST_F(DiskScanTest, ASavedScanReadsBackAsTheSameTree)
{
    GenTreeOptions gen;
    gen.seed = 11;
    gen.depth = 2;
    gen.fanOut = 3;
    gen.filesPerFolder = 6;
    gen.hiddenPercent = 10;
    gen.upperPercent = 30;
    gen.utf8Percent = 20;
    gen.descPercent = 40;
    gen.zipPercent = 40;
    GenTreeStats stats;
    QString error;
    ASSERT_TRUE(GenerateTree(media(QStringLiteral("Tree")), gen, &stats, &error)) << error.toStdString();
    TScanOptions o = options();
    o.ImportDizCheck = o.ImportBBSCheck = o.Import4DOSCheck = o.ImportCommentCheck = true;
    TTreeNode *disk = scanOk(o, "\\Tree\\");
    EXPECT_EQ(Disk(disk)->TotalFolders, stats.visibleFolders);
    EXPECT_EQ(Disk(disk)->TotalFiles, stats.visibleFiles);
    EXPECT_GT(stats.zips, 0);

    const QString dumped = DumpCatalog(m_catalog);
    const QString fileName = work(QStringLiteral("round.ctf"));
    SaveCatalogTo(m_catalog, fileName);
    EXPECT_EQ(DumpCatalog(m_catalog), dumped);
    DeleteCatalog(m_forest, m_catalog);
    m_catalog = ReadCatalog(m_forest, fileName);
    EXPECT_EQ(DumpCatalog(m_catalog), dumped);
}

TEST_F(DiskScanTest, EjectingLeavesAFixedDiskAndSaysWhy)
{
    file(QStringLiteral("a.txt"), "a");
    RecordingProgress progress;
    TScanOptions o = options();
    o.EjectMediaCheck = true;
    const TScanOutcome outcome = scan(o, {}, &progress);
    EXPECT_TRUE(outcome.Success);
    const QString why = QStringLiteral("Drive %1: was not ejected: it is a fixed disk.").arg(m_letter);
    EXPECT_EQ(outcome.Note, why);
    ASSERT_GE(progress.top.size(), 2u);
    EXPECT_EQ(progress.top[progress.top.size() - 2], QStringLiteral("Finished, ejecting media..."));
    EXPECT_EQ(progress.top.back(), why);
}

TEST_F(DiskScanTest, EjectingARemovableMediumButNeverTheOneTheCatalogIsWrittenTo)
{
    // The medium is now a removable disk whose ways to eject write down what was asked.
    ASSERT_TRUE(QDir().mkpath(work(QStringLiteral("sys/block/fake0"))));
    ASSERT_TRUE(WriteFileBytes(work(QStringLiteral("sys/block/fake0/removable")), "1\n"));
    auto log = std::make_shared<QStringList>();
    TDriveSources s = sources();
    s.eject.udisksRunning = [log] { log->append(QStringLiteral("udisks?")); return true; };
    s.eject.udisksUnmount = [log](const QString &d) { log->append(QStringLiteral("unmount ") + d); return true; };
    s.eject.udisksEject = [log](const QString &d) { log->append(QStringLiteral("eject ") + d); return true; };
    m_drives = std::make_unique<TDrives>(s);
    m_letter = m_drives->driveOfPath(m_media.path()).value_or(QChar());
    file(QStringLiteral("a.txt"), "a");
    TScanOptions o = options();
    o.EjectMediaCheck = true;
    TCatalogRec *catalog = AsCatalog(NodeRec(m_catalog));
    struct Case {
        QString catalogFile;
        QStringList attempts;
        QString note;
    };
    const Case cases[] = {
        {work(QStringLiteral("c.ctf")), {QStringLiteral("udisks?"), QStringLiteral("unmount /dev/fake0"),
                                         QStringLiteral("eject /dev/fake0")}, QString()},
        {QString(), {QStringLiteral("udisks?"), QStringLiteral("unmount /dev/fake0"),
                     QStringLiteral("eject /dev/fake0")}, QString()},
        {media(QStringLiteral("Catalogs/c.ctf")), {},
         QStringLiteral("Drive %1: was not ejected: its disk holds the catalog being written.").arg(m_letter)},
    };
    for (const Case &c : cases) {
        log->clear();
        catalog->FileName = c.catalogFile;
        RecordingProgress progress;
        const TScanOutcome outcome = scan(o, {}, &progress);
        EXPECT_TRUE(outcome.Success) << qPrintable(c.catalogFile);
        EXPECT_EQ(*log, c.attempts) << qPrintable(c.catalogFile);
        EXPECT_EQ(outcome.Note, c.note) << qPrintable(c.catalogFile);
    }
    catalog->FileName.clear();
}

TEST(ScanOptions, DefaultsComeFromTheSettingsAndTheEnablingRulesHold)
{
    TOptions settings;
    settings.InsideZipCheck = false;
    settings.EjectMediaCheck = true;
    settings.IgnoreFilesCheck = false;
    settings.DescTruncCheck = true;
    settings.DescTruncEdit = 5;
    settings.ArcTAR = false;
    settings.ExtractDir = QStringLiteral("/tmp/x/");
    settings.setDescSourceEnabled(dsFilesBbs, true);
    TScanOptions o;
    ApplyScanDefaults(o, settings, true);
    EXPECT_FALSE(o.BrowseArchiveCheck);
    EXPECT_TRUE(o.EjectMediaCheck);
    EXPECT_FALSE(o.IgnoreFilesCheck);
    EXPECT_TRUE(o.IgnoreFoldersCheck);
    EXPECT_TRUE(o.DescTruncCheck);
    EXPECT_EQ(o.DescTruncEdit, 5);
    EXPECT_FALSE(o.ArchiveSupport[12 - 1]);
    EXPECT_TRUE(o.ArchiveSupport[9 - 1]);
    EXPECT_EQ(o.ExtractDir, QStringLiteral("/tmp/x/"));
    EXPECT_TRUE(o.ImportBBSCheck);
    EXPECT_FALSE(o.ImportDizCheck);
    EXPECT_EQ(o.KeepCurrentCheck, settings.DescKeepCurrentCheck);
    TScanOptions adding;
    ApplyScanDefaults(adding, settings, false);
    EXPECT_FALSE(adding.KeepCurrentCheck);

    TScanOptions rules;
    rules.BrowseArchiveCheck = false;
    rules.ImportCommentCheck = true;
    rules.ArchiveDescOnly = true;
    rules.ArchiveQuickScan = true;
    ApplyScanEnablingRules(rules);
    EXPECT_FALSE(rules.ImportCommentCheck);
    EXPECT_FALSE(rules.ArchiveDescOnly);
    EXPECT_FALSE(rules.ArchiveQuickScan);
    TScanOptions noImport;
    noImport.ArchiveDescOnly = true;
    ApplyScanEnablingRules(noImport);
    EXPECT_FALSE(noImport.ArchiveDescOnly);
}

} // namespace

// Regression: two files that become one name under the case rule must not
// both take over the old image's one archive folder (one record on two nodes
// was freed twice).
TEST_F(DiskScanTest, QuickScanTakesAnOldArchiveFolderOverOnce)
{
    const QByteArray zip = MakeStoredZip(Members({{"A.TXT", "a"}}));
    file(QStringLiteral("BACKUP.ZIP"), zip, kTime2);
    file(QStringLiteral("Backup.zip"), zip, kTime2);
    TScanOptions o = options();
    o.DiskName = "Old";
    TTreeNode *old = scanOk(o);
    ASSERT_TRUE(old);
    o.OldDiskNode = old;
    o.ArchiveQuickScan = true;
    o.KeepCurrentCheck = false;
    TTreeNode *disk = scanOk(o);
    ASSERT_TRUE(disk);
    ASSERT_EQ(disk->childCount(), 2);
    EXPECT_NE(NodeRec(disk->child(0)), NodeRec(disk->child(1)));
    for (TTreeNode *child : disk->children())
        EXPECT_EQ(NodeRec(child)->Node, child);
}

// Regression: an archive whose name is not UTF-8 (old media) is still opened and listed.
TEST_F(DiskScanTest, ArchiveWithANameThatIsNotUtf8IsListed)
{
    const QByteArray zip = MakeStoredZip(Members({{"A.TXT", "a"}}));
    file(QStringLiteral("ok.zip"), zip, kTime2);
    const QByteArray raw = QFile::encodeName(m_media.path()) + "/caf\xe9.zip";
    FILE *f = std::fopen(raw.constData(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fwrite(zip.constData(), 1, size_t(zip.size()), f), size_t(zip.size()));
    std::fclose(f);
    TScanOptions o = options();
    o.DiskName = "U";
    TTreeNode *disk = scanOk(o);
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->childCount(), 2);   // both archives are folders, neither a plain file
    bool found = false;
    for (TTreeNode *child : disk->children())
        found = found || child->text() == QByteArray("caf\xe9.zip");
    EXPECT_TRUE(found);
    // QTemporaryDir cannot name this file to remove it.
    std::remove(raw.constData());
}

// Regression: a FILE_ID.DIZ member larger than the description limit is not
// extracted, also when only descriptions are looked for.
TEST_F(DiskScanTest, OversizedDescriptionMemberIsNotExtracted)
{
    QByteArray big("huge diz text\r\n");
    big += QByteArray(20 * 1024 * 1024, ' ');
    file(QStringLiteral("pack.zip"), MakeStoredZip(Members({{"FILE_ID.DIZ", big}, {"X.TXT", "x"}})), kTime2);
    for (bool descOnly : {false, true}) {
        TScanOptions o = options();
        o.DiskName = descOnly ? "D" : "B";
        o.ImportDizCheck = true;
        o.ArchiveDescOnly = descOnly;
        TTreeNode *disk = scanOk(o);
        ASSERT_TRUE(disk);
        for (TTreeNode *child : disk->children())
            EXPECT_EQ(AsFolder(NodeRec(child))->Desc, nullptr);
        for (TFileRec *f = NodeRec(disk)->Next; f; f = f->Next)
            EXPECT_EQ(f->Desc, nullptr) << f->name().toByteArray().constData();
    }
}

// ---------------------------------------------------------------------------
// Multi-volume archives: the corpus's two-volume ARJ set (GPL2.TXT in the
// first volume, RANDOM.BIN split over both, README.TXT and ZEROS.BIN in the
// second)

QString ArjSetFile(const char *name)
{
    return testcorpus::ArchiveDir("arj") + QStringLiteral("/arj_multivol_m1/") + QLatin1String(name);
}

// Each volume is a folder of its own, named after the volume file, and the later
// volume is neither listed again nor stored as a file, whichever of the two the
// folder lists first, and whatever the case of the volume's name on the medium.
// The copies are made in both orders in several folders; the test checks that
// the folder listings really gave both orders.
TEST_F(DiskScanTest, ArjVolumesAreOneFolderEachAndTheLaterVolumeIsReadOnce)
{
    QUILLON_NEED_CORPUS();
    const QByteArray first = ReadFileBytes(ArjSetFile("arj_multivol_m1.arj"));
    const QByteArray second = ReadFileBytes(ArjSetFile("arj_multivol_m1.a01"));
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    struct Case {
        QByteArray folder, firstName, secondName, firstShown, secondShown;
        bool laterFirst;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 8; ++i) {
        const QByteArray folder = "set" + QByteArray::number(i);
        if (i % 4 < 2)
            cases.push_back({folder, "arj_multivol_m1.arj", "arj_multivol_m1.a01", "arj_multivol_m1.arj",
                             "arj_multivol_m1.a01", i % 2 == 1});
        else
            cases.push_back({folder, "BACKUP.ARJ", "backup.a01", "Backup.arj", "backup.a01", i % 2 == 1});
    }
    bool listedLaterFirst = false, listedLaterLast = false;
    for (const Case &c : cases) {
        const QString dir = QString::fromLatin1(c.folder) + QLatin1Char('/');
        if (c.laterFirst)
            file(dir + QString::fromLatin1(c.secondName), second, kTime2);
        file(dir + QString::fromLatin1(c.firstName), first, kTime1);
        if (!c.laterFirst)
            file(dir + QString::fromLatin1(c.secondName), second, kTime2);
        QDirIterator it(media(dir), QDir::Files);
        const bool laterListedFirst = it.hasNext() && it.next().endsWith(QString::fromLatin1(c.secondName));
        (laterListedFirst ? listedLaterFirst : listedLaterLast) = true;
    }
    EXPECT_TRUE(listedLaterFirst && listedLaterLast) << "the folder listings gave one order only";
    TTreeNode *disk = scanOk(options());
    ASSERT_TRUE(disk);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder.constData());
        TTreeNode *folder = Child(disk, c.folder);
        ASSERT_TRUE(folder);
        EXPECT_EQ(ChildNames(folder), (std::set<QByteArray>{c.firstShown, c.secondShown}));
        EXPECT_TRUE(FileNames(folder).empty());   // neither volume is also a plain file
        TTreeNode *one = Child(folder, c.firstShown);
        TTreeNode *two = Child(folder, c.secondShown);
        ASSERT_TRUE(one && two);
        EXPECT_EQ(FileNames(one), (std::set<QByteArray>{"Gpl2.txt"}));
        EXPECT_EQ(FileNames(two), (std::set<QByteArray>{"Random.bin", "Readme.txt", "Zeros.bin"}));
        // Each volume folder has its own file's size and time.
        EXPECT_EQ(Folder(one)->TotalSize, int64_t(first.size()) * 10000);
        EXPECT_EQ(Folder(two)->TotalSize, int64_t(second.size()) * 10000);
        EXPECT_EQ(Folder(one)->Modified, Dos(kTime1));
        EXPECT_EQ(Folder(two)->Modified, Dos(kTime2));
        EXPECT_TRUE(ItemIs(Folder(two)->KindFlags, rfCompressed));
        // The split member, once, with the sizes of both parts and the whole file's CRC-32.
        const TFileRec *random = FileOf(two, "Random.bin");
        ASSERT_TRUE(random);
        EXPECT_EQ(random->Size, 6000);
        EXPECT_EQ(random->Accessed, 6000u);
        EXPECT_EQ(random->Created, 0x0fd37f45u);
        // The folder holding the set counts every volume file by its size.
        EXPECT_EQ(Folder(folder)->TotalSize, int64_t(first.size() + second.size()) * 10000);
    }
    EXPECT_EQ(Disk(disk)->ArchiveFiles, 4 * int(cases.size()));
    EXPECT_EQ(Disk(disk)->TotalFiles, int(cases.size()));
}

// A set whose later volume is missing keeps the members its first volume holds whole.
TEST_F(DiskScanTest, ArjSetWithoutItsLaterVolumeKeepsTheFirstVolumesMembers)
{
    QUILLON_NEED_CORPUS();
    file(QStringLiteral("SET.ARJ"), ReadFileBytes(ArjSetFile("arj_multivol_m1.arj")));
    TTreeNode *disk = scanOk(options());
    ASSERT_TRUE(disk);
    EXPECT_EQ(ChildNames(disk), (std::set<QByteArray>{"Set.arj"}));
    EXPECT_EQ(FileNames(Child(disk, "Set.arj")), (std::set<QByteArray>{"Gpl2.txt"}));
    EXPECT_EQ(Disk(disk)->ArchiveFiles, 1);
}

// An update with quick scan takes the unchanged volume folders of a set over as they
// were, and counts the set's files as the first scan did.
TEST_F(DiskScanTest, QuickScanTakesArjVolumeFoldersOverAndCountsTheSetOnce)
{
    QUILLON_NEED_CORPUS();
    file(QStringLiteral("SET.ARJ"), ReadFileBytes(ArjSetFile("arj_multivol_m1.arj")), kTime1);
    file(QStringLiteral("SET.A01"), ReadFileBytes(ArjSetFile("arj_multivol_m1.a01")), kTime2);
    TScanOptions o = options();
    o.DiskName = "Old";
    TTreeNode *old = scanOk(o);
    ASSERT_TRUE(old);
    EXPECT_EQ(ChildNames(old), (std::set<QByteArray>{"Set.arj", "Set.a01"}));
    std::set<const void *> oldRecords;
    for (TTreeNode *child : old->children())
        oldRecords.insert(NodeRec(child));
    const int64_t files = Disk(old)->TotalFiles;
    o.DiskName = "New";
    o.OldDiskNode = old;
    o.ArchiveQuickScan = true;
    o.KeepCurrentCheck = false;
    TTreeNode *disk = scanOk(o);
    ASSERT_TRUE(disk);
    EXPECT_EQ(ChildNames(disk), (std::set<QByteArray>{"Set.arj", "Set.a01"}));
    for (TTreeNode *child : disk->children())
        EXPECT_TRUE(oldRecords.count(NodeRec(child))) << child->text().constData();   // taken over, not re-read
    EXPECT_TRUE(FileNames(disk).empty());
    EXPECT_EQ(Disk(disk)->ArchiveFiles, 4);
    EXPECT_EQ(Disk(disk)->TotalFiles, files);
}

TEST_F(DiskScanTest, CabinetSetMemberGoingOnInTheNextCabinetIsCataloguedOnce)
{
    QUILLON_NEED_CORPUS();
    const QString set = testcorpus::ArchiveDir("cab") + QStringLiteral("/la_cab_multi/");
    for (const char *name : {"test_read_format_cab_multi.p1.cab", "test_read_format_cab_multi.p2.cab"})
        ASSERT_TRUE(QFile::copy(set + QLatin1String(name), media(QLatin1String(name)))) << name;
    TTreeNode *disk = scanOk(options());
    // The first cabinet's folder holds the member; the second cabinet's folder, beside it, does
    // not hold it again, and the second cabinet is not read as an archive of its own.
    EXPECT_EQ(FileNames(Child(disk, "test_read_format_cab_multi.p1.cab")), (std::set<QByteArray>{"ones"}));
    EXPECT_EQ(disk->children().size(), 2u);
    TTreeNode *second = Child(disk, "test_read_format_cab_multi.p2.cab");
    ASSERT_TRUE(second);
    EXPECT_TRUE(FileNames(second).empty());
    EXPECT_EQ(Disk(disk)->ArchiveFiles, 1);
}
