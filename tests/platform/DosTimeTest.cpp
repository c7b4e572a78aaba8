// Tests of the packed DOS date-time: which words are times (tables of field
// values at and past every limit), packing back, the text form, and Unix
// seconds to local time in zones with and without summer time, at both ends
// of the range and on either side of a change of offset.
#include "platform/DosTime.h"
#include "ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// The word of the given fields, packed by hand so the test does not lean on PackDos.
constexpr uint32_t word(unsigned year, unsigned month, unsigned day, unsigned hour = 0, unsigned minute = 0,
                        unsigned sec2 = 0)
{
    return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) | (minute << 5) | sec2;
}

struct WordCase {
    const char *what;
    uint32_t packed;
    const char *iso; // "" when the word is no time
};

const WordCase kWords[] = {
    {"zero is no time", 0, ""},
    {"first time", word(1980, 1, 1), "1980-01-01T00:00:00"},
    {"an ordinary time", word(1994, 6, 15, 12, 34, 28), "1994-06-15T12:34:56"},
    {"last time", word(2099, 12, 31, 23, 59, 29), "2099-12-31T23:59:58"},
    {"2100 is past the range", word(2100, 1, 1), ""},
    {"2107, the largest year field", word(2107, 12, 31), ""},
    {"month 0", word(1994, 0, 15), ""},
    {"month 13", word(1994, 13, 15), ""},
    {"month 15", word(1994, 15, 15), ""},
    {"day 0", word(1994, 6, 0), ""},
    {"31 April", word(1994, 4, 31), ""},
    {"31 May", word(1994, 5, 31), "1994-05-31T00:00:00"},
    {"29 February of a leap year", word(2000, 2, 29), "2000-02-29T00:00:00"},
    {"29 February of a common year", word(2001, 2, 29), ""},
    {"30 February", word(2000, 2, 30), ""},
    {"hour 23", word(1994, 6, 15, 23), "1994-06-15T23:00:00"},
    {"hour 24", word(1994, 6, 15, 24), ""},
    {"hour 31", word(1994, 6, 15, 31), ""},
    {"minute 60", word(1994, 6, 15, 12, 60), ""},
    {"minute 63", word(1994, 6, 15, 12, 63), ""},
    {"second 60", word(1994, 6, 15, 12, 0, 30), ""},
    {"second 62", word(1994, 6, 15, 12, 0, 31), ""},
    {"all bits set", 0xFFFFFFFFu, ""},
    {"month 0 with low bits set", 0x00FF00FFu, ""},
};

