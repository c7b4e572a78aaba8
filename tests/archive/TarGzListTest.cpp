// Listing TAR and GZip-family files: every corpus file against its reference
// manifest (names and sizes, and the trailer CRC for gzip), the truncated TAR
// against its error code, compress and pack files against their refusal, and
// hand-made headers for the long-name forms and hostile fields.
#include "archive/ArcLister.h"
#include "archive/UnGZIP.h"
#include "archive/UnLibarchive.h"
#include "archive/UnTar.h"

#include "Corpus.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <random>
#include <vector>

namespace {

struct Listed {
    QByteArray name;
    uint64_t size = 0, packed = 0;
    uint32_t crc = 0;
    int method = -1;
    uint32_t dos = 0;
};

struct ListResult {
    bool ok = false;
    int error = 0;
    std::vector<Listed> members;
    int totals = -1;
};

ListResult run(TArcLister &lister)
{
    ListResult result;
    lister.OnRead = [&](TArcLister *s, int64_t, int) {
        result.members.push_back({s->MemberName, s->UnpackedSize, s->PackedSize, s->MemberCRC, s->MethodCode, s->MemberDosDate});
    };
    lister.OnTotals = [&](TArcLister *, int n) { result.totals = n; };
    result.ok = lister.activate();
    result.error = lister.lastError();
    return result;
}

ListResult listBytes(const QByteArray &data, const QString &name, TArcType expectType)
{
    TArcLister lister;
    lister.setArchiveData(data, name);
    EXPECT_EQ(lister.arcType(), expectType) << name.toStdString();
    return run(lister);
}

QString corpusDir(const char *sub)
{
    return testcorpus::ArchiveDir(sub);
}

std::vector<QJsonObject> manifest(const QString &archive)
{
    std::vector<QJsonObject> lines;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.push_back(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

QByteArray backslashed(QString path)
{
    path = path.trimmed();
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path.toUtf8();
}

QStringList corpusFiles(const char *sub)
{
    QDir dir(corpusDir(sub));
    QStringList out;
    for (const QString &f : dir.entryList(QDir::Files, QDir::Name)) {
        if (!f.endsWith(QLatin1String(".manifest.jsonl")))
            out << dir.filePath(f);
    }
    return out;
}

bool isGzipProperFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(2);
    return head.size() == 2 && uint8_t(head[0]) == 0x1F && (uint8_t(head[1]) == 0x8B || uint8_t(head[1]) == 0x9E);
}

QString expectText(const std::vector<QJsonObject> &lines)
{
    for (const QJsonObject &o : lines) {
        if (o.value(QStringLiteral("kind")).toString() == QLatin1String("archive"))
            return o.value(QStringLiteral("expect")).toString();
    }
    return QString();
}

} // namespace

TEST(TarList, CorpusMatchesReference)
{
    QUILLON_NEED_CORPUS();
    const QStringList files = corpusFiles("tar");
    ASSERT_FALSE(files.isEmpty()) << corpusDir("tar").toStdString();
    int tars = 0;
    for (const QString &path : files) {
        if (!path.endsWith(QLatin1String(".tar")))
            continue;
        ++tars;
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifest(path);
        TArcLister lister;
        lister.setArchiveFile(path);
        ASSERT_EQ(lister.arcType(), TArcType::TAR);
        const ListResult r = run(lister);
        if (expectText(lines).startsWith(QLatin1String("damaged"))) {
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.error, ArcErrReadFile);
            continue;
        }
        ASSERT_TRUE(r.ok) << r.error;
        // Expected: the files the tools agree on, with the size the header states (GNU tar's listing;
        // a hard link's header says 0).
        std::map<QByteArray, uint64_t> tarSizes;
        std::vector<QByteArray> expected;
        std::map<QByteArray, uint64_t> consensusSizes;
        for (const QJsonObject &o : lines) {
            const QString kind = o.value(QStringLiteral("kind")).toString();
            const QByteArray name = backslashed(o.value(QStringLiteral("path")).toString());
            if (kind == QLatin1String("member") && o.value(QStringLiteral("tool")).toString() == QLatin1String("tar"))
                tarSizes[name] = uint64_t(o.value(QStringLiteral("size")).toDouble());
            if (kind == QLatin1String("consensus")) {
                expected.push_back(name);
                consensusSizes[name] = uint64_t(o.value(QStringLiteral("size")).toDouble());
            }
        }
        std::map<QByteArray, uint64_t> got;
        for (const Listed &m : r.members) {
            got[m.name] = m.size;
            EXPECT_EQ(m.packed, m.size);
            EXPECT_EQ(m.method, 0);
        }
        EXPECT_EQ(r.members.size(), expected.size());
        EXPECT_EQ(r.totals, int(r.members.size()));
        for (const QByteArray &name : expected) {
            SCOPED_TRACE(name.toStdString());
            ASSERT_TRUE(got.count(name));
            const uint64_t want = tarSizes.count(name) ? tarSizes[name] : consensusSizes[name];
            EXPECT_EQ(got[name], want);
        }
    }
    EXPECT_GE(tars, 10);
}

