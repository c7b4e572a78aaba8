// Replays the catalog reader's fuzz entry over the committed seed catalogs,
// the generated ones and seeded mutations of both, so that the entry (and
// what it reaches) runs in every build, with or without clang. Every input
// that opens and reads completely must also save as it reads: its saved copy
// reads as the same items, and saving that copy gives the same bytes.
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "../../fuzz/SeedCatalogs.h"
#include "Mutate.h"
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

class FuzzReplayTest : public CatalogFixture
{
protected:
    // The property every input must keep: when it opens and reads completely,
    // the saved copy reads as the same items, and saving that copy gives the
    // same bytes again. Returns whether it opened and read completely.
    bool savesAndReopensTheSame(const QByteArray &bytes)
    {
        TTreeNode *c = nullptr;
        const QString file = path(QStringLiteral("input%1.ctf").arg(++m_files));
        EXPECT_TRUE(WriteFileBytes(file, bytes));
        try {
            c = ReadCatalog(m_forest, file);
            LoadEverything(c);
        } catch (const EStreamError &) {
            // Refused, or a damaged folder level: no complete catalog to compare.
            if (c)
                closeCatalog(c);
            return false;
        }
        const std::string items = DumpCatalog(c, 0).toStdString();
        const QByteArray saved = save(c, path(QStringLiteral("saved%1.ctf").arg(m_files)));
        closeCatalog(c);
        EXPECT_FALSE(saved.isEmpty());

        TTreeNode *again = nullptr;
        try {
            again = open(path(QStringLiteral("saved%1.ctf").arg(m_files)));
            EXPECT_EQ(DumpCatalog(again, DumpLoad).toStdString(), items) << "the saved copy reads as other items";
        } catch (const EStreamError &e) {
            ADD_FAILURE() << "the saved copy does not open: " << e.message().toStdString();
            return true;
        }
        const QByteArray resaved = save(again, path(QStringLiteral("resaved%1.ctf").arg(m_files)));
        closeCatalog(again);
        EXPECT_TRUE(resaved == saved) << "saving the reopened copy gives other bytes";
        return true;
    }

    int m_files = 0;
};

TEST_F(FuzzReplayTest, CommittedSeedsAreSmallValidCatalogs)
{
    const auto seeds = committedSeeds();
    ASSERT_GE(seeds.size(), 4u) << "no seed catalogs in " << seedFolder().toStdString();
    for (const auto &[name, bytes] : seeds) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_LE(bytes.size(), 8 * 1024);
        EXPECT_TRUE(savesAndReopensTheSame(bytes));
        EXPECT_TRUE(m_prompter.messages.empty());
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
        EXPECT_TRUE(savesAndReopensTheSame(bytes));
        EXPECT_TRUE(m_prompter.messages.empty());
        runEntry(bytes);
    }
    EXPECT_TRUE(wide) << "one seed uses the wide layout";
}

TEST_F(FuzzReplayTest, MutatedSeedsRunThroughTheEntryAndSaveAsTheyRead)
{
    auto seeds = committedSeeds();
    for (auto &s : BuildSeedCatalogs())
        seeds.push_back(std::move(s));
    std::mt19937 rng{20240601u};
    int complete = 0;
    for (const auto &[name, bytes] : seeds) {
        SCOPED_TRACE(name.toStdString());
        for (int i = 0; i < 150; ++i) {
            const QByteArray mutated = MutateSeed(bytes, rng);
            runEntry(mutated);
            if (savesAndReopensTheSame(mutated))
                ++complete;
        }
    }
    // Most mutations land in names, texts and values, which read fine: the
    // property was checked on many damaged inputs, not only on the seeds.
    EXPECT_GT(complete, 100);
    runEntry(QByteArray());
    runEntry(QByteArray("Catalog 1.00\0", 13));
    runEntry(QByteArray("Catalog 2.00\0", 13));
}

} // namespace