TEST(DosTime, WordsAreTimesOnlyWhenEveryFieldIs)
{
    for (const WordCase &c : kWords) {
        SCOPED_TRACE(c.what);
        const bool valid = *c.iso != 0;
        EXPECT_EQ(DosTimeValid(c.packed), valid);
        EXPECT_EQ(UnpackDos(c.packed).has_value(), valid);
        EXPECT_EQ(DosToIso(c.packed), QString::fromLatin1(c.iso));
        const QDateTime dt = DosToDateTime(c.packed);
        EXPECT_EQ(dt.isValid(), valid);
        if (!valid)
            continue;
        EXPECT_EQ(dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")), QString::fromLatin1(c.iso));
        EXPECT_EQ(PackDos(*UnpackDos(c.packed)), c.packed);
        EXPECT_EQ(DateTimeToDos(dt), c.packed);
    }
}

TEST(DosTime, FieldsOutsideTheRulePackToZero)
{
    const struct {
        const char *what;
        TDosFields fields;
        uint32_t packed;
    } cases[] = {
        {"first second", {1980, 1, 1, 0, 0, 0}, word(1980, 1, 1)},
        {"odd second rounds down", {1994, 6, 15, 12, 34, 57}, word(1994, 6, 15, 12, 34, 28)},
        {"second 59", {2099, 12, 31, 23, 59, 59}, word(2099, 12, 31, 23, 59, 29)},
        {"1979", {1979, 12, 31, 23, 59, 58}, 0},
        {"2100", {2100, 1, 1, 0, 0, 0}, 0},
        {"month 13", {1994, 13, 1, 0, 0, 0}, 0},
        {"29 February 2001", {2001, 2, 29, 0, 0, 0}, 0},
        {"hour 24", {1994, 6, 15, 24, 0, 0}, 0},
        {"minute -1", {1994, 6, 15, 0, -1, 0}, 0},
        {"second 60", {1994, 6, 15, 0, 0, 60}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PackDos(c.fields), c.packed);
    }
    EXPECT_EQ(DateTimeToDos(QDateTime()), 0u);
    EXPECT_EQ(DateTimeToDos(QDateTime(QDate(1979, 12, 31), QTime(23, 59, 58))), 0u);
    EXPECT_EQ(DateTimeToDos(QDateTime(QDate(2100, 1, 1), QTime(0, 0))), 0u);
}

struct UnixCase {
    const char *zone;
    int64_t unixSeconds;
    const char *iso; // local time, "" when outside the range
};

const UnixCase kUnix[] = {
    {"UTC", 315532800, "1980-01-01T00:00:00"},
    {"UTC", 315532799, ""},
    {"UTC", 771683696, "1994-06-15T12:34:56"},
    {"UTC", 771683697, "1994-06-15T12:34:56"},
    {"UTC", 4102444799, "2099-12-31T23:59:58"},
    {"UTC", 4102444800, ""},
    {"UTC", 0, ""},
    {"UTC", -1, ""},
    {"UTC", int64_t(1) << 40, ""},
    {"UTC", -(int64_t(1) << 40), ""},
    // 1979 in UTC but 1980 on the local clock, and the other way round.
    {"Europe/Berlin", 315529200, "1980-01-01T00:00:00"},
    {"America/New_York", 315532800, ""},
    {"America/New_York", 315550800, "1980-01-01T00:00:00"},
    {"Asia/Tokyo", 4102412400, ""},
    {"Asia/Tokyo", 4102412399, "2099-12-31T23:59:58"},
    // Winter and summer of one year: each instant takes its own day's offset.
    {"Europe/Berlin", 1577836800, "2020-01-01T01:00:00"},
    {"Europe/Berlin", 1593561600, "2020-07-01T02:00:00"},
    {"America/New_York", 1577836800, "2019-12-31T19:00:00"},
    {"America/New_York", 1593561600, "2020-06-30T20:00:00"},
    // Either side of the European change of 28 March 2021, 01:00 UTC.
    {"Europe/Berlin", 1616893199, "2021-03-28T01:59:58"},
    {"Europe/Berlin", 1616893200, "2021-03-28T03:00:00"},
    // Half-hour offsets.
    {"America/St_Johns", 1593561600, "2020-06-30T21:30:00"},
    {"Australia/Lord_Howe", 1577836800, "2020-01-01T11:00:00"},
    {"Australia/Lord_Howe", 1593561600, "2020-07-01T10:30:00"},
};

TEST(DosTime, UnixSecondsTakeTheLocalOffsetOfTheirOwnInstant)
{
    for (const UnixCase &c : kUnix) {
        SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.unixSeconds));
        ScopedTimeZone tz(c.zone);
        const uint32_t packed = UnixToDos(c.unixSeconds);
        EXPECT_EQ(DosToIso(packed), QString::fromLatin1(c.iso));
        EXPECT_EQ(packed == 0, *c.iso == 0);
        TDosTimeConverter converter;
        EXPECT_EQ(converter.convert(c.unixSeconds), packed);
        EXPECT_EQ(converter.convert(c.unixSeconds), packed) << "from the cached hour";
        if (packed != 0) {
            // Back to Unix seconds: the same instant, to the even second.
            EXPECT_EQ(DosToUnix(packed), c.unixSeconds - (c.unixSeconds & 1));
        }
    }
}

TEST(DosTime, NoUnixSecondsForWordsThatAreNoTime)
{
    for (const WordCase &c : kWords) {
        SCOPED_TRACE(c.what);
        if (*c.iso == 0) {
            EXPECT_FALSE(DosToUnix(c.packed).has_value());
        }
    }
}

} // namespace
