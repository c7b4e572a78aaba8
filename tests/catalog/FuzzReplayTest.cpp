// Replays the catalog reader's fuzz entry over the committed seed catalogs,
// the generated ones and seeded mutations of both, so that the entry (and
// what it reaches) runs in every build, with or without clang.
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "../../fuzz/SeedCatalogs.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

using namespace testcat;

namespace {

QString seedFolder()
{
    return QStringLiteral(QUILLON_SEED_DIR);
}

std::vector<std::pair<QString, QByteArray>> committedSeeds()
{
    std::vector<std::pair<QString, QByteArray>> out;
    const QDir dir(seedFolder());
    for (const QString &name : dir.entryList({QStringLiteral("*.ctf")}, QDir::Files, QDir::Name))
        out.emplace_back(name, ReadFileBytes(dir.filePath(name)));
    return out;
}

void runEntry(const QByteArray &bytes)
{
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
}

// Flips, cuts, duplicates or inserts bytes, as the fuzzer's first mutations would.
QByteArray mutate(const QByteArray &seed, std::mt19937 &rng)
{
    QByteArray b = seed;
    const int steps = 1 + int(rng() % 4);
    for (int i = 0; i < steps && !b.isEmpty(); ++i) {
        const qsizetype at = qsizetype(rng() % uint32_t(b.size()));
        switch (rng() % 4) {
        case 0:
            b[at] = char(uint8_t(b[at]) ^ uint8_t(1 + rng() % 255));
            break;
        case 1:
            b.truncate(at);
            break;
        case 2:
            b.insert(at, b.mid(at, qsizetype(rng() % 16)));
            break;
        default:
            b[at] = char(rng() % 2 ? 0xFF : 0x00);
            break;
        }
    }
    return b;
}

class FuzzReplayTest : public CatalogFixture
{
};

TEST_F(FuzzReplayTest, CommittedSeedsAreSmallValidCatalogs)
{
    const auto seeds = committedSeeds();
    ASSERT_GE(seeds.size(), 4u) << "no seed catalogs in " << seedFolder().toStdString();
    for (const auto &[name, bytes] : seeds) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_LE(bytes.size(), 8 * 1024);
        TTreeNode *c = openBytes(bytes, name);
        LoadEverything(c);
        EXPECT_TRUE(m_prompter.messages.empty());
        closeCatalog(c);
        runEntry(bytes);
    }
}

TEST_F(FuzzReplayTest, GeneratedSeedsAreSmallValidCatalogs)
{
    const auto seeds = BuildSeedCatalogs();
    ASSERT_GE(seeds.size(), 4u);
    bool wide = false;
    for (const auto &[name, bytes] : seeds) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_LE(bytes.size(), 8 * 1024);
        wide = wide || bytes.startsWith(QByteArray("Catalog 2.00\0", 13));
        TTreeNode *c = openBytes(bytes, name);
        LoadEverything(c);
        EXPECT_TRUE(m_prompter.messages.empty());
        closeCatalog(c);
        runEntry(bytes);
    }
    EXPECT_TRUE(wide) << "one seed uses the wide layout";
}

TEST_F(FuzzReplayTest, MutatedSeedsRunThroughTheEntry)
{
    auto seeds = committedSeeds();
    for (auto &s : BuildSeedCatalogs())
        seeds.push_back(std::move(s));
    std::mt19937 rng{20240601u};
    for (const auto &[name, bytes] : seeds) {
        SCOPED_TRACE(name.toStdString());
        for (int i = 0; i < 150; ++i)
            runEntry(mutate(bytes, rng));
    }
    runEntry(QByteArray());
    runEntry(QByteArray("Catalog 1.00\0", 13));
    runEntry(QByteArray("Catalog 2.00\0", 13));
}

} // namespace
