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

void put16(QByteArray &b, uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

void put32(QByteArray &b, uint32_t v)
{
    put16(b, uint16_t(v & 0xFFFF));
    put16(b, uint16_t(v >> 16));
}

// A stored ZIP of the given names, each holding "data": the shape of an
// archive that tries to write where it should not.
QByteArray storedZip(const std::vector<QByteArray> &names)
{
    const QByteArray data("data");
    const uint32_t crc = 0xADF3F363; // CRC-32 of "data"
    QByteArray out, central;
    for (const QByteArray &name : names) {
        const uint32_t at = uint32_t(out.size());
        put32(out, 0x04034B50);
        for (uint16_t v : {uint16_t(10), uint16_t(0), uint16_t(0), uint16_t(0), uint16_t(0x21)})
            put16(out, v);
        put32(out, crc);
        put32(out, uint32_t(data.size()));
        put32(out, uint32_t(data.size()));
        put16(out, uint16_t(name.size()));
        put16(out, 0);
        out += name + data;
        put32(central, 0x02014B50);
        for (uint16_t v : {uint16_t(20), uint16_t(10), uint16_t(0), uint16_t(0), uint16_t(0), uint16_t(0x21)})
            put16(central, v);
        put32(central, crc);
        put32(central, uint32_t(data.size()));
        put32(central, uint32_t(data.size()));
        for (uint16_t v : {uint16_t(name.size()), uint16_t(0), uint16_t(0), uint16_t(0), uint16_t(0)})
            put16(central, v);
        put32(central, 0x20);
        put32(central, at);
        central += name;
    }
    const uint32_t cdAt = uint32_t(out.size());
    out += central;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, uint16_t(names.size()));
    put16(out, uint16_t(names.size()));
    put32(out, uint32_t(central.size()));
    put32(out, cdAt);
    put16(out, 0);
    return out;
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
