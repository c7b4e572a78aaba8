// The packed DOS date-time that catalogs and archives store: one 32-bit word
// holding a local wall-clock time, the date in the high 16 bits.
//
//   bits 31-25  year - 1980     bits 15-11  hour (0-23)
//   bits 24-21  month (1-12)    bits 10-5   minute (0-59)
//   bits 20-16  day (1-31)      bits 4-0    second / 2 (0-29)
//
// The one rule, both ways: a packed value is a time only when every field is
// a real date and time of 1980-2099 (local time); anything else, 0 among it,
// is "no time". Times outside 1980-2099 pack to 0. Seconds round down to even.
#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The fields of a packed DOS date-time, second in full seconds (even).
struct TDosFields {
    int year = 1980;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The fields of packed; nothing for 0, a field out of range, a day the month
// does not have, or a year past 2099.
std::optional<TDosFields> UnpackDos(uint32_t packed);
// Whether packed is a time under the rule above.
bool DosTimeValid(uint32_t packed);
// The fields packed; 0 when they are no date-time of 1980-2099. Odd seconds
// round down.
uint32_t PackDos(const TDosFields &fields);

// Packed DOS date-time (local time) to a date-time; invalid for 0 or a bad value.
QDateTime DosToDateTime(uint32_t packed);
// A date-time in local time, packed; 0 outside 1980-2099 or when invalid.
uint32_t DateTimeToDos(const QDateTime &dt);
// ISO 8601 text of packed ("1994-06-15T12:34:56"); empty when it is no time.
QString DosToIso(uint32_t packed);

// The local zone's offset from UTC in seconds east at that instant (the
// offset of that day, summer or winter time, not today's); 0 when the C
// library cannot tell.
int32_t LocalOffsetAt(int64_t unixSeconds);

// Unix seconds to the packed local time at that instant (the zone's offset of
// that day, not today's); 0 outside 1980-2099.
uint32_t UnixToDos(int64_t unixSeconds);
// Packed local time to Unix seconds, as the C library resolves local time
// (a time in a skipped hour moves forward); nothing when packed is no time.
std::optional<int64_t> DosToUnix(uint32_t packed);

// UnixToDos for millions of calls: keeps the local time offset per hour, so
// converting costs little; an hour with a change of offset inside it is
// converted exactly each time. Same results as UnixToDos.
class TDosTimeConverter
{
public:
    uint32_t convert(int64_t unixSeconds);

private:
    struct Slot {
        int64_t hour = INT64_MIN;
        int32_t offset = 0;
        bool uniform = false;
    };
    std::array<Slot, 64> m_slots;
};