TEST(GzipList, CorpusMatchesReference)
{
    QUILLON_NEED_CORPUS();
    // The GZip rule: one member, a tarball's too (the setting that lists a tarball's files is off).
    SetCompressedTarMembersShown(false);
    struct Restore {
        ~Restore() { SetCompressedTarMembersShown(true); }
    } restore;
    QStringList files = corpusFiles("gz");
    for (const QString &f : corpusFiles("tar")) {
        if (!f.endsWith(QLatin1String(".tar")))
            files << f;
    }
    ASSERT_FALSE(files.isEmpty()) << corpusDir("tar").toStdString();
    int gzips = 0, others = 0;
    for (const QString &path : files) {
        SCOPED_TRACE(path.toStdString());
        const std::vector<QJsonObject> lines = manifest(path);
        TArcLister lister;
        lister.setArchiveFile(path);
        ASSERT_EQ(lister.arcType(), TArcType::GZip);
        const ListResult r = run(lister);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.members.size(), 1u);
        const Listed &m = r.members[0];
        const QFileInfo info(path);
        const QByteArray nameFromFile = info.fileName().left(info.fileName().lastIndexOf(QLatin1Char('.'))).toUtf8();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(10);
        if (!isGzipProperFile(path)) {
            // compress and pack: listed with the file's own size, never extracted.
            ++others;
            EXPECT_EQ(m.name, nameFromFile);
            EXPECT_EQ(m.size, uint64_t(info.size()));
            EXPECT_EQ(m.packed, uint64_t(info.size()));
            EXPECT_EQ(m.crc, 0u);
            EXPECT_EQ(m.method, uint8_t(head[1]) == 0x9D ? 1 : 2);
            EXPECT_EQ(GzipRefusalCode(head), ArcErrUnsupportedMethod);
            continue;
        }
        ++gzips;
        EXPECT_EQ(GzipRefusalCode(head), 0);
        EXPECT_EQ(m.method, 8);
        // The header's name is the first member's; the trailer is the last member's.
        QJsonObject first, last;
        for (const QJsonObject &o : lines) {
            if (o.value(QStringLiteral("kind")).toString() != QLatin1String("gzip_member"))
                continue;
            if (first.isEmpty())
                first = o;
            last = o;
        }
        ASSERT_FALSE(first.isEmpty());
        const QString stored = first.value(QStringLiteral("name")).toString();
        EXPECT_EQ(m.name, stored.isEmpty() ? nameFromFile : backslashed(stored));
        if (first.contains(QStringLiteral("mtime_unix"))) {
            // A stored time of 0 is none: the file's own date stands in, as gzip -lN shows it.
            const int64_t stamp = int64_t(first.value(QStringLiteral("mtime_unix")).toDouble());
            EXPECT_EQ(m.dos, NormalizedDosDateTime(UnixToDosDateTime(
                                 stamp != 0 ? stamp : info.lastModified().toSecsSinceEpoch())));
        }
        if (last.contains(QStringLiteral("error"))) {
            // A cut-off stream: its last 8 bytes are data, not a trailer; only extraction can tell.
            EXPECT_TRUE(expectText(lines).startsWith(QLatin1String("damaged")));
            continue;
        }
        bool gzipListed = false;
        for (const QJsonObject &o : lines) {
            gzipListed |= o.value(QStringLiteral("kind")).toString() == QLatin1String("member") &&
                          o.value(QStringLiteral("tool")).toString() == QLatin1String("gzip");
        }
        if (!gzipListed) {
            // Junk after the last member: the file's last 8 bytes are not a trailer, and gzip itself
            // refused to list it; the name is all there is to compare.
            EXPECT_EQ(info.fileName(), QStringLiteral("la_compat_gzip_2.tgz"));
            continue;
        }
        EXPECT_EQ(m.size, uint64_t(last.value(QStringLiteral("isize")).toDouble()));
        EXPECT_EQ(QString::number(m.crc, 16).rightJustified(8, QLatin1Char('0')),
                  last.value(QStringLiteral("stored_crc32")).toString());
    }
    EXPECT_GE(gzips, 15);
    EXPECT_GE(others, 10);
}

