// Tests of the ZIP decoders: real members of the corpus decoded to their
// listed size and CRC-32 (a test-only walker finds each member's raw data
// through the central directory and its local header), crafted inputs for
// the error paths, and damaged input (cuts, bit flips, seeded random bytes)
// that must end in a status without writing past the declared size.
#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"
#include "archive/decoders/ZipCrypto.h"

#include "Corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string CorpusPath(const std::string &file)
{
    return testcorpus::ArchivePath("zip", file);
}

Bytes ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t Le16(const Bytes &b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Le32(const Bytes &b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

// One member as the central directory and its local header describe it.
struct TRawMember
{
    std::string name;
    int method = 0;
    uint16_t flags = 0;
    uint16_t dosTime = 0;
    uint32_t crc = 0;
    uint64_t packed = 0;
    uint64_t unpacked = 0;
    size_t dataStart = 0;   // first byte after the local name and extra field
};

// Test-only walker: end record, then central headers, then each local
// header (signature 04034B50h) for the start of the data. With flag bit 3
// the local sizes are 0, so the sizes always come from the central header.
std::vector<TRawMember> WalkZip(const Bytes &zip)
{
    std::vector<TRawMember> members;
    if (zip.size() < 22)
        return members;
    size_t end = std::string::npos;
    for (size_t p = zip.size() - 22 + 1; p-- > 0;)
        if (Le32(zip, p) == 0x06054B50u) {
            end = p;
            break;
        }
    if (end == std::string::npos)
        return members;
    size_t pos = Le32(zip, end + 16);
    while (pos + 46 <= zip.size() && Le32(zip, pos) == 0x02014B50u) {
        TRawMember m;
        m.flags = static_cast<uint16_t>(Le16(zip, pos + 8));
        m.method = static_cast<int>(Le16(zip, pos + 10));
        m.dosTime = static_cast<uint16_t>(Le16(zip, pos + 12));
        m.crc = Le32(zip, pos + 16);
        m.packed = Le32(zip, pos + 20);
        m.unpacked = Le32(zip, pos + 24);
        const size_t nameLen = Le16(zip, pos + 28);
        const size_t extraLen = Le16(zip, pos + 30);
        const size_t commentLen = Le16(zip, pos + 32);
        const size_t local = Le32(zip, pos + 42);
        if (pos + 46 + nameLen > zip.size())
            break;
        m.name.assign(reinterpret_cast<const char *>(zip.data() + pos + 46), nameLen);
        if (local + 30 <= zip.size() && Le32(zip, local) == 0x04034B50u) {
            m.dataStart = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
            if (m.dataStart + m.packed <= zip.size())
                members.push_back(m);
        }
        pos += 46 + nameLen + extraLen + commentLen;
    }
    return members;
}

// Input over a byte range that counts what it hands out.
class TMemoryInput : public DecodeInput
{
public:
    TMemoryInput(const uint8_t *data, size_t n) : m_data(data), m_left(n) {}
    int64_t Read(uint8_t *buf, int64_t max) override
    {
        const size_t n = std::min<size_t>(m_left, static_cast<size_t>(max));
        std::memcpy(buf, m_data, n);
        m_data += n;
        m_left -= n;
        m_given += n;
        return static_cast<int64_t>(n);
    }
    size_t given() const { return m_given; }

private:
    const uint8_t *m_data;
    size_t m_left;
    size_t m_given = 0;
};

// Output that keeps everything; optionally refuses after a number of calls.
class TMemoryOutput : public DecodeOutput
{
public:
    explicit TMemoryOutput(int refuseAfter = -1) : m_refuseAfter(refuseAfter) {}
    bool Write(const uint8_t *data, size_t n) override
    {
        if (m_refuseAfter >= 0 && m_calls++ >= m_refuseAfter)
            return false;
        bytes.insert(bytes.end(), data, data + n);
        return true;
    }
    Bytes bytes;

private:
    int m_refuseAfter;
    int m_calls = 0;
};

struct TResult
{
    DecodeStatus status;
    Bytes out;
    size_t inputGiven;
};

TResult RunDecoder(const uint8_t *data, size_t available, const DecodeParams &p, int refuseAfter = -1)
{
    const TDecoderEntry *entry = FindZipDecoder(p.method);
    EXPECT_NE(entry, nullptr);
    TMemoryInput in(data, available);
    TMemoryOutput out(refuseAfter);
    const DecodeStatus st = entry ? entry->decode(in, out, p) : DecodeStatus::Unsupported;
    return {st, out.bytes, in.given()};
}

uint32_t Crc(const Bytes &b) { return Crc32Update(0, b.data(), b.size()); }

// Decodes a member (decrypting with password when given).
TResult DecodeMember(const Bytes &zip, const TRawMember &m, const char *password)
{
    DecodeParams p;
    p.method = m.method;
    p.flags = m.flags;
    p.packedSize = m.packed;
    p.unpackedSize = m.unpacked;
    if (!(m.flags & 1))
        return RunDecoder(zip.data() + m.dataStart, zip.size() - m.dataStart, p);

    uint8_t header[kZipCryptHeaderSize];
    std::memcpy(header, zip.data() + m.dataStart, kZipCryptHeaderSize);
    TZipCryptKeys keys("");
    if (!ZipCryptTryPassword(password ? password : "", header,
                             ZipCryptCheckByte(m.flags, m.crc, m.dosTime), keys))
        return {DecodeStatus::DataError, {}, 0};
    p.packedSize -= kZipCryptHeaderSize;
    TMemoryInput raw(zip.data() + m.dataStart + kZipCryptHeaderSize,
                     zip.size() - m.dataStart - kZipCryptHeaderSize);
    TZipCryptInput in(raw, keys);
    TMemoryOutput out;
    const DecodeStatus st = FindZipDecoder(m.method)->decode(in, out, p);
    return {st, out.bytes, raw.given()};
}

// Expected members, as the corpus manifests list them (size and CRC-32).
struct TCorpusCase
{
    const char *file;
    const char *member;
    int method;
    uint64_t size;
    uint32_t crc;
    const char *password;
};

const TCorpusCase kCorpus[] = {
    {"cc_SHRUNK.ZIP", "TEST1.XML", 1, 76u, 0x393a497aU, nullptr},
    {"cc_SHRUNK.ZIP", "TEST2.XML", 1, 81u, 0xd19abf92U, nullptr},
    {"cc_imploding-4Kdict-2trees.zip", "HEADER.TXT", 6, 818u, 0x3222d8c7U, nullptr},
    {"cc_imploding-8Kdict-3trees.zip", "LICENSE.TXT", 6, 11560u, 0x495fc599U, nullptr},
    {"cc_lorem-ipsum-implode.zip", "LOREM.TXT", 6, 144060u, 0xb9034f7eU, nullptr},
    {"la_compat_zip_1.zip", "META-INF/MANIFEST.MF", 8, 113u, 0x149fd368U, nullptr},
    {"la_compat_zip_1.zip", "tmp.class", 8, 118u, 0x36a6200bU, nullptr},
    {"la_compat_zip_2.zip", "file1", 0, 0u, 0x00000000U, nullptr},
    {"la_compat_zip_2.zip", "file2", 0, 6u, 0xc904a4c7U, nullptr},
    {"la_compat_zip_3.zip", "soapui-4.0.0/soapui-settings.xml", 8, 1030u, 0x3daaeb8cU, nullptr},
    {"la_compat_zip_4.zip", "foo", 0, 4u, 0x7e3265a8U, nullptr},
    {"la_compat_zip_4.zip", "bar", 0, 4u, 0x04a2b3e9U, nullptr},
    {"la_compat_zip_4.zip", "baz", 0, 4u, 0xcc7b39e1U, nullptr},
    {"la_compat_zip_6.zip", "New Folder/New Folder/New Text Document.txt", 0, 11u, 0xbf584315U, nullptr},
    {"la_compat_zip_8.zip", "arc\\test", 8, 14u, 0xa42058f9U, nullptr},
    {"izip_deflate_tree.zip", "EMPTY.DAT", 0, 0u, 0x00000000U, nullptr},
    {"izip_deflate_tree.zip", "GPL2.TXT", 8, 18092u, 0x4e46f4a1U, nullptr},
    {"izip_deflate_tree.zip", "ODDSEC.TXT", 8, 59u, 0x2cc7cdf5U, nullptr},
    {"izip_deflate_tree.zip", "RANDOM.BIN", 0, 6000u, 0x0fd37f45U, nullptr},
    {"izip_deflate_tree.zip", "README.TXT", 8, 4320u, 0x80a1e292U, nullptr},
    {"izip_deflate_tree.zip", "SUBDIR/NESTED.TXT", 8, 3000u, 0xedb66525U, nullptr},
    {"izip_deflate_tree.zip", "SUBDIR/DEEP/LEAF.TXT", 8, 1280u, 0x4ed830adU, nullptr},
    {"izip_deflate_tree.zip", "ZEROS.BIN", 8, 21700u, 0x893ef6ccU, nullptr},
    {"izip_encrypted_pw_corpus123.zip", "README.TXT", 8, 4320u, 0x80a1e292U, "corpus123"},
    {"izip_encrypted_pw_corpus123.zip", "GPL2.TXT", 8, 18092u, 0x4e46f4a1U, "corpus123"},
    {"izip_encrypted_pw_corpus123.zip", "RANDOM.BIN", 0, 6000u, 0x0fd37f45U, "corpus123"},
    {"izip_encrypted_pw_corpus123.zip", "EMPTY.DAT", 0, 0u, 0x00000000U, "corpus123"},
    {"la_zip_traditional_encryption_data.zip", "bar.txt", 8, 495u, 0xa4d8fd47U, "12345678"},
    {"la_zip_traditional_encryption_data.zip", "foo.txt", 8, 495u, 0xb493c7ebU, "12345678"},
    {"sc_Zip.reduce1.zip", "TECT.TXT", 1, 15498u, 0x9bd160faU, nullptr},
    {"sc_Zip.reduce1.zip", "TEST.EXE", 2, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce1.zip", "TEST.JPG", 2, 40372u, 0x088814e3U, nullptr},
    {"sc_Zip.reduce2.zip", "TECT.TXT", 1, 15498u, 0x9bd160faU, nullptr},
    {"sc_Zip.reduce2.zip", "TEST.EXE", 3, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce2.zip", "TEST.JPG", 3, 40372u, 0x088814e3U, nullptr},
    {"sc_Zip.reduce3.zip", "TECT.TXT", 1, 15498u, 0x9bd160faU, nullptr},
    {"sc_Zip.reduce3.zip", "TEST.EXE", 4, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce3.zip", "TEST.JPG", 4, 40372u, 0x088814e3U, nullptr},
    {"sc_Zip.reduce4.zip", "TECT.TXT", 1, 15498u, 0x9bd160faU, nullptr},
    {"sc_Zip.reduce4.zip", "TEST.EXE", 5, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce4.zip", "TEST.JPG", 5, 40372u, 0x088814e3U, nullptr},
    {"izip_stored_tree.zip", "README.TXT", 0, 4320u, 0x80a1e292U, nullptr},
    {"izip_stored_tree.zip", "RANDOM.BIN", 0, 6000u, 0x0fd37f45U, nullptr},
    {"izip_stored_tree.zip", "SUBDIR/NESTED.TXT", 0, 3000u, 0xedb66525U, nullptr},
    {"izip_stored_tree.zip", "SUBDIR/DEEP/LEAF.TXT", 0, 1280u, 0x4ed830adU, nullptr},
    {"cc_bla.zip", "test1.xml", 8, 610u, 0x0f54eacbU, nullptr},
    {"cc_bla.zip", "test2.xml", 8, 82u, 0xce356c1cU, nullptr},
    {"izip_comments.zip", "README.TXT", 8, 4320u, 0x80a1e292U, nullptr},
    {"izip_comments.zip", "GPL2.TXT", 8, 18092u, 0x4e46f4a1U, nullptr},
    {"izip_comments.zip", "ZEROS.BIN", 8, 21700u, 0x893ef6ccU, nullptr},    {"cc_test-winzip.zip", "doc.txt.gz", 8, 31u, 0xf3e87736U, nullptr},
    {"cc_test-winzip.zip", "doc2.txt", 0, 0u, 0x00000000U, nullptr},
    {"cc_utf8-winzip-test.zip", "ascii.txt", 0, 5u, 0xd13adaf9U, nullptr},
    {"izip_dosnames_k.zip", "README.TXT", 8, 4320u, 0x80a1e292U, nullptr},
    {"izip_dosnames_k.zip", "GPL2.TXT", 8, 18092u, 0x4e46f4a1U, nullptr},
    {"izip_dosnames_k.zip", "ODDSEC.TXT", 8, 59u, 0x2cc7cdf5U, nullptr},
    {"izip_longnames.zip", "Folder With Spaces/A long file name.text", 8, 170u, 0xcabb339aU, nullptr},
    {"izip_unzipsfx_elf.sfx", "README.TXT", 8, 4320u, 0x80a1e292U, nullptr},
    {"izip_unzipsfx_elf.sfx", "GPL2.TXT", 8, 18092u, 0x4e46f4a1U, nullptr},
    {"la_zip_comment_stored_1.zip", "file0", 0, 0u, 0x00000000U, nullptr},
    {"la_zip_comment_stored_1.zip", "build.sh", 0, 23u, 0x7dea58eaU, nullptr},
    {"la_zip_msdos.zip", "abc", 0, 0u, 0x00000000U, nullptr},
    {"la_zip_msdos.zip", "def", 0, 0u, 0x00000000U, nullptr},
    {"la_zip_msdos.zip", "def/foo", 0, 0u, 0x00000000U, nullptr},
    {"la_zip_msdos.zip", "jkl", 0, 0u, 0x00000000U, nullptr},
    {"la_zip_nested.zip", "small.zip", 0, 211u, 0x6975f4bdU, nullptr},
    {"la_zip_nested.zip", "file.txt", 0, 53u, 0x93636dfbU, nullptr},
    {"la_zip_pkware_unix.zip", "file1", 0, 6u, 0x363a3020U, nullptr},
    {"la_zip_ux.zip", "file1", 8, 18u, 0x3d66373aU, nullptr},
    {"sc_Zip.EntryComment.zip", "test.txt", 0, 15u, 0xd296755aU, nullptr},
    {"sc_Zip.LongComment.zip", "A Text File.txt", 0, 0u, 0x00000000U, nullptr},
};

std::optional<TRawMember> FindMember(const Bytes &zip, const std::string &name)
{
    for (const TRawMember &m : WalkZip(zip))
        if (m.name == name)
            return m;
    return std::nullopt;
}

class CorpusDecode : public ::testing::TestWithParam<TCorpusCase>
{
};

TEST_P(CorpusDecode, DecodesToListedSizeAndCrc)
{
    QUILLON_NEED_CORPUS();
    const TCorpusCase &c = GetParam();
    const Bytes zip = ReadFile(CorpusPath(c.file));
    ASSERT_FALSE(zip.empty()) << c.file;
    const auto m = FindMember(zip, c.member);
    ASSERT_TRUE(m.has_value()) << c.member;
    ASSERT_EQ(m->method, c.method);
    ASSERT_EQ(m->unpacked, c.size);
    const TResult r = DecodeMember(zip, *m, c.password);
    EXPECT_EQ(r.status, DecodeStatus::Ok);
    EXPECT_EQ(r.out.size(), c.size);
    EXPECT_EQ(Crc(r.out), c.crc);
    EXPECT_LE(r.inputGiven, m->packed);   // never read past the packed size
}

std::string CaseName(const ::testing::TestParamInfo<TCorpusCase> &info)
{
    std::string s = std::to_string(info.index) + "_" + info.param.file + "_" + info.param.member;
    for (char &ch : s)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(Zip, CorpusDecode, ::testing::ValuesIn(kCorpus), CaseName);

// --- method table ---------------------------------------------------------

TEST(ZipDecoderTable, SupportedAndRefusedMethods)
{
    for (int method : {0, 1, 2, 3, 4, 5, 6, 8, 9, 12, 14, 93, 95}) {
        const TDecoderEntry *e = FindZipDecoder(method);
        ASSERT_NE(e, nullptr) << method;
        EXPECT_EQ(e->method, method);
        EXPECT_NE(e->decode, nullptr);
    }
    for (int method : {7, 10, 19, 98, 99, -1})
        EXPECT_EQ(FindZipDecoder(method), nullptr) << method;
}

// --- checksums and encryption ---------------------------------------------

TEST(Checksums, KnownValues)
{
    const char *text = "123456789";
    EXPECT_EQ(Crc32Update(0, text, 9), 0xCBF43926u);
    EXPECT_EQ(Crc16ArcUpdate(0, text, 9), 0xBB3Du);
    // Continuing a CRC over a split buffer gives the same value.
    EXPECT_EQ(Crc32Update(Crc32Update(0, text, 4), text + 4, 5), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0, text, 0), 0u);
}

TEST(Checksums, SingleStepIsZlibsCrcWithoutItsInversions)
{
    // The one step kept beside zlib must be zlib's function with the inversions taken off,
    // for every byte and a spread of running values.
    for (uint32_t crc : {0u, 0xFFFFFFFFu, 0x12345678u, 0xCBF43926u}) {
        for (int b = 0; b < 256; ++b) {
            const uint8_t byte = uint8_t(b);
            EXPECT_EQ(Crc32Step(crc, byte), ~Crc32Update(~crc, &byte, 1)) << crc << ' ' << b;
        }
    }
}

TEST(ZipCrypto, CheckByteAndPasswords)
{
    QUILLON_NEED_CORPUS();
    EXPECT_EQ(ZipCryptCheckByte(0x0001, 0x80A1E292u, 0x1234), 0x80);
    EXPECT_EQ(ZipCryptCheckByte(0x0009, 0x80A1E292u, 0x1234), 0x12);

    const Bytes zip = ReadFile(CorpusPath("izip_encrypted_pw_corpus123.zip"));
    const auto m = FindMember(zip, "README.TXT");
    ASSERT_TRUE(m.has_value());
    ASSERT_TRUE(m->flags & 1);
    uint8_t header[kZipCryptHeaderSize];
    std::memcpy(header, zip.data() + m->dataStart, kZipCryptHeaderSize);
    const uint8_t check = ZipCryptCheckByte(m->flags, m->crc, m->dosTime);
    TZipCryptKeys keys("");
    EXPECT_TRUE(ZipCryptTryPassword("corpus123", header, check, keys));
    EXPECT_FALSE(ZipCryptTryPassword("", header, check, keys));
    EXPECT_FALSE(ZipCryptTryPassword("corpus124", header, check, keys));
    EXPECT_FALSE(ZipCryptTryPassword("Corpus123", header, check, keys));

    // Keys of a wrong password forced past the header never give the member's data.
    TZipCryptKeys wrong("corpus124");
    uint8_t plain[kZipCryptHeaderSize];
    std::memcpy(plain, header, kZipCryptHeaderSize);
    wrong.Decrypt(plain, kZipCryptHeaderSize);
    TMemoryInput raw(zip.data() + m->dataStart + kZipCryptHeaderSize, m->packed - kZipCryptHeaderSize);
    TZipCryptInput in(raw, wrong);
    TMemoryOutput out;
    DecodeParams p;
    p.method = m->method;
    p.packedSize = m->packed - kZipCryptHeaderSize;
    p.unpackedSize = m->unpacked;
    const DecodeStatus st = FindZipDecoder(m->method)->decode(in, out, p);
    EXPECT_LE(out.bytes.size(), m->unpacked);
    EXPECT_FALSE(st == DecodeStatus::Ok && Crc(out.bytes) == m->crc);
}

// --- crafted error paths ----------------------------------------------------

// LSB-first bit writer for crafted inputs.
class TBitWriter
{
public:
    void Put(uint32_t value, int n)
    {
        for (int i = 0; i < n; ++i) {
            if (m_bit == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= static_cast<uint8_t>(1 << m_bit);
            m_bit = (m_bit + 1) & 7;
        }
    }
    const Bytes &bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    int m_bit = 0;
};

DecodeStatus RunCrafted(const Bytes &data, int method, uint16_t flags, uint64_t unpacked, Bytes *out = nullptr)
{
    DecodeParams p;
    p.method = method;
    p.flags = flags;
    p.packedSize = data.size();
    p.unpackedSize = unpacked;
    TResult r = RunDecoder(data.data(), data.size(), p);
    EXPECT_LE(r.out.size(), unpacked);
    if (out)
        *out = r.out;
    return r.status;
}

TEST(ShrinkErrors, CraftedStreams)
{
    {   // literal 'A', new entry 257 = "AA" used at once (the code not yet made)
        TBitWriter w;
        w.Put('A', 9);
        w.Put(257, 9);
        Bytes out;
        EXPECT_EQ(RunCrafted(w.bytes(), 1, 0, 3, &out), DecodeStatus::Ok);
        EXPECT_EQ(out, (Bytes{'A', 'A', 'A'}));
    }
    {   // a first code that is not a byte
        TBitWriter w;
        w.Put(300, 9);
        EXPECT_EQ(RunCrafted(w.bytes(), 1, 0, 10), DecodeStatus::DataError);
    }
    {   // escape with an unknown sub-code
        TBitWriter w;
        w.Put('A', 9);
        w.Put(256, 9);
        w.Put(3, 9);
        EXPECT_EQ(RunCrafted(w.bytes(), 1, 0, 10), DecodeStatus::DataError);
    }
    {   // code size grown past 13 bits
        TBitWriter w;
        w.Put('A', 9);
        int bits = 9;
        for (int i = 0; i < 5; ++i) {
            w.Put(256, bits);
            w.Put(1, bits);
            ++bits;
        }
        EXPECT_EQ(RunCrafted(w.bytes(), 1, 0, 10), DecodeStatus::DataError);
    }
    {   // a code naming a free entry other than the next one
        TBitWriter w;
        w.Put('A', 9);
        w.Put(400, 9);
        EXPECT_EQ(RunCrafted(w.bytes(), 1, 0, 10), DecodeStatus::DataError);
    }
    {   // input ends early
        TBitWriter w;
        w.Put('A', 9);
        EXPECT_EQ(RunCrafted(w.bytes(), 1, 0, 10), DecodeStatus::Truncated);
    }
}

TEST(ReduceErrors, CraftedStreams)
{
    {   // no follower sets, plain bytes with an escaped 90h and a copy
        TBitWriter w;
        for (int j = 0; j < 256; ++j)
            w.Put(0, 6);
        for (uint8_t c : {uint8_t('x'), uint8_t(0x90), uint8_t(0), uint8_t(0x90), uint8_t(0x02), uint8_t(0x01)})
            w.Put(c, 8);
        Bytes out;
        EXPECT_EQ(RunCrafted(w.bytes(), 2, 0, 7, &out), DecodeStatus::Ok);
        // x, 90h, then 2 + 3 bytes copied from distance 2: x 90 x 90 x
        EXPECT_EQ(out, (Bytes{'x', 0x90, 'x', 0x90, 'x', 0x90, 'x'}));
    }
    {   // a follower set longer than 32
        TBitWriter w;
        w.Put(33, 6);
        for (int i = 0; i < 40; ++i)
            w.Put(0, 8);
        EXPECT_EQ(RunCrafted(w.bytes(), 3, 0, 10), DecodeStatus::DataError);
    }
    {   // a follower index past its set of 3 (index 3 in 2 bits)
        TBitWriter w;
        for (int j = 255; j >= 0; --j) {
            if (j == 0) {
                w.Put(3, 6);
                w.Put('a', 8);
                w.Put('b', 8);
                w.Put('c', 8);
            } else {
                w.Put(0, 6);
            }
        }
        w.Put(0, 1);
        w.Put(3, 2);
        EXPECT_EQ(RunCrafted(w.bytes(), 4, 0, 10), DecodeStatus::DataError);
    }
    EXPECT_EQ(RunCrafted({}, 5, 0, 10), DecodeStatus::Truncated);
}

TEST(ImplodeErrors, CraftedTrees)
{
    {   // length tree covering 63 of its 64 symbols
        TBitWriter w;
        w.Put(0, 8);            // one pair
        w.Put((62 << 4) | 5, 8);  // 63 symbols of length 6
        EXPECT_EQ(RunCrafted(w.bytes(), 6, 0, 10), DecodeStatus::DataError);
    }
    {   // overfull tree: 64 symbols of length 1
        TBitWriter w;
        w.Put(0, 8);
        w.Put((63 << 4) | 0, 8);
        EXPECT_EQ(RunCrafted(w.bytes(), 6, 0, 10), DecodeStatus::DataError);
    }
    {   // run past the symbol count
        TBitWriter w;
        w.Put(4, 8);
        for (int i = 0; i < 5; ++i)
            w.Put((15 << 4) | 5, 8);   // 5 * 16 = 80 > 64
        EXPECT_EQ(RunCrafted(w.bytes(), 6, 0, 10), DecodeStatus::DataError);
    }
    {   // two complete trees of 64 six-bit codes, then literals: 2 trees, raw bytes
        TBitWriter w;
        for (int t = 0; t < 2; ++t) {
            w.Put(3, 8);
            for (int i = 0; i < 4; ++i)
                w.Put((15 << 4) | 5, 8);
        }
        w.Put(1, 1);
        w.Put('q', 8);
        Bytes out;
        EXPECT_EQ(RunCrafted(w.bytes(), 6, 0, 1, &out), DecodeStatus::Ok);
        EXPECT_EQ(out, Bytes{'q'});
        EXPECT_EQ(RunCrafted(w.bytes(), 6, 0, 5), DecodeStatus::Truncated);
    }
    {   // incomplete literal tree: 256 codes of 9 bits fill only half the code space
        TBitWriter v;
        v.Put(15, 8);
        for (int i = 0; i < 16; ++i)
            v.Put((15 << 4) | 8, 8);
        for (int t = 0; t < 2; ++t) {
            v.Put(3, 8);
            for (int i = 0; i < 4; ++i)
                v.Put((15 << 4) | 5, 8);
        }
        v.Put(1, 1);
        v.Put(0xFFFF, 16);   // a leading 1 bit starts no code of that tree
        EXPECT_EQ(RunCrafted(v.bytes(), 6, 0x0004, 5), DecodeStatus::DataError);
    }
}

TEST(InflateErrors, CraftedStreams)
{
    // Deflate (8) and Deflate64 (9) share the block structure.
    for (int method : {8, 9}) {
        SCOPED_TRACE(method);
        // Stored block of "abc" (raw deflate: final, type 0, LEN/NLEN).
        const Bytes ok = {0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'};
        Bytes out;
        EXPECT_EQ(RunCrafted(ok, method, 0, 3, &out), DecodeStatus::Ok);
        EXPECT_EQ(out, (Bytes{'a', 'b', 'c'}));
        EXPECT_EQ(RunCrafted(ok, method, 0, 2, &out), DecodeStatus::DataError);   // longer than declared
        EXPECT_EQ(out.size(), method == 8 ? 2u : 0u);   // Deflate64 refuses a stored block that does not fit
        EXPECT_EQ(RunCrafted(ok, method, 0, 4), DecodeStatus::DataError);         // shorter than declared
        EXPECT_EQ(RunCrafted(Bytes(ok.begin(), ok.end() - 1), method, 0, 3), DecodeStatus::Truncated);
        EXPECT_EQ(RunCrafted({0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'}, method, 0, 3), DecodeStatus::DataError);
        EXPECT_EQ(RunCrafted({0x07}, method, 0, 3), DecodeStatus::DataError);     // block type 3
    }
}

// A fixed-code Deflate64 block built symbol by symbol: the codes of RFC 1951's
// fixed table, sent from their top bit, extra bits from their lowest.
class TFixedBlock
{
public:
    explicit TFixedBlock(bool last = true)
    {
        m_w.Put(last ? 1 : 0, 1);
        m_w.Put(1, 2);
    }
    // Stored blocks before the fixed one: each holds n copies of byte.
    static Bytes StoredPrefix(const std::vector<std::pair<uint32_t, uint8_t>> &blocks)
    {
        Bytes b;
        for (const auto &[n, byte] : blocks) {
            b.push_back(0);   // not the last block, type 0
            b.push_back(uint8_t(n));
            b.push_back(uint8_t(n >> 8));
            b.push_back(uint8_t(~n));
            b.push_back(uint8_t(~n >> 8));
            b.insert(b.end(), n, byte);
        }
        return b;
    }
    TFixedBlock &Literal(int sym)
    {
        if (sym < 144)
            Code(0x30 + sym, 8);
        else if (sym < 256)
            Code(0x190 + sym - 144, 9);
        else if (sym < 280)
            Code(sym - 256, 7);
        else
            Code(0xC0 + sym - 280, 8);
        return *this;
    }
    // A match: length code (257-285) with its extra bits, distance code (0-31) with its extra bits.
    TFixedBlock &Match(int lengthCode, uint32_t lengthExtra, int extraLengthBits, int distCode, uint32_t distExtra,
                       int extraDistBits)
    {
        Literal(lengthCode);
        m_w.Put(lengthExtra, extraLengthBits);
        Code(uint32_t(distCode), 5);
        m_w.Put(distExtra, extraDistBits);
        return *this;
    }
    Bytes End()
    {
        Literal(256);
        return m_w.bytes();
    }

private:
    void Code(uint32_t code, int len)
    {
        for (int i = len - 1; i >= 0; --i)
            m_w.Put((code >> i) & 1, 1);
    }
    TBitWriter m_w;
};

Bytes Cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What Deflate64 adds to deflate: length code 285 is 3 + 16 extra bits, distance codes 30 and 31
// reach 32769 to 65536 back; a distance before the first byte, a length past the declared size
// and the two length codes no block may send are damage.
TEST(Inflate64, LongLengthsAndFarDistances)
{
    Bytes out;
    // 'a', then 1003 copies at distance 1: code 285 with 1000 in its 16 extra bits.
    const Bytes run = TFixedBlock().Literal('a').Match(285, 1000, 16, 0, 0, 0).End();
    EXPECT_EQ(RunCrafted(run, 9, 0, 1004, &out), DecodeStatus::Ok);
    EXPECT_EQ(out, Bytes(1004, 'a'));
    EXPECT_EQ(RunCrafted(run, 9, 0, 500), DecodeStatus::DataError);
    // In plain deflate the same code means 258 and no extra bits: not this stream.
    EXPECT_NE(RunCrafted(run, 8, 0, 1004), DecodeStatus::Ok);

    // 40000 bytes ('x' then 'y'), then 4 bytes from 32769 back (code 30), an 'x'.
    const Bytes prefix = TFixedBlock::StoredPrefix({{1, 'z'}, {32767, 'x'}, {7232, 'y'}});
    const Bytes far30 = Cat(prefix, TFixedBlock().Match(258, 0, 0, 30, 0, 14).End());
    ASSERT_EQ(RunCrafted(far30, 9, 0, 40004, &out), DecodeStatus::Ok);
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{'x', 'x', 'x', 'x'}));
    // Code 31 with all 14 extra bits: 65536 back, which needs 65536 bytes before it.
    const Bytes full = TFixedBlock::StoredPrefix({{1, 'z'}, {65535, 'w'}});
    const Bytes far31 = Cat(full, TFixedBlock().Match(257, 0, 0, 31, 16383, 14).End());
    ASSERT_EQ(RunCrafted(far31, 9, 0, 65539, &out), DecodeStatus::Ok);
    EXPECT_EQ(Bytes(out.end() - 3, out.end()), (Bytes{'z', 'w', 'w'}));
    const Bytes tooFar = Cat(prefix, TFixedBlock().Match(257, 0, 0, 31, 16383, 14).End());
    EXPECT_EQ(RunCrafted(tooFar, 9, 0, 40003), DecodeStatus::DataError);

    EXPECT_EQ(RunCrafted(TFixedBlock().Literal('a').Match(257, 0, 0, 1, 0, 0).End(), 9, 0, 4), DecodeStatus::DataError);
    EXPECT_EQ(RunCrafted(TFixedBlock().Literal('a').Literal(286).End(), 9, 0, 4), DecodeStatus::DataError);
    // Every prefix of a good stream is refused, none reads past its input.
    for (size_t n = 0; n < run.size(); ++n)
        EXPECT_NE(RunCrafted(Bytes(run.begin(), run.begin() + ptrdiff_t(n)), 9, 0, 1004), DecodeStatus::Ok) << n;
}

TEST(StoredErrors, ShortInputAndCap)
{
    Bytes out;
    EXPECT_EQ(RunCrafted({1, 2, 3}, 0, 0, 5, &out), DecodeStatus::Truncated);
    EXPECT_EQ(out, (Bytes{1, 2, 3}));
    EXPECT_EQ(RunCrafted({1, 2, 3}, 0, 0, 2, &out), DecodeStatus::Ok);
    EXPECT_EQ(out, (Bytes{1, 2}));
}

// --- real members under damage ----------------------------------------------

// One corpus member per decoder and option set.
const TCorpusCase kDamageSources[] = {
    {"izip_stored_tree.zip", "README.TXT", 0, 4320u, 0x80a1e292U, nullptr},
    {"sc_Zip.reduce1.zip", "TECT.TXT", 1, 15498u, 0x9bd160faU, nullptr},
    {"sc_Zip.reduce1.zip", "TEST.EXE", 2, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce2.zip", "TEST.EXE", 3, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce3.zip", "TEST.EXE", 4, 45056u, 0xcfb109c8U, nullptr},
    {"sc_Zip.reduce4.zip", "TEST.EXE", 5, 45056u, 0xcfb109c8U, nullptr},
    {"cc_imploding-4Kdict-2trees.zip", "HEADER.TXT", 6, 818u, 0x3222d8c7U, nullptr},
    {"cc_imploding-8Kdict-3trees.zip", "LICENSE.TXT", 6, 11560u, 0x495fc599U, nullptr},
    {"izip_deflate_tree.zip", "GPL2.TXT", 8, 18092u, 0x4e46f4a1U, nullptr},
};

struct TLoadedMember
{
    Bytes zip;
    TRawMember m;
    Bytes packed;
    DecodeParams params;
};

TLoadedMember Load(const TCorpusCase &c)
{
    TLoadedMember l;
    l.zip = ReadFile(CorpusPath(c.file));
    const auto m = FindMember(l.zip, c.member);
    EXPECT_TRUE(m.has_value()) << c.file << " " << c.member;
    if (!m)
        return l;
    l.m = *m;
    l.packed.assign(l.zip.begin() + static_cast<ptrdiff_t>(m->dataStart),
                    l.zip.begin() + static_cast<ptrdiff_t>(m->dataStart + m->packed));
    l.params.method = m->method;
    l.params.flags = m->flags;
    l.params.packedSize = m->packed;
    l.params.unpackedSize = m->unpacked;
    return l;
}

TEST(DamagedMembers, TruncatedInputNeverGivesWrongData)
{
    QUILLON_NEED_CORPUS();
    for (const TCorpusCase &c : kDamageSources) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member);
        const TLoadedMember l = Load(c);
        ASSERT_FALSE(l.packed.empty());
        const size_t n = l.packed.size();
        for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(5), n / 3, n / 2, n - 2, n - 1}) {
            if (cut >= n)
                continue;
            DecodeParams p = l.params;
            p.packedSize = cut;   // the archive says the member is shorter
            const TResult r = RunDecoder(l.packed.data(), n, p);
            EXPECT_LE(r.out.size(), c.size);
            EXPECT_LE(r.inputGiven, cut);
            if (r.status == DecodeStatus::Ok)
                EXPECT_EQ(Crc(r.out), c.crc) << "cut " << cut;   // only a correct result may be Ok
            else
                EXPECT_TRUE(r.status == DecodeStatus::Truncated || r.status == DecodeStatus::DataError);
        }
        for (size_t cut : {size_t(0), n / 2, n - 1}) {
            // The input itself ends early while the header claims the full size.
            const TResult r = RunDecoder(l.packed.data(), cut, l.params);
            EXPECT_LE(r.out.size(), c.size);
            if (r.status == DecodeStatus::Ok)
                EXPECT_EQ(Crc(r.out), c.crc);
            else
                EXPECT_TRUE(r.status == DecodeStatus::Truncated || r.status == DecodeStatus::DataError);
        }
    }
}

TEST(DamagedMembers, FlippedBitsStayWithinTheDeclaredSize)
{
    QUILLON_NEED_CORPUS();
    std::mt19937 rng(4711);
    for (const TCorpusCase &c : kDamageSources) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member);
        const TLoadedMember l = Load(c);
        ASSERT_FALSE(l.packed.empty());
        for (int round = 0; round < 40; ++round) {
            Bytes damaged = l.packed;
            const int flips = 1 + static_cast<int>(rng() % 8);
            for (int i = 0; i < flips; ++i)
                damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            const TResult r = RunDecoder(damaged.data(), damaged.size(), l.params);
            EXPECT_LE(r.out.size(), c.size);
            EXPECT_LE(r.inputGiven, damaged.size());
            if (r.status == DecodeStatus::Ok) {
                EXPECT_EQ(r.out.size(), c.size);
            }
        }
    }
}

TEST(DamagedMembers, OutputCappedAtDeclaredSize)
{
    QUILLON_NEED_CORPUS();
    for (const TCorpusCase &c : kDamageSources) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member);
        const TLoadedMember l = Load(c);
        const TResult full = RunDecoder(l.packed.data(), l.packed.size(), l.params);
        ASSERT_EQ(full.status, DecodeStatus::Ok);
        DecodeParams p = l.params;
        p.unpackedSize = c.size / 2;
        const TResult half = RunDecoder(l.packed.data(), l.packed.size(), p);
        ASSERT_EQ(half.out.size(), p.unpackedSize);
        EXPECT_TRUE(std::equal(half.out.begin(), half.out.end(), full.out.begin()));
        if (c.method == 8)
            EXPECT_EQ(half.status, DecodeStatus::DataError);   // the stream goes on past the size
        else
            EXPECT_EQ(half.status, DecodeStatus::Ok);
    }
}

TEST(DamagedMembers, RefusedOutputStopsTheDecoder)
{
    QUILLON_NEED_CORPUS();
    for (const TCorpusCase &c : kDamageSources) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member);
        const TLoadedMember l = Load(c);
        const TResult r = RunDecoder(l.packed.data(), l.packed.size(), l.params, 0);
        EXPECT_EQ(r.status, DecodeStatus::OutputError);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(DamagedMembers, SeededRandomBytes)
{
    std::mt19937 rng(20240601);
    const int methods[] = {0, 1, 2, 3, 4, 5, 6, 8, 9};
    for (int method : methods) {
        for (uint16_t flags : {uint16_t(0), uint16_t(2), uint16_t(4), uint16_t(6)}) {
            for (int round = 0; round < 25; ++round) {
                Bytes data(1 + rng() % 4096);
                for (uint8_t &b : data)
                    b = static_cast<uint8_t>(rng());
                const uint64_t declared = rng() % 200000;
                SCOPED_TRACE("method " + std::to_string(method) + " flags " + std::to_string(flags) +
                             " round " + std::to_string(round));
                DecodeParams p;
                p.method = method;
                p.flags = flags;
                p.packedSize = data.size();
                p.unpackedSize = declared;
                const TResult r = RunDecoder(data.data(), data.size(), p);
                EXPECT_LE(r.out.size(), declared);
                EXPECT_LE(r.inputGiven, data.size());
                if (r.status == DecodeStatus::Ok)
                    EXPECT_EQ(r.out.size(), declared);
                else
                    EXPECT_NE(r.status, DecodeStatus::OutputError);
            }
        }
    }
}

} // namespace
