// Replays the archive fuzz targets' properties over their committed seeds,
// hand-made hostile archives and seeded mutations of both, so that they run
// in every build, with or without clang: a listing reports UTF-8 names whose
// output paths stay inside their folder and totals that add up; an
// extraction writes nothing outside its folder and no file larger than the
// listing declares.
#include "ArcFixtures.h"

#include "../../fuzz/ArchiveProperties.h"
#include "Mutate.h"

#include <gtest/gtest.h>

#include <QDir>

#include <random>
#include <utility>
#include <vector>

using namespace arcfix;

namespace {

std::vector<std::pair<QString, QByteArray>> committedSeeds()
{
    std::vector<std::pair<QString, QByteArray>> out;
    const QDir dir(QStringLiteral(QUILLON_ARC_SEEDS));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        out.emplace_back(name, readAll(dir.filePath(name)));
    return out;
}

// A stored ZIP of the given names, each holding "data": the shape of an
// archive that tries to write where it should not.
QByteArray storedZip(const std::vector<QByteArray> &names)
{
    std::vector<ZipMember> members;
    for (const QByteArray &name : names)
        members.push_back({.name = name, .data = "data", .dos = 0x00210000}); // 1980-01-01 00:00:00
    return zipOf(members);
}

// Archives whose member names try to leave the extraction folder.
std::vector<std::pair<QString, QByteArray>> hostileArchives()
{
    return {
        {QStringLiteral("zip-dot-dot"), storedZip({"../escaped.txt", "a/../../escaped2.txt", "ok.txt"})},
        {QStringLiteral("zip-absolute"), storedZip({"/tmp/quillon-absolute.txt", "\\\\server\\x.txt", "C:\\x.txt"})},
        {QStringLiteral("tar-dot-dot"), tarEntry("../../escaped.txt", '0', "data") + tarEntry("ok.txt", '0', "d") +
                                            QByteArray(1024, '\0')},
        {QStringLiteral("tar-links"), tarEntry("link", '2', {}, "/etc/passwd") + tarEntry("hard", '1', {}, "../x") +
                                          QByteArray(1024, '\0')},
        {QStringLiteral("gzip-name-up"), gzipOf("data", "../escaped.txt")},
    };
}

std::vector<std::pair<QString, QByteArray>> allInputs()
{
    std::vector<std::pair<QString, QByteArray>> inputs = committedSeeds();
    for (auto &hostile : hostileArchives())
        inputs.push_back(std::move(hostile));
    return inputs;
}

TEST(ArcFuzzReplay, SeedsAndHostileArchivesHoldTheProperties)
{
    const auto inputs = allInputs();
    ASSERT_GE(inputs.size(), 13u);
    for (const auto &[name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_EQ(ListingFinding(bytes), QString());
        EXPECT_EQ(ExtractionFinding(bytes), QString());
    }
}

TEST(ArcFuzzReplay, MutationsHoldTheProperties)
{
    std::mt19937 rng(20240613);
    for (const auto &[name, bytes] : allInputs()) {
        for (int round = 0; round < 12; ++round) {
            const QByteArray mutated = MutateSeed(bytes, rng);
            SCOPED_TRACE(name.toStdString() + " round " + std::to_string(round));
            EXPECT_EQ(ListingFinding(mutated), QString());
            EXPECT_EQ(ExtractionFinding(mutated), QString());
        }
    }
}

} // namespace
