// Packing and unpacking of DOS date-times under one rule (see DosTime.h), for
// the catalog, the disk scan and the archive readers alike.
#include "platform/DosTime.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = 2099;
// 1980-01-01 and 2100-01-01 in UTC, widened by a day for any local offset:
// outside these no local time falls in range, and time_t stays small.
constexpr int64_t kFirstUnix = 315532800 - 86400;
constexpr int64_t kEndUnix = 4102444800 + 86400;

bool leapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

bool fieldsValid(const TDosFields &f)
{
    return f.year >= kFirstYear && f.year <= kLastYear && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= daysInMonth(f.year, f.month) && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 &&
           f.minute <= 59 && f.second >= 0 && f.second <= 59;
}

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// The local zone's offset from UTC (seconds east) at instant t.
bool localOffsetAt(int64_t t, int32_t &offset)
{
    const time_t tt = time_t(t);
    struct tm parts;
    if (!localtime_r(&tt, &parts))
        return false;
    offset = int32_t(parts.tm_gmtoff);
    return true;
}

// Days since 1970-01-01 to a civil date (the proleptic Gregorian calendar;
// the well-known era arithmetic, exact for every 64-bit day count we pass).
void civilFromDays(int64_t z, int64_t &year, unsigned &month, unsigned &day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = int64_t(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

// Local seconds since 1970-01-01 (wall clock counted as if UTC) packed.
uint32_t packLocalSeconds(int64_t local)
{
    const int64_t days = floorDiv(local, 86400);
    const int64_t secondOfDay = local - days * 86400;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, year, month, day);
    if (year < kFirstYear || year > kLastYear)
        return 0;
    return PackDos({int(year), int(month), int(day), int(secondOfDay / 3600), int(secondOfDay % 3600 / 60),
                    int(secondOfDay % 60)});
}

} // namespace

std::optional<TDosFields> UnpackDos(uint32_t packed)
{
    TDosFields f;
    f.year = kFirstYear + int(packed >> 25);
    f.month = int((packed >> 21) & 0x0F);
    f.day = int((packed >> 16) & 0x1F);
    f.hour = int((packed >> 11) & 0x1F);
    f.minute = int((packed >> 5) & 0x3F);
    f.second = int(packed & 0x1F) * 2;
    if (!fieldsValid(f))
        return std::nullopt;
    return f;
}

bool DosTimeValid(uint32_t packed)
{
    return UnpackDos(packed).has_value();
}

uint32_t PackDos(const TDosFields &f)
{
    if (!fieldsValid(f))
        return 0;
    return (uint32_t(f.year - kFirstYear) << 25) | (uint32_t(f.month) << 21) | (uint32_t(f.day) << 16) |
           (uint32_t(f.hour) << 11) | (uint32_t(f.minute) << 5) | uint32_t(f.second / 2);
}

QDateTime DosToDateTime(uint32_t packed)
{
    const std::optional<TDosFields> f = UnpackDos(packed);
    if (!f)
        return {};
    return QDateTime(QDate(f->year, f->month, f->day), QTime(f->hour, f->minute, f->second));
}

uint32_t DateTimeToDos(const QDateTime &dt)
{
    if (!dt.isValid())
        return 0;
    const QDateTime local = dt.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return PackDos({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
}

QString DosToIso(uint32_t packed)
{
    const std::optional<TDosFields> f = UnpackDos(packed);
    if (!f)
        return {};
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", f->year, f->month, f->day, f->hour, f->minute,
                  f->second);
    return QString::fromLatin1(buf);
}

int32_t LocalOffsetAt(int64_t unixSeconds)
{
    int32_t offset = 0;
    return localOffsetAt(unixSeconds, offset) ? offset : 0;
}

uint32_t UnixToDos(int64_t unixSeconds)
{
    if (unixSeconds < kFirstUnix || unixSeconds >= kEndUnix)
        return 0;
    int32_t offset = 0;
    if (!localOffsetAt(unixSeconds, offset))
        return 0;
    return packLocalSeconds(unixSeconds + offset);
}

std::optional<int64_t> DosToUnix(uint32_t packed)
{
    const std::optional<TDosFields> f = UnpackDos(packed);
    if (!f)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = f->year - 1900;
    tm.tm_mon = f->month - 1;
    tm.tm_mday = f->day;
    tm.tm_hour = f->hour;
    tm.tm_min = f->minute;
    tm.tm_sec = f->second;
    tm.tm_isdst = -1;
    const time_t t = std::mktime(&tm);
    if (t == time_t(-1))
        return std::nullopt;
    return int64_t(t);
}

uint32_t TDosTimeConverter::convert(int64_t t)
{
    if (t < kFirstUnix || t >= kEndUnix)
        return 0;
    const int64_t hour = floorDiv(t, 3600);
    Slot &slot = m_slots[size_t(hour & 63)];
    if (slot.hour != hour) {
        int32_t atStart = 0, atEnd = 0;
        if (!localOffsetAt(hour * 3600, atStart) || !localOffsetAt(hour * 3600 + 3599, atEnd)) {
            slot.hour = INT64_MIN;
            return 0;
        }
        slot.hour = hour;
        slot.offset = atStart;
        slot.uniform = atStart == atEnd;
    }
    int32_t offset = slot.offset;
    if (!slot.uniform && !localOffsetAt(t, offset))
        return 0;
    return packLocalSeconds(t + offset);
}
