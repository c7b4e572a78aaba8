// Today's formats read through libarchive: 7z, tarballs compressed by xz,
// bzip2, zstd and gzip, single xz/bzip2/zstd files and ISO 9660 images. The
// corpus is made here by the system's archivers from one tree of files (an
// archive among them, which must stay a file), every listing is held to the
// archiver's own listing, and extraction must give the tree back byte for
// byte. Then detection by signature, hostile members, the output cap, the
// tarball setting, the settings value and the fuzz target's properties.
#include "archive/ArcLister.h"
#include "archive/Extract.h"
#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"
#include "archive/StreamSizes.h"
#include "archive/UnLibarchive.h"

#include "../../fuzz/ArchiveProperties.h"
#include "ArcFixtures.h"
#include "Mutate.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

using namespace arcfix;

namespace {

// Every file of the tree carries this time, set by touch, so the members' times can be checked exactly
// (an even second: DOS times keep two-second steps).
constexpr const char *kStamp = "2021-03-04 05:06:08";
constexpr const char *kStampIso = "2021-03-04T05:06:08";

struct Member {
    QByteArray name; // "\" separators
    uint64_t size = 0;
    uint64_t packed = 0; // not compared: the tests hold it to each format's own rule
    bool operator<(const Member &o) const { return name < o.name; }
    bool operator==(const Member &o) const { return name == o.name && size == o.size; }
};

struct Listing {
    bool ok = false;
    int error = 0;
    std::vector<Member> members;
    std::vector<QString> times;
};

Listing listFile(const QString &path, TArcType *type = nullptr)
{
    TArcLister lister;
    Listing out;
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        out.members.push_back({s->MemberName, s->UnpackedSize, s->PackedSize});
        out.times.push_back(DosDateTimeToIso(s->MemberDosDate));
    };
    lister.setArchiveFile(path);
    if (type)
        *type = lister.arcType();
    out.ok = lister.activate();
    out.error = lister.lastError();
    std::sort(out.members.begin(), out.members.end());
    return out;
}

// Extracts every member of an archive into dir with the extractor its name picks; the result
// and the codes reported through OnError on the way.
struct ExtractRun {
    bool ok = false;
    int error = 0;
    std::vector<int> codes;
};

ExtractRun extractAll(const QString &archive, const QString &dir)
{
    ExtractRun run;
    std::unique_ptr<TUnBase> unit = MakeExtractor(ArchiveExtensionIndex(archive));
    if (!unit)
        return run;
    unit->setArchiveFile(archive);
    unit->ExtractDir = dir;
    unit->OnError = [&](TZipCommon *, const QString &, const QString &, int code) { run.codes.push_back(code); };
    run.ok = unit->Extract();
    run.error = unit->lastError();
    return run;
}

// The files of a "7z l -slt" listing (7z and ISO images): Path, Size, and no folders.
std::vector<Member> sevenZipListing(const QString &path)
{
    const QByteArray text = runTool(QStringLiteral("7z"), {QStringLiteral("l"), QStringLiteral("-slt"), path});
    std::vector<Member> out;
    const qsizetype start = text.indexOf("----------");
    Member m;
    bool folder = false;
    for (const QByteArray &line : text.mid(start).split('\n')) {
        if (line.startsWith("Path = ")) {
            m = {line.mid(7).trimmed().replace('/', '\\'), 0};
            folder = false;
        } else if (line.startsWith("Size = ")) {
            m.size = line.mid(7).trimmed().toULongLong();
        } else if (line.startsWith("Packed Size = ")) {
            m.packed = line.mid(14).trimmed().toULongLong();
        } else if (line.startsWith("Folder = +") || line.startsWith("Attributes = D")) {
            folder = true;
        } else if (line.trimmed().isEmpty() && !m.name.isEmpty()) {
            if (!folder)
                out.push_back(m);
            m = {};
        }
    }
    if (!m.name.isEmpty() && !folder)
        out.push_back(m);
    std::sort(out.begin(), out.end());
    return out;
}

// The regular files of a "tar -tvf" listing (tar picks the decompressor itself).
std::vector<Member> tarListing(const QString &path)
{
    const QByteArray text = runTool(QStringLiteral("tar"), {QStringLiteral("-tvf"), path});
    std::vector<Member> out;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.startsWith('-'))
            continue;
        // mode owner size date time name
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6)
            continue;
        const qsizetype at = line.indexOf(f[4]) + f[4].size() + 1;
        out.push_back({line.mid(at).replace('/', '\\'), f[2].toULongLong()});
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A plain compressed file: the decompressor's output.
std::vector<Member> streamListing(const QString &path, const char *tool)
{
    const QByteArray data = runTool(QString::fromLatin1(tool), {QStringLiteral("-dc"), path});
    return {{QFileInfo(path).completeBaseName().toUtf8(), uint64_t(data.size())}};
}

