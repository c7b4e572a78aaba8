// Tests of the LHA reader and of the LZ77 static-Huffman decoder it shares
// with ARJ and ZOO: real -lh4- to -lh7- members of the corpus decoded to
// their stored CRC-16, hand-made bit streams for every error path, and
// damaged streams that must end in a status without a hang.
#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"

#include "Corpus.h"
#include "MemoryCodec.h"

#include <gtest/gtest.h>

#include <fstream>
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

// Every prefix and seeded byte flips of a real member: a status, never a
// hang, never more than the declared size.
TEST(LzhStatic, DamagedMembersEndWithAStatus)
{
    QUILLON_NEED_CORPUS();
    const Bytes archive = ReadCorpus("jlha_lh5_h0.lzh");
    const std::vector<TRawMember> members = WalkLha(archive);
    ASSERT_FALSE(members.empty());
    const TRawMember &m = members.front();
    const Bytes packed(archive.begin() + long(m.dataStart), archive.begin() + long(m.dataStart + m.packed));
    for (size_t cut = 0; cut < packed.size(); ++cut) {
        const TDecoded r = DecodeLzh(packed.data(), cut, m.packed, m.unpacked, 13);
        EXPECT_NE(r.status, DecodeStatus::Ok) << "cut at " << cut;
        EXPECT_LE(r.out.size(), m.unpacked);
    }
    std::mt19937 rng(1414);
    for (int round = 0; round < 2000; ++round) {
        Bytes b = packed;
        for (int k = 0; k < 1 + int(rng() % 3); ++k)
            b[rng() % b.size()] ^= uint8_t(1 + rng() % 255);
        const TDecoded r = DecodeLzh(b.data(), b.size(), b.size(), m.unpacked, int(12 + rng() % 5));
        EXPECT_LE(r.out.size(), m.unpacked);
        if (r.status == DecodeStatus::Ok) {
            EXPECT_EQ(r.out.size(), m.unpacked);
        }
    }
}

} // namespace
