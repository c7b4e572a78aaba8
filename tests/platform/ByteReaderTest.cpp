// The bounds-checked byte reader: little-endian values, strings with limits,
// and the sticky failure of every read that would pass the end.
#include "platform/ByteReader.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <functional>
#include <string>

namespace {

const QByteArray kBytes = QByteArray::fromHex("0102030405060708090a");

TEST(ByteReaderTest, ReadsLittleEndianValuesInOrder)
{
    TByteReader r(kBytes);
    EXPECT_EQ(r.u8(), 0x01u);
    EXPECT_EQ(r.u16le(), 0x0302u);
    EXPECT_EQ(r.u32le(), 0x07060504u);
    EXPECT_EQ(r.pos(), 7);
    EXPECT_EQ(r.remaining(), 3);
    EXPECT_FALSE(r.failed());
    const QByteArray wide = QByteArray::fromHex("f0debc9a78563412");
    TByteReader w(wide);
    EXPECT_EQ(w.u64le(), 0x123456789ABCDEF0ull);
    EXPECT_TRUE(w.atEnd());
    EXPECT_FALSE(w.failed());
}

// One read that does not fit what is left: it yields 0 or nothing, the cursor
// goes to the end, and the failure stays for every later read.
struct OverrunCase {
    const char *name;
    qsizetype before; // bytes skipped first
    std::function<uint64_t(TByteReader &)> read;
};

class ByteReaderOverrun : public testing::TestWithParam<OverrunCase>
{
};

TEST_P(ByteReaderOverrun, YieldsZeroAndStaysFailed)
{
    const OverrunCase &c = GetParam();
    TByteReader r(kBytes);
    r.skip(c.before);
    ASSERT_FALSE(r.failed());
    EXPECT_EQ(c.read(r), 0u);
    EXPECT_TRUE(r.failed());
    EXPECT_TRUE(r.atEnd());
    r.seek(0); // a seek back does not clear the failure
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.u8(), 0x01u);
    EXPECT_TRUE(r.failed());
}

INSTANTIATE_TEST_SUITE_P(
    Reads, ByteReaderOverrun,
    testing::Values(OverrunCase{"u8", 10, [](TByteReader &r) { return r.u8(); }},
                    OverrunCase{"u16", 9, [](TByteReader &r) { return r.u16le(); }},
                    OverrunCase{"u32", 7, [](TByteReader &r) { return r.u32le(); }},
                    OverrunCase{"u64", 3, [](TByteReader &r) { return r.u64le(); }},
                    OverrunCase{"bytes", 5, [](TByteReader &r) { return uint64_t(r.bytes(6).size()); }},
                    OverrunCase{"negativeBytes", 0, [](TByteReader &r) { return uint64_t(r.bytes(-1).size()); }},
                    OverrunCase{"fixedString", 8, [](TByteReader &r) { return uint64_t(r.fixedString(3).size()); }},
                    OverrunCase{"unterminated", 0,
                                [](TByteReader &r) { return uint64_t(r.zeroTerminated(100).size()); }},
                    OverrunCase{"skip", 4, [](TByteReader &r) { return r.skip(7), uint64_t(0); }},
                    OverrunCase{"negativeSkip", 4, [](TByteReader &r) { return r.skip(-1), uint64_t(0); }},
                    OverrunCase{"seekPastEnd", 0, [](TByteReader &r) { return r.seek(11), uint64_t(0); }},
                    OverrunCase{"seekNegative", 0, [](TByteReader &r) { return r.seek(-1), uint64_t(0); }}),
    [](const testing::TestParamInfo<OverrunCase> &info) { return std::string(info.param.name); });

TEST(ByteReaderTest, ReadsUpToTheLastByteWithoutFailing)
{
    TByteReader r(kBytes);
    EXPECT_EQ(r.bytes(6), QByteArrayView(kBytes).first(6));
    EXPECT_EQ(r.u32le(), 0x0A090807u);
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(r.failed());
    EXPECT_TRUE(r.bytes(0).isEmpty());
    EXPECT_FALSE(r.failed());
    r.seek(10);
    EXPECT_FALSE(r.failed());
}

struct StringCase {
    const char *name;
    QByteArray data;
    qsizetype limit;
    QByteArray expected;
    qsizetype posAfter;
};

class ByteReaderZeroTerminated : public testing::TestWithParam<StringCase>
{
};

TEST_P(ByteReaderZeroTerminated, KeepsAtMostTheLimitAndPassesTheTerminator)
{
    const StringCase &c = GetParam();
    TByteReader r(c.data);
    EXPECT_EQ(r.zeroTerminated(c.limit).toByteArray(), c.expected);
    EXPECT_FALSE(r.failed());
    EXPECT_EQ(r.pos(), c.posAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ByteReaderZeroTerminated,
    testing::Values(StringCase{"whole", QByteArray("name\0rest", 9), 255, "name", 5},
                    StringCase{"cut", QByteArray("longname\0x", 10), 4, "long", 9},
                    StringCase{"empty", QByteArray("\0abc", 4), 10, "", 1},
                    StringCase{"noLimit", QByteArray("abc\0", 4), -1, "abc", 4}),
    [](const testing::TestParamInfo<StringCase> &info) { return std::string(info.param.name); });

TEST(ByteReaderTest, FixedStringStopsAtItsFirstNulButMovesPastTheField)
{
    const QByteArray field("ab\0\0cdefgh", 10);
    TByteReader r(field);
    EXPECT_EQ(r.fixedString(4).toByteArray(), QByteArray("ab"));
    EXPECT_EQ(r.pos(), 4);
    EXPECT_EQ(r.fixedString(3).toByteArray(), QByteArray("cde"));
    EXPECT_FALSE(r.failed());
}

TEST(ByteReaderTest, ValuesAtFixedOffsetsAreZeroOutside)
{
    EXPECT_EQ(TByteReader::u16At(kBytes, 8), 0x0A09u);
    EXPECT_EQ(TByteReader::u32At(kBytes, 6), 0x0A090807u);
    EXPECT_EQ(TByteReader::u64At(kBytes, 2), 0x0A09080706050403ull);
    EXPECT_EQ(TByteReader::u16At(kBytes, 9), 0u);
    EXPECT_EQ(TByteReader::u32At(kBytes, 7), 0u);
    EXPECT_EQ(TByteReader::u64At(kBytes, 3), 0u);
    EXPECT_EQ(TByteReader::u32At(kBytes, -1), 0u);
    EXPECT_EQ(TByteReader::u32At(QByteArrayView(), 0), 0u);
}

} // namespace