enum class Oracle { SevenZip, Tar, Xz, Bzip2, Zstd };

// One corpus file: how it is made (program and arguments, run in the tree; an empty output
// name means the program's standard output is the file), what detection calls it, and the
// tool whose listing it must match.
struct Case {
    const char *file;
    const char *tool;
    std::vector<const char *> args;
    TArcType type;
    Oracle oracle;
    bool upperNames = false; // a plain ISO 9660 image: names in the standard's upper case
};

const std::vector<Case> &cases()
{
    static const std::vector<Case> table = {
        {"t.7z", "7z", {"a", "-bd", "../t.7z", "a.txt", "Docs", "data"}, TArcType::SevenZip, Oracle::SevenZip},
        {"t.tar.xz", "tar", {"-cJf", "../t.tar.xz", "a.txt", "Docs", "data"}, TArcType::XZ, Oracle::Tar},
        {"t.txz", "tar", {"-cJf", "../t.txz", "a.txt", "Docs", "data"}, TArcType::XZ, Oracle::Tar},
        {"t.tar.bz2", "tar", {"-cjf", "../t.tar.bz2", "a.txt", "Docs", "data"}, TArcType::BZip2, Oracle::Tar},
        {"t.tar.zst", "tar", {"--zstd", "-cf", "../t.tar.zst", "a.txt", "Docs", "data"}, TArcType::Zstd, Oracle::Tar},
        {"t.tgz", "tar", {"-czf", "../t.tgz", "a.txt", "Docs", "data"}, TArcType::GZip, Oracle::Tar},
        {"t.tar.gz", "tar", {"-czf", "../t.tar.gz", "a.txt", "Docs", "data"}, TArcType::GZip, Oracle::Tar},
        // compress (LZW, 1F 9D): the gzip family's signature; its tarball is read like a gzip one
        // (-f: the random file makes the output larger, which compress otherwise refuses).
        {"t.tar.Z", "bash", {"-c", "set -o pipefail; tar -cf - a.txt Docs data | compress -c -f"}, TArcType::GZip, Oracle::Tar},
        {"t.taz", "bash", {"-c", "set -o pipefail; tar -cf - a.txt Docs data | compress -c -f"}, TArcType::GZip, Oracle::Tar},
        {"rand.bin.xz", "xz", {"-c", "data/rand.bin"}, TArcType::XZ, Oracle::Xz},
        {"rand.bin.bz2", "bzip2", {"-c", "data/rand.bin"}, TArcType::BZip2, Oracle::Bzip2},
        {"rand.bin.zst", "zstd", {"-q", "-c", "data/rand.bin"}, TArcType::Zstd, Oracle::Zstd},
        {"t.iso", "genisoimage", {"-quiet", "-J", "-R", "-o", "../t.iso", "."}, TArcType::ISO, Oracle::SevenZip},
        {"plain.iso", "genisoimage", {"-quiet", "-o", "../plain.iso", "."}, TArcType::ISO, Oracle::SevenZip, true},
    };
    return table;
}