// Every prefix and seeded byte flips of a real TAR and a real gzip file: the listing ends (maybe with
// an error), never crashes, and what it reported before stopping is the front of the full listing.
TEST(TarGzList, DamageSweep)
{
    QUILLON_NEED_CORPUS();
    for (const QString &path : {corpusDir("tar") + QStringLiteral("/gnutar_ustar.tar"),
                                corpusDir("gz") + QStringLiteral("/GPL2.TXT.gz")}) {
        SCOPED_TRACE(path.toStdString());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        const QString name = QFileInfo(path).fileName();
        TArcLister full;
        full.setArchiveData(whole, name);
        const ListResult all = run(full);
        ASSERT_TRUE(all.ok);
        int failures = 0;
        for (qsizetype n = 0; n < whole.size(); ++n) {
            TArcLister lister;
            lister.setArchiveData(whole.first(n), name);
            const ListResult r = run(lister);
            failures += r.ok ? 0 : 1;
            ASSERT_LE(r.members.size(), all.members.size());
            if (lister.arcType() == TArcType::TAR) {
                for (size_t i = 0; i < r.members.size(); ++i)
                    EXPECT_EQ(r.members[i].name, all.members[i].name);
            }
        }
        EXPECT_GT(failures, 0);
        std::mt19937 rng(7);
        for (int round = 0; round < 2000; ++round) {
            QByteArray copy = whole;
            for (int k = 0; k < 4; ++k)
                copy[rng() % copy.size()] = char(rng());
            TArcLister lister;
            lister.setArchiveData(copy, name);
            const ListResult r = run(lister);
            EXPECT_LE(r.members.size(), size_t(copy.size() / 512 + 1));
        }
    }
}

// ---------------------------------------------------------------------------
// Hand-made TAR headers

namespace {

void putField(QByteArray &block, int at, int len, const QByteArray &text)
{
    for (int i = 0; i < len && i < text.size(); ++i)
        block[at + i] = text[i];
}

void seal(QByteArray &block)
{
    for (int i = 148; i < 156; ++i)
        block[i] = ' ';
    unsigned sum = 0;
    for (char c : block)
        sum += uint8_t(c);
    putField(block, 148, 8, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
}

QByteArray header(const QByteArray &name, uint64_t size, char type = '0', bool ustar = false,
                  const QByteArray &prefix = QByteArray())
{
    QByteArray block(512, '\0');
    putField(block, 0, 100, name);
    putField(block, 100, 8, "0000644");
    putField(block, 124, 12, QByteArray::number(qulonglong(size), 8).rightJustified(11, '0'));
    putField(block, 136, 12, "14000000000");
    block[156] = type;
    if (ustar) {
        putField(block, 257, 8, QByteArray("ustar\0" "00", 8));
        putField(block, 345, 155, prefix);
    }
    seal(block);
    return block;
}

QByteArray entry(const QByteArray &hdr, const QByteArray &data)
{
    QByteArray out = hdr + data;
    out.append(QByteArray((512 - data.size() % 512) % 512, '\0'));
    return out;
}

QByteArray endBlocks()
{
    return QByteArray(1024, '\0');
}

QByteArray paxRecord(const QByteArray &key, const QByteArray &value)
{
    const QByteArray body = " " + key + "=" + value + "\n";
    int len = body.size() + 1;
    while (QByteArray::number(len).size() + body.size() != len)
        ++len;
    return QByteArray::number(len) + body;
}

} // namespace

TEST(TarList, LongNameForms)
{
    const QByteArray longPath = QByteArray("dir/") + QByteArray(150, 'n') + "/leaf.txt";
    QByteArray tar;
    tar += entry(header("a.txt", 3), "abc");
    tar += header("folder/", 0, '5');
    tar += entry(header("././@LongLink", longPath.size() + 1, 'L'), longPath + '\0');
    tar += entry(header("cut-off-name", 5), "hello");
    const QByteArray pax =
        paxRecord("mtime", "1.5") + paxRecord("path", "pax/" + QByteArray(120, 'p')) + paxRecord("size", "7");
    tar += entry(header("PaxHeaders/x", pax.size(), 'x'), pax);
    tar += entry(header("short", 99), "1234567");
    tar += entry(header("name.txt", 2, '0', true, "some/prefix"), "xy");
    tar += entry(header("sym", 0, '2'), "");
    tar += entry(header("old-style-folder/", 0, '0'), "");
    tar += header("hard", 321, '1'); // a hard link's header may give the target's size; no data follows
    tar += endBlocks();
    const ListResult r = listBytes(tar, QStringLiteral("t.tar"), TArcType::TAR);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 5u);
    EXPECT_EQ(r.members[0].name, "a.txt");
    EXPECT_EQ(r.members[0].size, 3u);
    EXPECT_EQ(r.members[1].name, QByteArray(longPath).replace('/', '\\'));
    EXPECT_EQ(r.members[1].size, 5u);
    EXPECT_EQ(r.members[2].name, "pax\\" + QByteArray(120, 'p'));
    EXPECT_EQ(r.members[2].size, 7u);
    EXPECT_EQ(r.members[3].name, "some\\prefix\\name.txt");
    EXPECT_EQ(r.members[4].name, "hard");
    EXPECT_EQ(r.members[4].size, 0u);
}

