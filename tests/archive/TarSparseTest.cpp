// GNU sparse TAR members, made in the test by the system's GNU tar from files
// with holes in each of its sparse forms (old GNU 'S' headers with and without
// extension blocks, pax 0.0, 0.1 and 1.0): listed with the size of the file
// they stand for, extracted byte for byte as `tar -x` gives them, with holes,
// and a damaged map refused with 25108.
#include "ArcFixtures.h"

#include "archive/ArcLister.h"
#include "archive/UnTar.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <random>
#include <vector>

#include <sys/stat.h>

using namespace arcfix;

namespace {

// Writes a file of size bytes with data pieces (offset, length, fill byte) and holes elsewhere.
bool writeSparse(const QString &path, int64_t size, const std::vector<std::tuple<int64_t, int64_t, char>> &pieces)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const auto &[offset, length, fill] : pieces)
        if (!f.seek(offset) || f.write(QByteArray(length, fill)) != length)
            return false;
    return f.resize(size);
}

// Bytes the file really occupies on disk.
int64_t allocated(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int64_t(st.st_blocks) * 512 : -1;
}

struct Listed {
    QByteArray name;
    uint64_t size = 0;
};

std::vector<Listed> listTar(const QString &archive, int *error)
{
    std::vector<Listed> out;
    TArcLister lister;
    lister.setArchiveFile(archive);
    lister.OnRead = [&out](TArcLister *s, int64_t, int) { out.push_back({s->MemberName, s->UnpackedSize}); };
    *error = lister.activate() ? 0 : lister.lastError();
    return out;
}

class TarSparse : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTool(QStringLiteral("tar")) || !runTool(QStringLiteral("tar"), {QStringLiteral("--version")})
                                                      .contains("GNU tar"))
            GTEST_SKIP() << "GNU tar is missing";
        ASSERT_TRUE(m_tmp.isValid());
        m_src = m_tmp.filePath(QStringLiteral("src"));
        QDir().mkpath(m_src);
        // Data, a hole, data, a trailing hole.
        m_files["holes.bin"] = 3 * kMiB + 4096;
        ASSERT_TRUE(writeSparse(m_src + QStringLiteral("/holes.bin"), m_files["holes.bin"],
                                {{0, 1000, 'A'}, {kMiB, 5000, 'B'}, {3 * kMiB, 10, 'C'}}));
        // Ten pieces: more than the old GNU header holds, so extension blocks follow it.
        std::vector<std::tuple<int64_t, int64_t, char>> many;
        for (int k = 0; k < 10; ++k)
            many.emplace_back(int64_t(k) * 200000, 3000, char('a' + k));
        m_files["many.bin"] = 2300000;
        ASSERT_TRUE(writeSparse(m_src + QStringLiteral("/many.bin"), m_files["many.bin"], many));
        // A plain member beside them.
        m_files["plain.txt"] = 6;
        ASSERT_TRUE(writeAll(m_src + QStringLiteral("/plain.txt"), "plain\n"));
    }

    // The archive GNU tar writes of the three files with the given format options.
    QString makeTar(const QString &name, const QStringList &format)
    {
        const QString archive = m_tmp.filePath(name);
        QStringList args{QStringLiteral("--sparse")};
        args << format << QStringLiteral("-cf") << archive << QStringLiteral("holes.bin") << QStringLiteral("many.bin")
             << QStringLiteral("plain.txt");
        EXPECT_FALSE(runTool(QStringLiteral("tar"), args, m_src).isNull()) << name.toStdString();
        return archive;
    }

    static constexpr int64_t kMiB = 1024 * 1024;
    QTemporaryDir m_tmp;
    QString m_src;
    std::map<QByteArray, int64_t> m_files;
};

TEST_F(TarSparse, EveryFormListsAndExtractsAsTarDoes)
{
    const struct {
        const char *what;
        QStringList format;
    } forms[] = {
        {"gnu", {QStringLiteral("--format=gnu")}},
        {"pax0.0", {QStringLiteral("--format=pax"), QStringLiteral("--sparse-version=0.0")}},
        {"pax0.1", {QStringLiteral("--format=pax"), QStringLiteral("--sparse-version=0.1")}},
        {"pax1.0", {QStringLiteral("--format=pax"), QStringLiteral("--sparse-version=1.0")}},
    };
    for (const auto &form : forms) {
        SCOPED_TRACE(form.what);
        const QString archive = makeTar(QLatin1String(form.what) + QStringLiteral(".tar"), form.format);

        int error = -1;
        const std::vector<Listed> listed = listTar(archive, &error);
        EXPECT_EQ(error, 0);
        ASSERT_EQ(listed.size(), m_files.size());
        for (const Listed &m : listed) {
            ASSERT_TRUE(m_files.count(m.name)) << m.name.constData();
            EXPECT_EQ(m.size, uint64_t(m_files[m.name])) << m.name.constData();
        }

        const QString ours = m_tmp.filePath(QStringLiteral("ours-") + QLatin1String(form.what));
        const QString theirs = m_tmp.filePath(QStringLiteral("tar-") + QLatin1String(form.what));
        QDir().mkpath(ours);
        QDir().mkpath(theirs);
        ASSERT_FALSE(runTool(QStringLiteral("tar"), {QStringLiteral("-xf"), archive, QStringLiteral("-C"), theirs}).isNull());
        TUnTar unit;
        unit.setArchiveFile(archive);
        unit.ExtractDir = ours;
        std::vector<int> warnings;
        unit.OnError = [&warnings](TZipCommon *, const QString &, const QString &, int code) { warnings.push_back(code); };
        EXPECT_TRUE(unit.Extract()) << unit.lastError();
        EXPECT_TRUE(warnings.empty());
        EXPECT_EQ(filesUnder(ours), filesUnder(theirs));
        for (const auto &[name, size] : m_files) {
            const QString mine = ours + QLatin1Char('/') + QString::fromUtf8(name);
            const QByteArray bytes = readAll(mine);
            EXPECT_EQ(bytes.size(), size) << name.constData();
            EXPECT_TRUE(bytes == readAll(theirs + QLatin1Char('/') + QString::fromUtf8(name))) << name.constData();
            // Where tar's copy has holes, ours has them too.
            const QString other = theirs + QLatin1Char('/') + QString::fromUtf8(name);
            if (allocated(other) < size) {
                EXPECT_LT(allocated(mine), size) << name.constData();
            }
        }
    }
}