class ModernFormats : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        const QString tree = s_dir->filePath(QStringLiteral("tree"));
        QDir().mkpath(tree + QStringLiteral("/Docs"));
        QDir().mkpath(tree + QStringLiteral("/data"));
        std::mt19937 rng(18);
        QByteArray rand(200000, Qt::Uninitialized);
        for (char &c : rand)
            c = char(rng());
        writeAll(tree + QStringLiteral("/a.txt"), "hello\n");
        writeAll(tree + QStringLiteral("/Docs/ReadMe.TXT"), QByteArray("Read me first.\n").repeated(50));
        writeAll(tree + QStringLiteral("/data/rand.bin"), rand);
        // An archive inside: catalogued as a file, never opened.
        if (haveTool(QStringLiteral("zip")))
            runTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("data/inner.zip"), QStringLiteral("a.txt")},
                    tree);
        for (const QString &f : filesUnder(tree))
            runTool(QStringLiteral("touch"), {QStringLiteral("-d"), QString::fromLatin1(kStamp), tree + QLatin1Char('/') + f});
        for (const Case &c : cases()) {
            if (!haveTool(QString::fromLatin1(c.tool)))
                continue;
            QStringList args;
            for (const char *a : c.args)
                args << QString::fromLatin1(a);
            const QByteArray out = runTool(QString::fromLatin1(c.tool), args, tree);
            if (args.contains(QStringLiteral("-c")) && !out.isNull())
                writeAll(s_dir->filePath(QString::fromLatin1(c.file)), out);
        }
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static QString path(const char *file) { return s_dir->filePath(QString::fromLatin1(file)); }
    static QString tree() { return s_dir->filePath(QStringLiteral("tree")); }
    // Skips the test when the case's file could not be made here.
    static bool made(const Case &c) { return QFileInfo::exists(path(c.file)); }

    static std::vector<Member> oracle(const Case &c)
    {
        switch (c.oracle) {
        case Oracle::SevenZip:
            return haveTool(QStringLiteral("7z")) ? sevenZipListing(path(c.file)) : std::vector<Member>{};
        case Oracle::Tar:
            return tarListing(path(c.file));
        case Oracle::Xz:
            return streamListing(path(c.file), "xz");
        case Oracle::Bzip2:
            return streamListing(path(c.file), "bzip2");
        case Oracle::Zstd:
            return streamListing(path(c.file), "zstd");
        }
        return {};
    }

    static std::unique_ptr<QTemporaryDir> s_dir;
};

std::unique_ptr<QTemporaryDir> ModernFormats::s_dir;

// Keeps the tarball setting for one test and puts it back.
struct TarSetting {
    explicit TarSetting(bool shown) { SetCompressedTarMembersShown(shown); }
    ~TarSetting() { SetCompressedTarMembersShown(true); }
};