TEST(TarList, LastHeaderAtTheVeryEnd)
{
    // Some writers leave out the end blocks: a header whose block ends the file is still read.
    const QByteArray tar = entry(header("one", 3), "abc") + header("two", 0);
    const ListResult r = listBytes(tar, QStringLiteral("e.tar"), TArcType::TAR);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[1].name, "two");
}

TEST(TarList, Base256Size)
{
    QByteArray hdr = header("big.bin", 0);
    QByteArray field(12, '\0');
    field[0] = char(0x80);
    field[11] = char(0x04); // 4 bytes
    putField(hdr, 124, 12, field);
    seal(hdr);
    const ListResult r = listBytes(entry(hdr, "abcd") + endBlocks(), QStringLiteral("b.tar"), TArcType::TAR);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].size, 4u);
}

TEST(TarList, HostileFieldsEndWithErrors)
{
    const QByteArray good = entry(header("first", 1), "1");
    {
        // A size far past the end of the file.
        QByteArray hdr = header("huge", 0);
        putField(hdr, 124, 12, "77777777777");
        seal(hdr);
        const ListResult r = listBytes(good + hdr + endBlocks(), QStringLiteral("h.tar"), TArcType::TAR);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, ArcErrReadFile);
        ASSERT_EQ(r.members.size(), 1u); // what came before stays reported
    }
    {
        // A base-256 size of 2^62: no allocation, no overflow.
        QByteArray hdr = header("huge256", 0);
        QByteArray field(12, '\0');
        field[0] = char(0x80);
        field[4] = char(0x40);
        putField(hdr, 124, 12, field);
        seal(hdr);
        const ListResult r = listBytes(good + hdr + endBlocks(), QStringLiteral("h.tar"), TArcType::TAR);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, ArcErrReadFile);
    }
    {
        // Garbage in the size field.
        QByteArray hdr = header("garbage", 0);
        putField(hdr, 124, 12, "12x4");
        seal(hdr);
        const ListResult r = listBytes(good + hdr + endBlocks(), QStringLiteral("g.tar"), TArcType::TAR);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, ArcErrBadFileHeader);
    }
    {
        // A long name claiming more than any path needs (the data is really there).
        const int len = (1 << 20) + 1;
        const QByteArray tar = good + entry(header("././@LongLink", len, 'L'), QByteArray(len, 'a')) + endBlocks();
        const ListResult r = listBytes(tar, QStringLiteral("l.tar"), TArcType::TAR);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, ArcErrBadLengths);
    }
    {
        // A header failing its checksum ends the list quietly.
        QByteArray bad = header("second", 1);
        bad[0] = 'S';
        const ListResult r = listBytes(good + entry(bad, "2") + entry(header("third", 1), "3") + endBlocks(),
                                       QStringLiteral("c.tar"), TArcType::TAR);
        EXPECT_TRUE(r.ok);
        ASSERT_EQ(r.members.size(), 1u);
        EXPECT_EQ(r.members[0].name, "first");
    }
    {
        // Malformed pax records are ignored; the entry keeps its own name.
        const QByteArray pax = "99999 path=zzz\n3 x";
        const QByteArray tar = entry(header("p", pax.size(), 'x'), pax) + entry(header("own", 1), "1") + endBlocks();
        const ListResult r = listBytes(tar, QStringLiteral("p.tar"), TArcType::TAR);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.members.size(), 1u);
        EXPECT_EQ(r.members[0].name, "own");
    }
}