// A map that does not fit its member: a piece past the file's end, pieces that do not add
// up to the stored bytes, a 1.0 map whose count is not a number.
TEST_F(TarSparse, DamagedMapsAreRefused)
{
    const QByteArray gnu = readAll(makeTar(QStringLiteral("gnu.tar"), {QStringLiteral("--format=gnu")}));
    const QByteArray pax10 = readAll(makeTar(QStringLiteral("pax10.tar"), {QStringLiteral("--format=pax"),
                                                                           QStringLiteral("--sparse-version=1.0")}));
    ASSERT_EQ(gnu[156], 'S');
    // The old header's first piece (offset 386, length at 398) and its real size (483), in octal.
    auto withField = [](QByteArray tar, int at, const QByteArray &octal) {
        tar.replace(at, 11, octal.rightJustified(11, '0'));
        tar.replace(148, 8, "        ");
        unsigned sum = 0;
        for (int i = 0; i < 512; ++i)
            sum += uint8_t(tar[i]);
        tar.replace(148, 7, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0');
        return tar;
    };
    const qsizetype mapAt = pax10.indexOf("GNUSparseFile");
    ASSERT_GT(mapAt, 0);
    const qsizetype dataAt = (mapAt / 512 + 1) * 512;
    ASSERT_TRUE(pax10[dataAt] >= '1' && pax10[dataAt] <= '9'); // the count of pieces
    QByteArray badCount = pax10;
    badCount[dataAt] = 'x';

    const struct {
        const char *what;
        QByteArray tar;
    } cases[] = {
        {"real size below a piece", withField(gnu, 483, "1000")},
        {"piece longer than stored", withField(gnu, 398, "77777")},
        {"1.0 count not a number", badCount},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = m_tmp.filePath(QStringLiteral("bad.tar"));
        ASSERT_TRUE(writeAll(path, c.tar));
        int error = 0;
        listTar(path, &error);
        EXPECT_EQ(error, 25108);
        const QString out = m_tmp.filePath(QStringLiteral("bad-out"));
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        TUnTar unit;
        unit.setArchiveFile(path);
        unit.ExtractDir = out;
        EXPECT_FALSE(unit.Extract());
        EXPECT_EQ(unit.lastError(), 25108);
        EXPECT_FALSE(filesUnder(out).contains(QStringLiteral("holes.bin")));
    }
}

} // namespace

namespace {

// Every prefix and seeded byte flips of the sparse seeds: each listing and extraction ends
// (in success or one of the kit's errors) and writes nothing outside its folder.
TEST(TarSparseDamage, PrefixesAndFlipsEndCleanly)
{
    const QDir seeds(QStringLiteral(QUILLON_ARC_SEEDS));
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    std::mt19937 random(2027);
    int runs = 0;
    for (const QString &name : seeds.entryList({QStringLiteral("sparse-*.tar")}, QDir::Files, QDir::Name)) {
        const QByteArray original = readAll(seeds.filePath(name));
        ASSERT_FALSE(original.isEmpty());
        std::vector<QByteArray> inputs;
        for (qsizetype cut = 0; cut < original.size(); cut += 97)
            inputs.push_back(original.left(cut));
        for (int round = 0; round < 150; ++round) {
            QByteArray data = original;
            // Flips in the headers and the 1.0 map, where the parsing is.
            for (int i = 0, n = 1 + int(random() % 6); i < n; ++i)
                data[qsizetype(random() % 3072)] = char(random());
            inputs.push_back(data);
        }
        for (const QByteArray &data : inputs) {
            TArcLister lister;
            lister.setArchiveData(data, QStringLiteral("seed.tar"));
            uint64_t total = 0;
            lister.OnRead = [&total](TArcLister *s, int64_t, int) { total += s->UnpackedSize; };
            lister.activate();
            const QString out = tmp.filePath(QStringLiteral("out"));
            QDir(out).removeRecursively();
            QDir().mkpath(out);
            TUnTar unit;
            unit.setArchiveData(data, QStringLiteral("seed.tar"));
            unit.ExtractDir = out;
            unit.UseStoredDirs = true;
            unit.Extract();
            ++runs;
        }
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{QStringLiteral("out")});
    }
    EXPECT_GT(runs, 600);
}

} // namespace