TEST_F(ModernFormats, ListingsMatchTheArchivers)
{
    int checked = 0;
    for (const Case &c : cases()) {
        if (!made(c))
            continue;
        SCOPED_TRACE(c.file);
        TArcType type = TArcType::NA;
        const Listing got = listFile(path(c.file), &type);
        EXPECT_EQ(type, c.type) << ArcTypeName(type);
        ASSERT_TRUE(got.ok) << got.error;
        const std::vector<Member> want = oracle(c);
        if (want.empty())
            continue;
        EXPECT_EQ(got.members, want);
        // Packed sizes where the format keeps one per member: an ISO image's files are stored
        // as they are, a plain stream's one file is the whole stream. A 7z's solid streams and
        // a compressed tarball keep none (0, unknown).
        for (size_t i = 0; i < got.members.size() && i < want.size(); ++i) {
            if (c.type == TArcType::ISO)
                EXPECT_EQ(got.members[i].packed, want[i].packed) << got.members[i].name.constData();
            else if (c.oracle == Oracle::SevenZip || c.oracle == Oracle::Tar)
                EXPECT_EQ(got.members[i].packed, 0u) << got.members[i].name.constData();
            else
                EXPECT_EQ(got.members[i].packed, uint64_t(QFileInfo(path(c.file)).size()));
        }
        // The archive inside is one member, not a folder of its own.
        if (c.oracle == Oracle::SevenZip || c.oracle == Oracle::Tar) {
            EXPECT_EQ(std::count_if(got.members.begin(), got.members.end(),
                                    [&](const Member &m) { return m.name.toUpper().endsWith("INNER.ZIP"); }),
                      haveTool(QStringLiteral("zip")) ? 1 : 0);
        }
        // Members keep the times of their files; a plain stream's one file the archive's.
        if (c.oracle == Oracle::SevenZip || c.oracle == Oracle::Tar) {
            for (const QString &t : got.times)
                EXPECT_EQ(t, QString::fromLatin1(kStampIso));
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(ModernFormats, MembersExtractByteExact)
{
    for (const Case &c : cases()) {
        if (!made(c))
            continue;
        SCOPED_TRACE(c.file);
        QTemporaryDir out;
        std::unique_ptr<TUnBase> unit = MakeExtractor(ArchiveExtensionIndex(path(c.file)));
        ASSERT_NE(unit, nullptr);
        unit->setArchiveFile(path(c.file));
        unit->ExtractDir = out.path();
        unit->UseStoredDirs = true;
        ASSERT_TRUE(unit->Extract()) << unit->lastError();
        const bool stream = c.oracle == Oracle::Xz || c.oracle == Oracle::Bzip2 || c.oracle == Oracle::Zstd;
        const QStringList wanted = stream ? QStringList{QStringLiteral("rand.bin")} : filesUnder(tree());
        const QStringList got = filesUnder(out.path());
        ASSERT_EQ(got.size(), wanted.size()) << got.join(QLatin1Char(' ')).toStdString();
        for (const QString &rel : got) {
            // A plain ISO 9660 image holds the names in upper case.
            const auto source = std::find_if(wanted.begin(), wanted.end(), [&](const QString &w) {
                return w.compare(rel, c.upperNames ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
            });
            ASSERT_NE(source, wanted.end()) << rel.toStdString();
            const QString from = stream ? tree() + QStringLiteral("/data/rand.bin") : tree() + QLatin1Char('/') + *source;
            EXPECT_EQ(readAll(out.filePath(rel)), readAll(from)) << rel.toStdString();
            if (!stream) {
                EXPECT_EQ(QFileInfo(out.filePath(rel)).lastModified(), QFileInfo(from).lastModified());
            }
        }
    }
}

TEST_F(ModernFormats, TarballSettingOffListsTheTarAsOneFile)
{
    const TarSetting off(false);
    for (const char *file : {"t.tar.xz", "t.txz", "t.tar.zst", "t.tgz", "t.tar.Z"}) {
        if (!QFileInfo::exists(path(file)))
            continue;
        SCOPED_TRACE(file);
        const Listing got = listFile(path(file));
        ASSERT_TRUE(got.ok) << got.error;
        ASSERT_EQ(got.members.size(), 1u);
        const QByteArray f(file);
        // compress records no size: its one member keeps the GZip reader's own rule for .Z files.
        if (!f.endsWith(".Z")) {
            const char *tool = f.endsWith("zst") ? "zstd" : f.endsWith("gz") ? "gzip" : "xz";
            EXPECT_EQ(got.members[0].size,
                      uint64_t(runTool(QString::fromLatin1(tool), {QStringLiteral("-dc"), path(file)}).size()));
        }
        // The xz, bzip2 and zstd forms name it after the archive, as the tar it is.
        if (f.endsWith("xz") || f.endsWith("zst")) {
            EXPECT_TRUE(got.members[0].name.endsWith(".tar")) << got.members[0].name.constData();
        }
    }
}

// A plain xz or zstd file's size comes from its own records, read without decoding: single and
// concatenated streams, an empty file (listed and extracted as one empty file), a zstd skippable
// frame, a zstd frame written through a pipe (no size recorded: the listing decodes it instead),
// and cut files, whose records are refused.
TEST_F(ModernFormats, StreamSizesFromTheirRecords)
{
    const QByteArray rand = readAll(tree() + QStringLiteral("/data/rand.bin"));
    const QByteArray text = readAll(tree() + QStringLiteral("/Docs/ReadMe.TXT"));
    auto pack = [&](const char *tool, const QByteArray &data) {
        const QString in = s_dir->filePath(QStringLiteral("pack.in"));
        writeAll(in, data);
        return runTool(QString::fromLatin1(tool), {QStringLiteral("-q"), QStringLiteral("-c"), in});
    };
    const QByteArray skippable = QByteArray("\x50\x2A\x4D\x18\x03\0\0\0abc", 11);
    struct Row {
        const char *label;
        TArcType type;
        QByteArray bytes;
        std::optional<uint64_t> recorded;
    };
    std::vector<Row> rows;
    for (const auto &[tool, type] : {std::pair{"xz", TArcType::XZ}, std::pair{"zstd", TArcType::Zstd}}) {
        if (!haveTool(QString::fromLatin1(tool)))
            continue;
        const QByteArray one = pack(tool, rand), two = pack(tool, text);
        rows.push_back({"one stream", type, one, uint64_t(rand.size())});
        rows.push_back({"two streams", type, one + two, uint64_t(rand.size() + text.size())});
        rows.push_back({"empty", type, pack(tool, {}), 0});
        for (int part : {1, 2, 3})
            rows.push_back({"cut", type, one.left(one.size() * part / 4), std::nullopt});
        if (type == TArcType::Zstd) {
            rows.push_back({"skippable frame", type, skippable + one, uint64_t(rand.size())});
            rows.push_back({"through a pipe", type,
                            runTool(QStringLiteral("sh"), {QStringLiteral("-c"),
                                                           QStringLiteral("cat data/rand.bin | zstd -q -c")}, tree()),
                            std::nullopt});
        } else {
            // xz's stream padding: zero bytes in fours after a stream.
            rows.push_back({"padded", type, one + QByteArray(8, '\0'), uint64_t(rand.size())});
        }
    }
    if (haveTool(QStringLiteral("bzip2")))
        rows.push_back({"bzip2 records none", TArcType::BZip2, pack("bzip2", rand), std::nullopt});
    ASSERT_FALSE(rows.empty());
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(ArcTypeName(row.type)) + " " + row.label);
        ASSERT_FALSE(row.bytes.isEmpty());
        TMemorySource src(QByteArray(7, 'x') + row.bytes);   // read from an offset, as behind a stub
        EXPECT_EQ(RecordedStreamSize(row.type, src, 7), row.recorded);
        // The listing gives the same size either way (detection goes by a stream's first bytes,
        // which for a leading skippable frame are not zstd's).
        if ((row.recorded && std::string(row.label) != "skippable frame") || std::string(row.label) == "through a pipe") {
            TArcLister lister;
            uint64_t listed = UINT64_MAX;
            lister.OnRead = [&](TArcLister *s, int64_t, int) { listed = s->UnpackedSize; };
            lister.setArchiveData(row.bytes, QStringLiteral("s.bin"));
            ASSERT_TRUE(lister.activate()) << lister.lastError();
            EXPECT_EQ(listed, row.recorded ? *row.recorded : uint64_t(rand.size()));
        }
        if (std::string(row.label) == "empty") {
            // An empty file packed is still one file, and extracts as one.
            const QString file = s_dir->filePath(row.type == TArcType::XZ ? QStringLiteral("empty.txt.xz")
                                                                          : QStringLiteral("empty.txt.zst"));
            writeAll(file, row.bytes);
            QTemporaryDir out;
            const ExtractRun run = extractAll(file, out.path());
            EXPECT_TRUE(run.ok) << run.error;
            EXPECT_EQ(filesUnder(out.path()), QStringList{QStringLiteral("empty.txt")});
            EXPECT_EQ(QFileInfo(out.filePath(QStringLiteral("empty.txt"))).size(), 0);
        }
    }

    // A stream that records no size is decoded to count it, and the listing's cancel ends that.
    if (haveTool(QStringLiteral("bzip2"))) {
        TArcLister lister;
        int asked = 0;
        lister.OnRead = [](TArcLister *, int64_t, int) {};
        lister.CancelRequested = [&] { return ++asked == 2; };
        lister.setArchiveData(pack("bzip2", rand.repeated(2)), QStringLiteral("s.bz2"));
        EXPECT_FALSE(lister.activate());
        EXPECT_EQ(lister.lastError(), 25300);
        EXPECT_EQ(asked, 2);
    }
}

// Detection goes by the bytes: each signature, and the near misses that are none.
TEST(ModernDetection, Signatures)
{
    auto image = [](qsizetype at, QByteArrayView id) {
        QByteArray b(40000, '\0');
        b.replace(at, id.size(), id.toByteArray());
        return b;
    };
    const std::pair<QByteArray, TArcType> table[] = {
        {QByteArray("7z\xBC\xAF\x27\x1C\0\x04", 8), TArcType::SevenZip},
        {QByteArray("\xFD" "7zXZ\0\0\0", 8), TArcType::XZ},
        {QByteArray("BZh91AY&SY"), TArcType::BZip2},
        {QByteArray("BZh01AY&SY"), TArcType::Unknown},
        {QByteArray("\x28\xB5\x2F\xFD\0\0\0\0", 8), TArcType::Zstd},
        {image(32768, "\x01" "CD001"), TArcType::ISO},
        // UDF without an ISO 9660 descriptor: not read.
        {image(32768, QByteArrayView("\0BEA01", 6)), TArcType::Unknown},
        {image(32769, "CD00X"), TArcType::Unknown},
    };
    for (const auto &[bytes, type] : table) {
        TArcLister lister;
        lister.setArchiveData(bytes, QStringLiteral("x.bin"));
        EXPECT_EQ(lister.arcType(), type) << bytes.left(8).toHex().constData();
    }
    // The new rows come after the fourteen of the original table, their extensions up to four letters.
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("a.7z")), kClassicArchiveTypeCount + 1);
    EXPECT_EQ(ArchiveTypeRow(ArchiveExtensionIndex(QStringLiteral("a.TBZ2")))->type, TArcType::BZip2);
    EXPECT_EQ(ArchiveTypeRow(ArchiveExtensionIndex(QStringLiteral("a.tzst")))->type, TArcType::Zstd);
    EXPECT_EQ(ArchiveTypeRow(ArchiveExtensionIndex(QStringLiteral("a.tgz")))->type, TArcType::GZip);
    // A .tar.Z is a .taz, whose files are taken out; a lone .Z file is not.
    EXPECT_EQ(ArchiveExtensionIndex(QStringLiteral("a.tar.Z")), ArchiveExtensionIndex(QStringLiteral("a.TAZ")));
    EXPECT_TRUE(ArchiveIndexCanExtract(ArchiveExtensionIndex(QStringLiteral("a.tar.Z"))));
    EXPECT_FALSE(ArchiveIndexCanExtract(ArchiveExtensionIndex(QStringLiteral("a.txt.Z"))));
    EXPECT_STREQ(ArcTypeName(TArcType::ISO), "ISO");
}

