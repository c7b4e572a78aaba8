// Tests of the LHA reader and of the LZ77 static-Huffman decoder it shares
// with ARJ and ZOO: every corpus archive listed and extracted against its
// manifest, real -lh4- to -lh7- members decoded to their stored CRC-16,
// hand-made bit streams for every error path, hand-made hostile headers, and
// damaged input that must end in a status or a code without a hang.
#include "archive/ArcLister.h"
#include "archive/UnLHA.h"
#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"
#include "archive/decoders/LhaDecoders.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"

#include "ArcFixtures.h"
#include "Corpus.h"
#include "MemoryCodec.h"
#include "Mutate.h"
#include "ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>
#include <optional>
#include <set>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using testcodec::TBitWriterMsb;
using testcodec::TMemoryInput;
using testcodec::TMemoryOutput;

Bytes ReadCorpus(const std::string &name)
{
    std::ifstream f(testcorpus::ArchivePath("lha", name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t Le16(const Bytes &b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Le32(const Bytes &b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

// One member's raw data as a test-only walk of the headers finds it.
struct TRawMember
{
    std::string method;   // "-lh5-"
    size_t dataStart = 0;
    uint64_t packed = 0;
    uint64_t unpacked = 0;
    uint16_t crc = 0;
};

// Walks header levels 0 and 1 (size byte, extended headers counted in the
// packed size) and 2 (16-bit total header size); stops at anything else.
std::vector<TRawMember> WalkLha(const Bytes &b)
{
    std::vector<TRawMember> members;
    size_t pos = 0;
    while (pos + 24 <= b.size() && b[pos] != 0) {
        TRawMember m;
        m.method.assign(reinterpret_cast<const char *>(&b[pos + 2]), 5);
        m.packed = Le32(b, pos + 7);
        m.unpacked = Le32(b, pos + 11);
        const int level = b[pos + 20];
        if (level == 2) {
            m.crc = static_cast<uint16_t>(Le16(b, pos + 21));
            m.dataStart = pos + Le16(b, pos);
        } else if (level <= 1) {
            const size_t size = b[pos] + 2u;
            m.crc = static_cast<uint16_t>(Le16(b, pos + 22 + b[pos + 21]));
            m.dataStart = pos + size;
            for (size_t ext = level == 1 ? Le16(b, pos + size - 2) : 0; ext != 0;) {
                if (m.dataStart + ext > b.size() || ext < 3 || m.packed < ext)
                    return members;
                m.dataStart += ext;
                m.packed -= ext;
                ext = Le16(b, m.dataStart - 2);
            }
        } else {
            break;
        }
        if (m.dataStart + m.packed > b.size())
            break;
        members.push_back(m);
        pos = m.dataStart + m.packed;
    }
    return members;
}

struct TDecoded
{
    DecodeStatus status;
    Bytes out;
    size_t inputGiven;
};

TDecoded DecodeLzh(const uint8_t *data, size_t available, uint64_t packed, uint64_t unpacked, int dictBits,
                   size_t piece = 0, int refuseAfter = -1)
{
    DecodeParams p;
    p.packedSize = packed;
    p.unpackedSize = unpacked;
    p.dictBits = dictBits;
    TMemoryInput in(data, available, piece);
    TMemoryOutput out(refuseAfter);
    const DecodeStatus st = DecodeLzhStatic(in, out, p);
    return {st, std::move(out.bytes), in.given()};
}

int DictBitsOf(const std::string &method)
{
    return method == "-lh4-" ? 12 : method == "-lh5-" ? 13 : method == "-lh6-" ? 15 : method == "-lh7-" ? 16 : 0;
}

// Corpus files and the method whose every member there is decoded; at least
// `members` of them.
struct TLzhCase
{
    const char *file;
    const char *method;
    int members;
};

const TLzhCase kLzhCases[] = {
    {"lhasa_lha_amiga_122_lh4.lzh", "-lh4-", 1},
    {"lhasa_lha_amiga_122_lh4_long.lzh", "-lh4-", 1},
    {"cc_test-amiga-l0-lh4.lha", "-lh4-", 1},
    {"jlha_lh5_h0.lzh", "-lh5-", 2},
    {"lhasa_lha213_lh5_long.lzh", "-lh5-", 1},
    {"lhasa_lha_osk_201_h1_lh5.lzh", "-lh5-", 1},
    {"jlha_lh6_h1.lzh", "-lh6-", 1},
    {"la_lha_lh6.lzh", "-lh6-", 1},
    {"lhasa_lha_unix114i_lh6_long.lzh", "-lh6-", 1},
    {"jlha_lh7_h2.lzh", "-lh7-", 1},
    {"la_lha_lh7.lzh", "-lh7-", 1},
    {"lhasa_lha_unix114i_h1_lh7.lzh", "-lh7-", 1},
};

class LzhCorpus : public ::testing::TestWithParam<TLzhCase>
{
};

TEST_P(LzhCorpus, MembersDecodeToTheirCrc)
{
    QUILLON_NEED_CORPUS();
    const TLzhCase &c = GetParam();
    const Bytes archive = ReadCorpus(c.file);
    int decoded = 0;
    for (const TRawMember &m : WalkLha(archive)) {
        if (m.method != c.method)
            continue;
        // Input in odd pieces, so refills meet buffer ends everywhere.
        const TDecoded r = DecodeLzh(archive.data() + m.dataStart, archive.size() - m.dataStart, m.packed,
                                     m.unpacked, DictBitsOf(m.method), 777);
        ASSERT_EQ(r.status, DecodeStatus::Ok) << c.file << " member " << decoded;
        ASSERT_EQ(r.out.size(), m.unpacked);
        EXPECT_EQ(Crc16ArcUpdate(0, r.out.data(), r.out.size()), m.crc) << c.file << " member " << decoded;
        EXPECT_LE(r.inputGiven, m.packed);
        ++decoded;
    }
    EXPECT_GE(decoded, c.members) << c.file;
}

INSTANTIATE_TEST_SUITE_P(Lzh, LzhCorpus, ::testing::ValuesIn(kLzhCases));

// Hand-made blocks. A tree with count 0 is one symbol coded in no bits, so
// a stream of such trees is short and exact.
struct TBlock
{
    uint32_t codes;
    int litSymbol;   // the one literal/length symbol
    int posSymbol;   // the one position symbol
};

// trailing: extra bits after the blocks (a position's low bits), as (value, count).
Bytes SingleSymbolStream(const std::vector<TBlock> &blocks, int pBits = 4, std::pair<uint32_t, int> trailing = {})
{
    TBitWriterMsb w;
    for (const TBlock &b : blocks) {
        w.put(b.codes, 16);
        w.put(0, 5);               // temp tree: one symbol,
        w.put(0, 5);               // symbol 0
        w.put(0, 9);               // literal/length tree: one symbol,
        w.put(uint32_t(b.litSymbol), 9);
        w.put(0, pBits);           // position tree: one symbol
        w.put(uint32_t(b.posSymbol), pBits);
    }
    w.put(trailing.first, trailing.second);
    return w.bytes;
}

TEST(LzhStatic, SingleSymbolTreesDecodeWithoutBits)
{
    // 5 literals "A", then matches of 3 bytes at distance 1 (position symbol 0).
    const Bytes s = SingleSymbolStream({{5, 'A', 0}, {2, 256, 0}});
    const TDecoded r = DecodeLzh(s.data(), s.size(), s.size(), 11, 13);
    EXPECT_EQ(r.status, DecodeStatus::Ok);
    EXPECT_EQ(r.out, Bytes(11, 'A'));   // the second match is cut at the declared size
}

// Streams that must be refused, and how.
struct THostileCase
{
    const char *what;
    Bytes stream;
    uint64_t unpacked;
    int dictBits;
    DecodeStatus expect;
};

Bytes Bits(std::initializer_list<std::pair<uint32_t, int>> fields)
{
    TBitWriterMsb w;
    for (const auto &[value, n] : fields)
        w.put(value, n);
    return w.bytes;
}

std::vector<THostileCase> HostileCases()
{
    return {
        {"zero-length block", SingleSymbolStream({{0, 'A', 0}}), 4, 13, DecodeStatus::DataError},
        {"match before the first byte", SingleSymbolStream({{1, 256, 0}}), 3, 13, DecodeStatus::DataError},
        {"distance past the bytes made", SingleSymbolStream({{2, 'A', 0}, {1, 256, 2}}, 4, {0, 1}), 6, 13,
         DecodeStatus::DataError},
        {"input ends before the size", SingleSymbolStream({{5, 'A', 0}}), 6, 13, DecodeStatus::Truncated},
        {"single temp symbol out of range", Bits({{1, 16}, {0, 5}, {19, 5}}), 1, 13, DecodeStatus::DataError},
        {"single literal symbol out of range", Bits({{1, 16}, {0, 5}, {0, 5}, {0, 9}, {510, 9}}), 1, 13,
         DecodeStatus::DataError},
        {"single position symbol out of range", SingleSymbolStream({{1, 'A', 14}}), 1, 13, DecodeStatus::DataError},
        {"temp count past 19", Bits({{1, 16}, {20, 5}}), 1, 13, DecodeStatus::DataError},
        {"literal count past 510", Bits({{1, 16}, {0, 5}, {0, 5}, {511, 9}}), 1, 13, DecodeStatus::DataError},
        {"position count past 17", Bits({{1, 16}, {0, 5}, {0, 5}, {0, 9}, {'A', 9}, {18, 5}}), 1, 16,
         DecodeStatus::DataError},
        // Three temp lengths of 1: more codes than a binary tree holds.
        {"over-full tree", Bits({{1, 16}, {3, 5}, {1, 3}, {1, 3}, {1, 3}, {0, 2}}), 1, 13, DecodeStatus::DataError},
        // A temp length of 7 + 10 ones = 17 bits: no code is that long.
        {"code length past 16", Bits({{1, 16}, {1, 5}, {7, 3}, {0x3FF, 10}, {0, 1}}), 1, 13,
         DecodeStatus::DataError},
        // Temp tree {0: 1 bit, 1: 1 bit}; literal lengths: symbol 1 (3 + 15 zeros) twice past a count of 20.
        {"zero run past the literal count",
         Bits({{1, 16}, {2, 5}, {1, 3}, {1, 3}, {0, 2}, {20, 9}, {1, 1}, {15, 4}, {1, 1}, {15, 4}}), 1, 13,
         DecodeStatus::DataError},
        // Literal tree {0: 1 bit} only: the code 1 does not exist.
        {"code missing from an incomplete tree",
         Bits({{1, 16}, {0, 5}, {3, 5}, {1, 9}, {0, 4}, {0, 4}, {1, 1}}), 1, 13, DecodeStatus::DataError},
        {"dictionary bits below 12", SingleSymbolStream({{1, 'A', 0}}), 1, 11, DecodeStatus::Unsupported},
        {"dictionary bits above 16", SingleSymbolStream({{1, 'A', 0}}), 1, 17, DecodeStatus::Unsupported},
    };
}

TEST(LzhStatic, HostileStreamsAreRefused)
{
    for (const THostileCase &c : HostileCases()) {
        const TDecoded r = DecodeLzh(c.stream.data(), c.stream.size(), c.stream.size(), c.unpacked, c.dictBits);
        EXPECT_EQ(r.status, c.expect) << c.what;
        EXPECT_LE(r.out.size(), c.unpacked) << c.what;
    }
}

TEST(LzhStatic, NeverReadsPastThePackedSize)
{
    const Bytes s = SingleSymbolStream({{5, 'A', 0}});
    Bytes padded = s;
    padded.resize(s.size() + 4096, 0x55);
    const TDecoded r = DecodeLzh(padded.data(), padded.size(), s.size(), 6, 13);
    EXPECT_EQ(r.status, DecodeStatus::Truncated);
    EXPECT_EQ(r.inputGiven, s.size());
}

TEST(LzhStatic, RefusedWriteIsAnOutputError)
{
    // 70,000 bytes fill the 64 KiB window once: the first write is refused.
    const Bytes s = SingleSymbolStream({{60000, 'A', 0}, {10000, 'B', 0}});
    const TDecoded r = DecodeLzh(s.data(), s.size(), s.size(), 70000, 16, 0, 0);
    EXPECT_EQ(r.status, DecodeStatus::OutputError);
}

TEST(LzhStatic, MatchAcrossTheWindowEnd)
{
    // "abc", 65,433 "x" (65,436 bytes), then a 256-byte match at distance
    // 65,436 (position symbol 16, 15 extra bits) that runs over the end of
    // the 64 KiB window and so repeats "abcxxx..." across it.
    TBitWriterMsb w;
    auto block = [&w](uint32_t codes, uint32_t lit, uint32_t pos) {
        w.put(codes, 16), w.put(0, 5), w.put(0, 5), w.put(0, 9), w.put(lit, 9), w.put(0, 5), w.put(pos, 5);
    };
    block(1, 'a', 0), block(1, 'b', 0), block(1, 'c', 0), block(65433, 'x', 0);
    block(1, 509, 16);
    w.put(65436 - 1 - 32768, 15);
    Bytes expect = {'a', 'b', 'c'};
    expect.resize(65436, 'x');
    for (int k = 0; k < 256; ++k)
        expect.push_back(expect[expect.size() - 65436]);
    const TDecoded r = DecodeLzh(w.bytes.data(), w.bytes.size(), w.bytes.size(), expect.size(), 16);
    ASSERT_EQ(r.status, DecodeStatus::Ok);
    EXPECT_EQ(r.out, expect);
}

// Every prefix and seeded byte flips of real members of each method with a
// decoder: a status, never a hang, never more than the declared size.
TEST(LhaDecoders, DamagedMembersEndWithAStatus)
{
    QUILLON_NEED_CORPUS();
    for (const auto &[file, method] : {std::pair{"jlha_lh5_h0.lzh", "-lh5-"}, {"lhasa_lharc113_lh1.lzh", "-lh1-"},
                                       {"lhasa_lharc_atari_313a_lz5.lzh", "-lz5-"}}) {
        SCOPED_TRACE(file);
        const Bytes archive = ReadCorpus(file);
        const std::vector<TRawMember> members = WalkLha(archive);
        ASSERT_FALSE(members.empty());
        const TRawMember &m = members.front();
        ASSERT_EQ(m.method, method);
        const TLhaMethod *decoder = FindLhaMethod(method);
        ASSERT_NE(decoder, nullptr);
        auto run = [&](const Bytes &b, size_t available) {
            DecodeParams p;
            p.packedSize = b.size();
            p.unpackedSize = m.unpacked;
            p.dictBits = decoder->dictBits;
            TMemoryInput in(b.data(), available);
            TMemoryOutput out;
            const DecodeStatus st = decoder->decode(in, out, p);
            EXPECT_LE(out.bytes.size(), m.unpacked);
            return st;
        };
        const Bytes packed(archive.begin() + long(m.dataStart), archive.begin() + long(m.dataStart + m.packed));
        // Cuts: at most 600 of them, spread over the member.
        for (size_t cut = 0; cut < packed.size(); cut += 1 + packed.size() / 600)
            EXPECT_NE(run(packed, cut), DecodeStatus::Ok) << "cut at " << cut;
        std::mt19937 rng(1414);
        for (int round = 0; round < 400; ++round) {
            Bytes b = packed;
            for (int k = 0; k < 1 + int(rng() % 3); ++k)
                b[rng() % b.size()] ^= uint8_t(1 + rng() % 255);
            run(b, b.size());
        }
    }
}

TEST(LhaDecoders, LArcRings)
{
    // -lzs-: literals "a" "b" at ring position 2031, then 3 bytes from 2031 (the copy reads
    // what it writes) and 2 from position 0 (the ring's first spaces).
    TBitWriterMsb w;
    w.put(1, 1), w.put('a', 8), w.put(1, 1), w.put('b', 8);
    w.put(0, 1), w.put(2031, 11), w.put(1, 4);
    w.put(0, 1), w.put(0, 11), w.put(0, 4);
    DecodeParams p;
    p.packedSize = w.bytes.size();
    p.unpackedSize = 7;
    TMemoryInput in(w.bytes.data(), w.bytes.size());
    TMemoryOutput out;
    EXPECT_EQ(DecodeLzs(in, out, p), DecodeStatus::Ok);
    EXPECT_EQ(std::string(out.bytes.begin(), out.bytes.end()), "ababa  ");

    // -lz5-: one flag byte of copies: 3 bytes from position 0 (zeros), 18 from 845 (the 13 "A"s
    // then "B"s of the prefilled ring).
    const Bytes lz5 = {0x00, 0x00, 0x00, 0x4D, 0x3F};
    TMemoryInput in5(lz5.data(), lz5.size());
    TMemoryOutput out5;
    p.packedSize = lz5.size();
    p.unpackedSize = 21;
    EXPECT_EQ(DecodeLz5(in5, out5, p), DecodeStatus::Ok);
    EXPECT_EQ(std::string(out5.bytes.begin(), out5.bytes.end()), std::string(3, '\0') + std::string(13, 'A') + "BBBBB");
    p.unpackedSize = 22;
    TMemoryInput cut(lz5.data(), lz5.size());
    TMemoryOutput outCut;
    EXPECT_EQ(DecodeLz5(cut, outCut, p), DecodeStatus::Truncated);
}

// ---------------------------------------------------------------------------
// The reader against the corpus manifests.

// One member as the reference tool listed it: 7-Zip where it ran, else lsar
// (7-Zip does not read the LArc files). Names are compared under our rule:
// where the tool decoded bytes in another code page (the cp932 archive), the
// manifest's raw name bytes are decoded as code page 437 instead.
struct TRefMember
{
    QByteArray name;   // "\" separators, a folder ending in "\"
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    QString mtime;     // "YYYY-MM-DD HH:MM:SS"
};

// A consensus entry whose bytes are proven by a listed CRC-16, or (where the
// stored CRC is 0 and no tool lists it) by every tool agreeing; the latter
// are matched by name.
struct TVerified
{
    uint64_t size;
    std::optional<uint32_t> crc16;
    QByteArray sha256;
    QStringList names;   // lower case, "\\" separators
};

struct TManifest
{
    QString expect;
    std::vector<TRefMember> members;
    std::vector<TVerified> verified;
};

TManifest LoadManifest(const QString &archive)
{
    TManifest m;
    QFile f(archive + QStringLiteral(".manifest.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return m;
    std::vector<QJsonObject> sevenZip, lsar;
    std::vector<QByteArray> rawNames;
    bool sevenZipOther = false;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString kind = o.value(QStringLiteral("kind")).toString();
        const QString tool = o.value(QStringLiteral("tool")).toString();
        if (kind == QStringLiteral("archive"))
            m.expect = o.value(QStringLiteral("expect")).toString();
        if (kind == QStringLiteral("archive_info") && tool == QStringLiteral("7z") &&
            o.value(QStringLiteral("type")).toString().compare(QStringLiteral("lzh"), Qt::CaseInsensitive) != 0)
            sevenZipOther = true;   // 7-Zip read the file as something else (the gzip inside a stored member)
        if (kind == QStringLiteral("member") && tool == QStringLiteral("7z"))
            sevenZip.push_back(o);
        if (kind == QStringLiteral("member") && tool == QStringLiteral("lsar"))
            lsar.push_back(o);
        if (kind != QStringLiteral("consensus"))
            continue;
        if (o.contains(QStringLiteral("path_bytes_hex")))
            rawNames.push_back(QByteArray::fromHex(o.value(QStringLiteral("path_bytes_hex")).toString().toLatin1()));
        const QJsonArray crcs = o.value(QStringLiteral("listed_crc")).toObject().value(QStringLiteral("crc16")).toArray();
        const QString basis = o.value(QStringLiteral("basis")).toString();
        TVerified v{uint64_t(o.value(QStringLiteral("size")).toInteger()), std::nullopt,
                    o.value(QStringLiteral("sha256")).toString().toLatin1(), {}};
        for (const QJsonValue &name : o.value(QStringLiteral("name_variants")).toArray())
            v.names << name.toString().toLower().replace(QLatin1Char('/'), QLatin1Char('\\'));
        v.names << o.value(QStringLiteral("path")).toString().toLower().replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (basis == QStringLiteral("crc-verified") && !crcs.isEmpty()) {
            v.crc16 = crcs[0].toString().toUInt(nullptr, 16);
            m.verified.push_back(v);
        } else if (basis == QStringLiteral("majority-of-clean-runs (no CRC listed)") &&
                   o.value(QStringLiteral("disagree")).isUndefined() && !v.sha256.isEmpty()) {
            m.verified.push_back(v);
        }
    }
    size_t raw = 0;
    for (const QJsonObject &o : sevenZip.empty() || sevenZipOther ? lsar : sevenZip) {
        TRefMember r;
        QString path = o.value(QStringLiteral("path")).toString();
        if (!path.isEmpty() && (path.contains(QChar(0xFFFD)) || !QByteArrayView(path.toUtf8()).isValidUtf8() ||
                                !AsciiOnly(path.toUtf8())) && raw < rawNames.size())
            path = QString::fromUtf8(DosBytesToUtf8(rawNames[raw++]));
        r.name = path.toUtf8().replace('/', '\\');
        if (o.value(QStringLiteral("is_dir")).toBool())
            r.name += '\\';
        r.size = uint64_t(o.value(QStringLiteral("size")).toInteger());
        r.packed = uint64_t(o.value(QStringLiteral("packed")).toInteger());
        const QString crc = o.contains(QStringLiteral("crc16")) ? o.value(QStringLiteral("crc16")).toString()
                                                                 : o.value(QStringLiteral("crc32")).toString();
        r.crc = crc.toUInt(nullptr, 16);
        r.mtime = o.value(QStringLiteral("mtime")).toString().left(19);
        m.members.push_back(r);
    }
    return m;
}

struct TListed
{
    QByteArray name;
    uint64_t size, packed;
    uint32_t crc;
    uint32_t dos;
    int method;
};

std::vector<TListed> ListArchive(const QString &path, int *error = nullptr)
{
    std::vector<TListed> out;
    TArcLister lister;
    lister.setArchiveFile(path);
    lister.OnRead = [&out](TArcLister *s, int64_t, int) {
        out.push_back({s->MemberName, s->UnpackedSize, s->PackedSize, s->MemberCRC, s->MemberDosDate, s->MethodCode});
    };
    const bool ok = lister.activate();
    if (error)
        *error = ok ? 0 : lister.lastError();
    return out;
}

std::vector<QString> CorpusArchives()
{
    std::vector<QString> files;
    const QDir dir(testcorpus::ArchiveDir("lha"));
    for (const QString &name : dir.entryList({QStringLiteral("*.manifest.jsonl")}, QDir::Files, QDir::Name))
        files.push_back(dir.filePath(name.chopped(int(sizeof ".manifest.jsonl") - 1)));
    return files;
}

// Seconds between a DOS time and a manifest time; DOS keeps even seconds,
// and times before 1980 become 1980-01-01 0:00.
int64_t SecondsApart(uint32_t dos, const QString &mtime)
{
    const QDateTime ours = QDateTime::fromString(DosToIso(dos), Qt::ISODate);
    QDateTime ref = QDateTime::fromString(mtime, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (ref.isValid() && ref.date().year() < 1980)
        ref = QDateTime(QDate(1980, 1, 1), QTime(0, 0));
    return ours.isValid() && ref.isValid() ? std::llabs(ours.secsTo(ref)) : INT64_MAX;
}

TEST(LhaCorpus, ListingsMatchTheManifests)
{
    QUILLON_NEED_CORPUS();
    ScopedTimeZone utc("UTC");   // the manifests' tools ran in UTC
    const std::vector<QString> archives = CorpusArchives();
    ASSERT_GE(archives.size(), 60u);
    for (const QString &path : archives) {
        SCOPED_TRACE(path.toStdString());
        const TManifest m = LoadManifest(path);
        int error = 0;
        const std::vector<TListed> listed = ListArchive(path, &error);
        EXPECT_EQ(error, 0);
        ASSERT_EQ(listed.size(), m.members.size());
        for (size_t i = 0; i < listed.size(); ++i) {
            const TListed &l = listed[i];
            const TRefMember &r = m.members[i];
            EXPECT_EQ(l.name, r.name);
            EXPECT_EQ(l.size, r.size) << r.name.constData();
            EXPECT_EQ(l.packed, r.packed) << r.name.constData();
            EXPECT_EQ(l.crc, r.crc) << r.name.constData();
            EXPECT_LE(SecondsApart(l.dos, r.mtime), 1) << r.name.constData() << " " << r.mtime.toStdString();
        }
    }
}

QByteArray Sha256Of(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

// Every member of every archive extracted with stored folders: a member of a
// method we unpack whose bytes the manifest proves by its CRC comes out with
// those bytes; every other member (another method, damaged data) leaves no
// file and an error code.
TEST(LhaCorpus, ExtractionsMatchTheManifests)
{
    QUILLON_NEED_CORPUS();
    size_t proven = 0, refusedTotal = 0;
    for (const QString &path : CorpusArchives()) {
        SCOPED_TRACE(path.toStdString());
        const TManifest m = LoadManifest(path);
        QTemporaryDir dest;
        TUnLHA unit;
        unit.setArchiveFile(path);
        unit.ExtractDir = dest.path();
        unit.UseStoredDirs = true;
        std::vector<int> codes;
        unit.OnError = [&codes](TZipCommon *, const QString &, const QString &, int code) { codes.push_back(code); };
        int ends = 0;
        unit.OnEnd = [&ends](TUnBase *, const QString &, bool pass) { ends += pass ? 1 : 1000; };
        unit.Extract();

        std::multiset<QByteArray> expected, refused;
        const QByteArray bytes = arcfix::readAll(path);
        TArcLister lister;
        lister.setArchiveFile(path);
        lister.OnRead = [&](TArcLister *s, int64_t offset, int) {
            const QByteArray id = bytes.mid(offset + 2, 5);
            if (s->MemberName.endsWith('\\') || id == "-lhd-")
                return;
            const QString name = QString::fromUtf8(s->MemberName).toLower();
            if (FindLhaMethod(id.constData()))
                for (const TVerified &v : m.verified)
                    if (v.size == s->UnpackedSize && (v.crc16 ? *v.crc16 == s->MemberCRC : v.names.contains(name))) {
                        expected.insert(v.sha256);
                        return;
                    }
            refused.insert(s->MemberName);
        };
        lister.activate();
        std::multiset<QByteArray> got;
        for (const QString &file : arcfix::filesUnder(dest.path()))
            got.insert(Sha256Of(dest.path() + QLatin1Char('/') + file));
        EXPECT_EQ(got, expected);
        proven += expected.size();
        refusedTotal += refused.size();
        EXPECT_EQ(ends, int(expected.size())) << "every file extracted passes its CRC";
        if (!refused.empty()) {
            ASSERT_FALSE(codes.empty());
            for (int code : codes)
                EXPECT_TRUE(code == 25200 || code == 25111 || code == 25135 || code == 26999) << code;
        }
    }
    EXPECT_GE(proven, 90u);
    EXPECT_GE(refusedTotal, 4u);   // -lh2-, -lh3-, the LHARK variant, the cut member
}

// ---------------------------------------------------------------------------
// Hand-made archives.

using arcfix::LhaArchive;
using arcfix::LhaMember;
using arcfix::TLhaMember;

struct TMemListing
{
    int error = 0;
    std::vector<QByteArray> names;
    std::vector<uint64_t> sizes;
    std::vector<uint32_t> attrs;
};

TMemListing ListBytes(const QByteArray &bytes)
{
    TMemListing r;
    TArcLister lister;
    lister.setArchiveData(bytes, QStringLiteral("hand.lzh"));
    lister.OnRead = [&r](TArcLister *s, int64_t, int) {
        r.names.push_back(s->MemberName);
        r.sizes.push_back(s->UnpackedSize);
        r.attrs.push_back(s->MemberAttr);
    };
    r.error = lister.activate() ? 0 : lister.lastError();
    return r;
}

// Extracts bytes with stored folders into dest/out; the codes reported and the files made under dest.
struct TMemExtract
{
    int lastError = 0;
    std::vector<int> codes;
    QStringList files;   // relative to dest, so an escape from out/ shows
};

TMemExtract ExtractBytes(const QByteArray &bytes, const QString &dest)
{
    TMemExtract r;
    TUnLHA unit;
    unit.setArchiveData(bytes, QStringLiteral("hand.lzh"));
    unit.ExtractDir = dest + QStringLiteral("/out");
    unit.UseStoredDirs = true;
    unit.OnError = [&r](TZipCommon *, const QString &, const QString &, int code) { r.codes.push_back(code); };
    unit.Extract();
    r.lastError = unit.lastError();
    QDirIterator it(dest, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        r.files << QDir(dest).relativeFilePath(it.next());
    r.files.sort();
    return r;
}

TEST(LhaList, ExtendedHeadersAreReadByTheirType)
{
    // The folder extension second in the chain (after a Unix time) is still the folder;
    // the time extension is not taken for one.
    QByteArray time;
    arcfix::put32(time, 1262304000);   // 2010-01-01 00:00:00 UTC
    const TMemListing r = ListBytes(LhaArchive({
        {.name = "a.txt", .data = "abc", .exts = {{0x54, time}, {0x02, QByteArray("dir\xFFsub\xFF")}}},
        {.name = "b.txt", .data = "x", .exts = {{0x40, QByteArray("\x01\x00", 2)}}},
        {.level = 2, .method = "-lhd-", .exts = {{0x00, QByteArray(2, '\0')}, {0x02, QByteArray("d2\xFF")}}},
        // A UTF-16 name wins over the stored bytes.
        {.level = 2, .data = "y", .exts = {{0x01, "x.txt"}, {0x44, QByteArray("\xE4\x00.\x00t\x00", 6)}}},
    }));
    EXPECT_EQ(r.error, 0);
    ASSERT_EQ(r.names.size(), 4u);
    EXPECT_EQ(r.names[0], "dir\\sub\\a.txt");
    EXPECT_EQ(r.names[1], "b.txt");
    EXPECT_EQ(r.attrs[1], 1u);
    EXPECT_EQ(r.names[2], "d2\\");
    EXPECT_EQ(r.attrs[2] & 0x10, 0x10u);
    EXPECT_EQ(r.names[3], QByteArray("\xC3\xA4.t"));
}

TEST(LhaList, HostileHeadersEndWithTheirCode)
{
    QByteArray sizes64;
    arcfix::put64(sizes64, uint64_t(INT64_MAX));
    arcfix::put64(sizes64, 1);
    const struct {
        const char *what;
        QByteArray bytes;
        int error;
        size_t listed;
    } cases[] = {
        {"name length past the header", LhaArchive({{.name = "a", .nameLength = 200}}), 25108, 0},
        {"checksum off by one", LhaArchive({{.name = "a", .checksumDelta = 1}}), 25136, 0},
        {"header past the end", LhaMember({.name = "abcdefgh"}).left(26), 25135, 0},
        {"extension of 2 bytes", [] {
             QByteArray b = LhaArchive({{.name = "a", .data = "0123456789", .exts = {{0x7F, ""}}}});
             b[24 + 1 + 1] = 2;        // the first extension's size, right after the OS id
             b[1] = char(b[1] - 1);    // and the checksum that covers it
             return b;
         }(), 25108, 0},
        {"extensions past the packed size", LhaArchive({{.name = "a", .data = "", .exts = {{0x7F, "xxxx"}},
                                                         .packed = 3}}), 25108, 0},
        {"level 2 extension past its header", [] {
             QByteArray b = LhaArchive({{.level = 2, .data = "0123456789", .exts = {{0x01, "a"}}}});
             b[24] = char(200);
             return b;
         }(), 25108, 0},
        {"level 2 header CRC", [] {
             QByteArray b = LhaArchive({{.level = 2, .data = "q", .exts = {{0x00, QByteArray(2, '\0')}, {0x01, "a"}}}});
             b[29 + 3] = 'b';   // the name, after the CRC extension
             return b;
         }(), 25136, 0},
        {"level 3", [] {
             QByteArray b = LhaArchive({{.level = 2, .exts = {{0x01, "a"}}}});
             b[20] = 3;
             return b;
         }(), 25204, 0},
        {"64-bit packed size", LhaArchive({{.level = 2, .data = "z", .exts = {{0x01, "a"}, {0x42, sizes64}}}}), 25108, 0},
        {"huge sizes are listed", LhaArchive({{.name = "big", .packed = 0xFFFFFFFFu, .original = 0xFFFFFFFFu}}), 0, 1},
        {"bytes without a method id end the list", LhaArchive({{.name = "a"}}) + "0123456789012345678901234567890", 0, 1},
    };
    for (const auto &c : cases) {
        const TMemListing r = ListBytes(c.bytes);
        EXPECT_EQ(r.error, c.error) << c.what;
        EXPECT_EQ(r.names.size(), c.listed) << c.what;
    }
}

TEST(LhaExtract, NamesNeverLeaveTheFolder)
{
    QTemporaryDir dest;
    const TMemExtract r = ExtractBytes(LhaArchive({
        {.name = "..\\..\\up.txt", .data = "1"},
        {.name = "/abs.txt", .data = "2"},
        {.level = 2, .method = "-lhd-", .exts = {{0x02, QByteArray("..\xFF..\xFF" "top\xFF")}}},
        {.level = 2, .method = "-lhd-", .exts = {{0x02, QByteArray("d\xFF")}, {0x01, "link|..\\..\\etc"}}},
        {.name = "d/ok.txt", .data = "3"},
    }), dest.path());
    EXPECT_EQ(r.lastError, 0);
    EXPECT_EQ(r.files, QStringList({"out", "out/abs.txt", "out/d", "out/d/ok.txt", "out/top", "out/up.txt"}));
}

// LArc's -lz4- members are kept as they were: extracted as stored data, CRC checked.
TEST(LhaExtract, LArcLz4IsStoredData)
{
    QTemporaryDir dest;
    const TMemExtract r = ExtractBytes(LhaArchive({{.method = "-lz4-", .name = "a", .data = "zz"}}), dest.path());
    EXPECT_EQ(r.lastError, 0);
    EXPECT_TRUE(r.codes.empty());
    EXPECT_EQ(r.files, QStringList({"out", "out/a"}));
    EXPECT_EQ(arcfix::readAll(dest.path() + QStringLiteral("/out/a")), QByteArray("zz"));
}

TEST(LhaExtract, RefusalsAndDamageHaveTheirCodes)
{
    const struct {
        const char *what;
        QByteArray bytes;
        int lastError;
        QStringList files;
    } cases[] = {
        {"-lh2- is refused, the next member extracted",
         LhaArchive({{.method = "-lh2-", .name = "a", .data = "zz"}, {.name = "b", .data = "b"}}), 0, {"out", "out/b"}},
        {"only a refused member", LhaArchive({{.method = "-lh3-", .name = "a", .data = "zz"}}), 25200, {}},
        {"data cut short", LhaArchive({{.name = "a", .data = "zz", .original = 5}}).chopped(1), 25135, {"out"}},
        {"declared larger than the data", LhaArchive({{.name = "a", .data = "zz", .packed = 2, .original = 0xFFFFFFF0u}}),
         25135, {"out"}},
        {"bad -lh5- data", LhaArchive({{.method = "-lh5-", .name = "a", .data = QByteArray(8, '\xFF'), .original = 100}}),
         25111, {"out"}},
        {"CRC mismatch is kept and warned", [] {
             QByteArray b = LhaArchive({{.name = "a", .data = "data"}});
             b[b.size() - 2] = 'X';
             return b;
         }(), 0, {"out", "out/a"}},
    };
    for (const auto &c : cases) {
        QTemporaryDir dest;
        const TMemExtract r = ExtractBytes(c.bytes, dest.path());
        EXPECT_EQ(r.lastError, c.lastError) << c.what;
        EXPECT_EQ(r.files, c.files) << c.what;
        EXPECT_FALSE(r.codes.empty()) << c.what;
    }
}

// ---------------------------------------------------------------------------
// The fuzz target's properties (fuzz/LhaFuzz.cpp) over the corpus, every
// prefix of a small archive, seeded mutations and hand-made hostile archives.

} // namespace

QString LhaFinding(const QByteArray &bytes);

namespace {

TEST(LhaFuzzReplay, CorpusPrefixesAndMutationsHoldTheProperties)
{
    QUILLON_NEED_CORPUS();
    std::vector<QByteArray> seeds;
    for (const QString &path : CorpusArchives()) {
        const QByteArray bytes = arcfix::readAll(path);
        if (bytes.size() <= 32768)
            seeds.push_back(bytes);
    }
    ASSERT_GE(seeds.size(), 40u);
    for (const QByteArray &seed : seeds)
        EXPECT_EQ(LhaFinding(seed).toStdString(), "");
    const QByteArray small = arcfix::readAll(testcorpus::ArchiveFile("lha", QStringLiteral("lhasa_lha_unix114i_h1_subdir.lzh")));
    ASSERT_FALSE(small.isEmpty());
    for (qsizetype cut = 0; cut < small.size(); ++cut)
        EXPECT_EQ(LhaFinding(small.left(cut)).toStdString(), "") << "cut at " << cut;
    std::mt19937 rng(20261210);
    for (int round = 0; round < 1500; ++round) {
        const QByteArray mutated = MutateSeed(seeds[rng() % seeds.size()], rng);
        EXPECT_EQ(LhaFinding(mutated).toStdString(), "") << "round " << round;
    }
}

TEST(LhaFuzzReplay, HostileArchivesHoldTheProperties)
{
    const std::vector<QByteArray> hostile = {
        LhaArchive({{.name = "..\\..\\up.txt", .data = "1"}, {.name = "/abs", .data = "2"}}),
        LhaArchive({{.level = 2, .method = "-lhd-", .exts = {{0x02, QByteArray("..\xFF..\xFF")}}}}),
        LhaArchive({{.method = "-lh5-", .name = "big", .data = QByteArray(64, '\x11'), .original = 0xFFFFFFFFu}}),
        LhaArchive({{.method = "-lh1-", .name = "big1", .data = QByteArray(64, '\x55'), .original = 0xFFFFFF}}),
        LhaArchive({{.name = "a", .packed = 0xFFFFFFFFu}}),
    };
    for (const QByteArray &bytes : hostile)
        EXPECT_EQ(LhaFinding(bytes).toStdString(), "");
}

} // namespace