TEST(TarList, NumberField)
{
    EXPECT_EQ(TarNumber(QByteArrayView("  0017 \0", 8)), std::optional<uint64_t>(15));
    EXPECT_EQ(TarNumber(QByteArrayView("\0\0\0\0", 4)), std::optional<uint64_t>(0));
    EXPECT_FALSE(TarNumber(QByteArrayView("0019", 4)).has_value());
    EXPECT_FALSE(TarNumber(QByteArrayView("\xff\xff\xff\xff", 4)).has_value());
    EXPECT_FALSE(TarNumber(QByteArrayView("\x80\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 12)).has_value());
}

// ---------------------------------------------------------------------------
// Hand-made gzip headers

namespace {

QByteArray gzipHeader(uint8_t flags, uint32_t mtime = 0)
{
    QByteArray h("\x1f\x8b\x08", 3);
    h += char(flags);
    for (int i = 0; i < 4; ++i)
        h += char((mtime >> (8 * i)) & 0xFF);
    h += QByteArray("\x00\x03", 2);
    return h;
}

QByteArray trailer(uint32_t crc, uint32_t size)
{
    QByteArray t;
    for (int i = 0; i < 4; ++i)
        t += char((crc >> (8 * i)) & 0xFF);
    for (int i = 0; i < 4; ++i)
        t += char((size >> (8 * i)) & 0xFF);
    return t;
}

const QByteArray kEmptyDeflate("\x03\x00", 2);

} // namespace

TEST(GzipList, AllHeaderFields)
{
    QByteArray gz = gzipHeader(kGzFlagExtra | kGzFlagName | kGzFlagComment | kGzFlagHeaderCrc, 888653288);
    gz += QByteArray("\x04\x00" "AB\x02\x00", 6);
    gz += QByteArray("dir/inner.txt\0", 14);
    gz += QByteArray("a comment\0", 10);
    gz += QByteArray("\x12\x34", 2);
    gz += kEmptyDeflate + trailer(0xDEADBEEF, 12345);
    const ListResult r = listBytes(gz, QStringLiteral("x.gz"), TArcType::GZip);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "dir\\inner.txt");
    EXPECT_EQ(r.members[0].crc, 0xDEADBEEFu);
    EXPECT_EQ(r.members[0].size, 12345u);
    EXPECT_EQ(r.members[0].packed, uint64_t(gz.size() - 4 - 8));
}

TEST(GzipList, NameFromFileAndLongNames)
{
    const QByteArray plain = gzipHeader(0) + kEmptyDeflate + trailer(0, 0);
    ListResult r = listBytes(plain, QStringLiteral("/some/where/archive.tar.gz"), TArcType::GZip);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "archive.tar");
    r = listBytes(plain, QStringLiteral("bundle.tgz"), TArcType::GZip);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "bundle");

    const QByteArray longName = gzipHeader(kGzFlagName) + QByteArray(400, 'q') + '\0' + kEmptyDeflate + trailer(0, 0);
    r = listBytes(longName, QStringLiteral("l.gz"), TArcType::GZip);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, QByteArray(255, 'q'));
}

TEST(GzipList, CutHeadersEndWithErrors)
{
    // An extra field longer than the file.
    ListResult r = listBytes(gzipHeader(kGzFlagExtra) + QByteArray("\xff\xff", 2) + QByteArray(20, 'x'),
                             QStringLiteral("e.gz"), TArcType::GZip);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ArcErrReadFile);
    EXPECT_TRUE(r.members.empty());
    // A name without its terminator.
    r = listBytes(gzipHeader(kGzFlagName) + QByteArray(30, 'n'), QStringLiteral("n.gz"), TArcType::GZip);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ArcErrReadFile);
    // A header that leaves no room for the trailer.
    r = listBytes(gzipHeader(kGzFlagName) + QByteArray("abc\0xy", 6), QStringLiteral("t.gz"), TArcType::GZip);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ArcErrReadFile);
}

TEST(GzipList, RefusalCodes)
{
    EXPECT_EQ(GzipRefusalCode(gzipHeader(0)), 0);
    QByteArray encrypted = gzipHeader(kGzFlagEncrypted);
    EXPECT_EQ(GzipRefusalCode(encrypted), 25190);
    QByteArray method = gzipHeader(0);
    method[2] = 3;
    EXPECT_EQ(GzipRefusalCode(method), ArcErrUnsupportedMethod);
    EXPECT_EQ(GzipMethodCode(method), 10);
    EXPECT_EQ(GzipRefusalCode(QByteArray("\x1f\x9d\x90xxxxxxx", 10)), ArcErrUnsupportedMethod);
    EXPECT_EQ(GzipMethodCode(QByteArray("\x1f\xa0\x90xxxxxxx", 10)), 3);
    EXPECT_EQ(GzipRefusalCode(QByteArray("\x1f\x8b", 2)), ArcErrReadFile);
}