// A tarball of hostile members compressed by xz: names leading out of the folder land inside
// it, a member past OutputLimit is refused with 25140 and leaves nothing, and a member whose
// data ends early fails instead of leaving a short file.
TEST(ModernHostile, TarballMembersStayInsideAndCapped)
{
    if (!haveTool(QStringLiteral("xz")))
        GTEST_SKIP() << "xz is missing";
    QTemporaryDir dir;
    const QByteArray big(5000, 'B');
    QByteArray tar = tarEntry("../evil.txt", '0', "evil") + tarEntry("/abs.txt", '0', "abs") +
                     tarEntry("big.bin", '0', big) + QByteArray(1024, '\0');
    writeAll(dir.filePath(QStringLiteral("h.tar")), tar);
    const QByteArray xz = runTool(QStringLiteral("xz"), {QStringLiteral("-c"), dir.filePath(QStringLiteral("h.tar"))});
    ASSERT_FALSE(xz.isEmpty());
    writeAll(dir.filePath(QStringLiteral("h.tar.xz")), xz);
    const QString root = dir.filePath(QStringLiteral("out/inner"));
    QDir().mkpath(root);

    std::vector<int> codes;
    std::unique_ptr<TUnBase> unit = MakeExtractor(ArchiveExtensionIndex(QStringLiteral("h.tar.xz")));
    unit->setArchiveFile(dir.filePath(QStringLiteral("h.tar.xz")));
    unit->ExtractDir = root;
    unit->UseStoredDirs = true;
    unit->OutputLimit = 1000;
    unit->OnError = [&](TZipCommon *, const QString &, const QString &, int code) { codes.push_back(code); };
    EXPECT_TRUE(unit->Extract()) << unit->lastError();
    EXPECT_EQ(filesUnder(dir.filePath(QStringLiteral("out"))),
              (QStringList{QStringLiteral("inner/abs.txt"), QStringLiteral("inner/evil.txt")}));
    EXPECT_EQ(codes, std::vector<int>{ArcErrBadLengths});

    // The same tarball cut inside big.bin's data.
    writeAll(dir.filePath(QStringLiteral("cut.tar")), tar.left(3 * 512 + 700));
    writeAll(dir.filePath(QStringLiteral("cut.tar.xz")),
             runTool(QStringLiteral("xz"), {QStringLiteral("-c"), dir.filePath(QStringLiteral("cut.tar"))}));
    QTemporaryDir out2;
    unit = MakeExtractor(ArchiveExtensionIndex(QStringLiteral("cut.tar.xz")));
    unit->setArchiveFile(dir.filePath(QStringLiteral("cut.tar.xz")));
    unit->ExtractDir = out2.path();
    unit->setFileSpec(QStringLiteral("big.bin"));
    EXPECT_FALSE(unit->Extract());
    EXPECT_TRUE(unit->lastError() == ArcErrBadLengths || unit->lastError() == ArcErrBadFileHeader)
        << unit->lastError();
    EXPECT_TRUE(filesUnder(out2.path()).isEmpty());
}

