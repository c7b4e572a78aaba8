// Size fields of the search window: whole numbers, fractions moving one unit
// down, 64-bit results and text that is no number.
#include "search/SizeField.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct SizeCase {
    const char *typed;
    SizeUnit unit;
    std::optional<int64_t> bytes;
    const char *shownText;
    SizeUnit shownUnit;
};

class SizeToBytesTest : public testing::TestWithParam<SizeCase>
{
};

TEST_P(SizeToBytesTest, ConvertsAndShowsTheFieldBack)
{
    const SizeCase &c = GetParam();
    TSizeField field{QString::fromUtf8(c.typed), c.unit};
    EXPECT_EQ(SizeToBytes(field), c.bytes) << c.typed;
    EXPECT_EQ(field.text, QString::fromUtf8(c.shownText)) << c.typed;
    EXPECT_EQ(field.unit, c.shownUnit) << c.typed;
}

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Fields, SizeToBytesTest,
    testing::Values(SizeCase{"0", SizeUnit::Bytes, 0, "0", SizeUnit::Bytes},
                    SizeCase{"1", SizeUnit::KB, 1024, "1", SizeUnit::KB},
                    SizeCase{" 10 ", SizeUnit::Bytes, 10, "10", SizeUnit::Bytes},
                    // A fraction moves one unit down, once.
                    SizeCase{"1.5", SizeUnit::MB, 1536 * 1024, "1536", SizeUnit::KB},
                    SizeCase{"0.25", SizeUnit::GB, 256LL << 20, "256", SizeUnit::MB},
                    SizeCase{"1.1", SizeUnit::MB, 1126 * 1024, "1126", SizeUnit::KB},
                    SizeCase{"0.3", SizeUnit::KB, 307, "307", SizeUnit::Bytes},
                    SizeCase{"2.7", SizeUnit::Bytes, 2, "2", SizeUnit::Bytes},
                    // Sizes past 2 GiB keep their value: a search for files
                    // larger than 3 GB finds exactly those.
                    SizeCase{"3", SizeUnit::GB, 3LL << 30, "3", SizeUnit::GB},
                    SizeCase{"5", SizeUnit::TB, 5LL << 40, "5", SizeUnit::TB},
                    SizeCase{"9999999", SizeUnit::TB, kMax, "9999999", SizeUnit::TB},
                    SizeCase{"1e30", SizeUnit::Bytes, kMax, "9223372036854775807", SizeUnit::Bytes},
                    // Not a number: nothing, and the field stays as typed.
                    SizeCase{"abc", SizeUnit::MB, std::nullopt, "abc", SizeUnit::MB},
                    SizeCase{"", SizeUnit::KB, std::nullopt, "", SizeUnit::KB},
                    SizeCase{"nan", SizeUnit::KB, std::nullopt, "nan", SizeUnit::KB},
                    SizeCase{"1e999", SizeUnit::KB, std::nullopt, "1e999", SizeUnit::KB}));

} // namespace