// ZIP members of today's methods, packed by the system's compressors: bzip2 (12), LZMA (14,
// from an .lzma file's raw stream behind ZIP's own header), Zstandard (93) and xz (95) extract
// byte-exact; AES (99) is listed and refused with the password message, and the rest of the
// archive still extracts.
TEST(ModernZipMethods, LibraryMethodsExtractAndAesIsRefused)
{
    QTemporaryDir dir;
    QByteArray data;
    std::mt19937 rng(93);
    for (int i = 0; i < 20000; ++i)
        data += "word" + QByteArray::number(int(rng() % 50)) + ' ';
    const QString raw = dir.filePath(QStringLiteral("data.txt"));
    writeAll(raw, data);
    struct Method {
        uint16_t number;
        const char *tool;
        QStringList args;
    };
    const Method table[] = {
        {12, "bzip2", {QStringLiteral("-c")}},
        {14, "xz", {QStringLiteral("--format=lzma"), QStringLiteral("-c")}},
        {93, "zstd", {QStringLiteral("-q"), QStringLiteral("-c")}},
        {95, "xz", {QStringLiteral("-c")}},
    };
    std::vector<ZipMember> members;
    for (const Method &m : table) {
        if (!haveTool(QString::fromLatin1(m.tool)))
            continue;
        QByteArray packed = runTool(QString::fromLatin1(m.tool), m.args + QStringList{raw});
        ASSERT_FALSE(packed.isEmpty()) << m.number;
        uint16_t flags = 0;
        if (m.number == 14) {
            // .lzma: 5 property bytes, the 8-byte size, the stream (ended by its marker: flag bit 1).
            packed = QByteArray("\x10\x02\x05\x00", 4) + packed.left(5) + packed.mid(13);
            flags = 2;
        }
        members.push_back(ZipMember{"m" + QByteArray::number(m.number) + ".txt", data, m.number, packed, flags});
    }
    members.push_back(ZipMember{"secret.txt", data, 99, QByteArray(64, 'x'), 1});
    writeAll(dir.filePath(QStringLiteral("m.zip")), zipOf(members));

    std::map<QByteArray, int> methods;
    TArcLister lister;
    lister.OnRead = [&](TArcLister *s, int64_t, int) { methods[s->MemberName] = s->MethodCode; };
    lister.setArchiveFile(dir.filePath(QStringLiteral("m.zip")));
    ASSERT_TRUE(lister.activate()) << lister.lastError();
    EXPECT_EQ(methods.size(), members.size());
    EXPECT_EQ(methods["secret.txt"], 99);

    QTemporaryDir out;
    const ExtractRun run = extractAll(dir.filePath(QStringLiteral("m.zip")), out.path());
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.codes, std::vector<int>{25190});
    QStringList wanted;
    for (const ZipMember &m : members)
        if (m.method != 99)
            wanted << QString::fromUtf8(m.name);
    wanted.sort();
    EXPECT_EQ(filesUnder(out.path()), wanted);
    for (const QString &f : wanted)
        EXPECT_EQ(readAll(out.filePath(f)), data) << f.toStdString();

    // The reference writer's own members: LZMA with a dictionary cut to the data's size (no
    // power of two, which libarchive's .lzma reader would not take), bzip2.
    if (haveTool(QStringLiteral("7z"))) {
        for (const char *method : {"LZMA", "BZip2"}) {
            SCOPED_TRACE(method);
            const QString zip = dir.filePath(QStringLiteral("7z_%1.zip").arg(QLatin1String(method)));
            runTool(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip"),
                                           QStringLiteral("-mm=%1").arg(QLatin1String(method)), zip, raw});
            QTemporaryDir to;
            const ExtractRun written = extractAll(zip, to.path());
            EXPECT_TRUE(written.ok) << written.error;
            EXPECT_EQ(readAll(to.filePath(QStringLiteral("data.txt"))), data);
        }
    }

    // A member whose stream runs past its declared size is damage, not a longer file.
    if (haveTool(QStringLiteral("xz"))) {
        ZipMember lying{"short.txt", data.left(100), 95, runTool(QStringLiteral("xz"), {QStringLiteral("-c"), raw})};
        writeAll(dir.filePath(QStringLiteral("lie.zip")), zipOf({lying}));
        QTemporaryDir out2;
        extractAll(dir.filePath(QStringLiteral("lie.zip")), out2.path());
        EXPECT_TRUE(filesUnder(out2.path()).isEmpty());
    }
}

// Deflate64 members (method 9) as the reference writer makes them, at its fastest and its
// strongest setting: an empty file, a short one, and large ones (repetitive text, random bytes,
// and random bytes repeated 50000 bytes later, reached only through the 64 KiB window) extract
// byte-exact; damaged copies keep the extraction properties.
TEST(ModernZipMethods, Deflate64MembersExtractByteExact)
{
    if (!haveTool(QStringLiteral("7z")))
        GTEST_SKIP() << "7z is missing";
    QTemporaryDir dir;
    const QString tree = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(tree);
    std::mt19937 rng(64);
    auto random = [&](int n) {
        QByteArray b(n, Qt::Uninitialized);
        for (char &c : b)
            c = char(rng());
        return b;
    };
    QByteArray text;
    while (text.size() < 300000)
        text += "line " + QByteArray::number(int(rng() % 700)) + " of the catalogue\n";
    const QByteArray far = random(40000);
    const std::map<QString, QByteArray> files = {
        {QStringLiteral("empty.txt"), {}},
        {QStringLiteral("short.txt"), "hello\n"},
        {QStringLiteral("text.txt"), text},
        {QStringLiteral("random.bin"), random(150000)},
        {QStringLiteral("far.bin"), far + text.left(10000) + far},
    };
    for (const auto &[name, data] : files)
        writeAll(tree + QLatin1Char('/') + name, data);
    for (const char *level : {"-mx=1", "-mx=9"}) {
        SCOPED_TRACE(level);
        const QString zip = dir.filePath(QStringLiteral("d64%1.zip").arg(QLatin1String(level)));
        runTool(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip"),
                                       QStringLiteral("-mm=Deflate64"), QLatin1String(level), zip, QStringLiteral(".")},
                tree);
        std::map<QByteArray, int> methods;
        TArcLister lister;
        lister.OnRead = [&](TArcLister *s, int64_t, int) { methods[s->MemberName] = s->MethodCode; };
        lister.setArchiveFile(zip);
        ASSERT_TRUE(lister.activate()) << lister.lastError();
        // The reference writer stores what does not shrink; the rest is Deflate64.
        EXPECT_EQ(methods["text.txt"], 9);
        EXPECT_EQ(methods["far.bin"], 9);

        QTemporaryDir out;
        const ExtractRun run = extractAll(zip, out.path());
        ASSERT_TRUE(run.ok) << run.error;
        EXPECT_TRUE(run.codes.empty());
        EXPECT_EQ(filesUnder(out.path()).size(), qsizetype(files.size()));
        for (const auto &[name, data] : files)
            EXPECT_EQ(readAll(out.filePath(name)), data) << name.toStdString();

        // Flipped bytes in the members' data (the directory at the end left whole).
        const QByteArray bytes = readAll(zip);
        for (int i = 0; i < 30; ++i) {
            QByteArray damaged = bytes;
            for (int k = 0; k < 1 + i % 3; ++k)
                damaged[qsizetype(rng() % uint32_t(bytes.size() - 600))] ^= char(1u << (rng() % 8));
            ASSERT_EQ(ExtractionFinding(damaged), QString()) << i;
        }
    }
}

// A 7z written with a password: listed, and each member refused with the password message.
TEST_F(ModernFormats, EncryptedSevenZipMembersAreRefusedWithThePasswordMessage)
{
    if (!haveTool(QStringLiteral("7z")))
        GTEST_SKIP() << "7z is missing";
    const QString file = s_dir->filePath(QStringLiteral("secret.7z"));
    runTool(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-psecret"), file,
                                   QStringLiteral("a.txt")}, tree());
    const Listing listed = listFile(file);
    ASSERT_TRUE(listed.ok) << listed.error;
    EXPECT_EQ(listed.members, (std::vector<Member>{{"a.txt", 6}}));
    QTemporaryDir out;
    const ExtractRun run = extractAll(file, out.path());
    EXPECT_FALSE(run.ok);
    ASSERT_FALSE(run.codes.empty());
    EXPECT_EQ(run.codes.front(), 25190);
    EXPECT_TRUE(filesUnder(out.path()).isEmpty());
}

// Every prefix and seeded damage of small archives of each family: listing and extraction
// hold the fuzz target's properties (no crash, no hang, nothing outside the folder, nothing
// past the declared sizes), and a damaged file is refused with a code.
TEST_F(ModernFormats, DamageSweepHoldsTheFuzzProperties)
{
    std::mt19937 rng(1818);
    int swept = 0;
    for (const char *file : {"t.7z", "t.tar.xz", "t.tar.bz2", "t.tar.zst", "t.tgz", "t.iso", "rand.bin.xz"}) {
        if (!QFileInfo::exists(path(file)))
            continue;
        SCOPED_TRACE(file);
        const QByteArray seed = readAll(path(file));
        // Prefixes at a stride that reaches every header region of the files made here.
        const qsizetype stride = std::max<qsizetype>(1, seed.size() / 40);
        for (qsizetype n = 0; n < seed.size(); n += stride)
            ASSERT_EQ(ModernFinding(seed.left(n)), QString()) << n;
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(ModernFinding(MutateSeed(seed.left(70000), rng)), QString()) << i;
        const Listing cut = [&] {
            const QString p = path(file) + QStringLiteral(".cut");
            writeAll(p, seed.left(seed.size() * 2 / 3));
            return listFile(p);
        }();
        if (!cut.ok) {
            EXPECT_TRUE(cut.error == ArcErrBadFileHeader || cut.error == ArcErrBadLengths) << cut.error;
        }
        ++swept;
    }
    EXPECT_GT(swept, 0);
}

} // namespace
