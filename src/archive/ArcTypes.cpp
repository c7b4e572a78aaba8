// The archive types' names and the date conversions every format reader needs.
#include "archive/ArcTypes.h"

#include "platform/DosTime.h"

#include <iterator>

namespace {

const char *const kTypeNames[] = {
    "NA", "Unsupported", "FileError", "Unknown", "ARJ", "ArjExe", "ARC", "ArcExe", "BH", "BHExe", "CAB",
    "GZip", "HA", "LHA", "LhaExe", "LZH", "LzhExe", "PAK", "PakExe", "RAR", "RarExe", "TAR", "ZIP", "ZipExe",
    "Zip250", "Zip250Exe", "ZOO", "SevenZip", "XZ", "BZip2", "Zstd", "ISO",
};

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

// Days between 1899-12-30 (day 0 of TDateTime) and 1970-01-01.
constexpr int64_t kUnixEpochDays = 25569;

constexpr uint32_t kDos1980 = 0x00210000; // 1980-01-01 0:00: year 0, month 1, day 1

// 2000-01-01 0:00 UTC, well inside the range: tells which end an unpackable time is beyond.
constexpr int64_t kUnixMidRange = 946684800;

} // namespace

const char *ArcTypeName(TArcType type)
{
    const auto index = size_t(type);
    return index < std::size(kTypeNames) ? kTypeNames[index] : "?";
}

bool IsZipFamily(TArcType type)
{
    return type == TArcType::ZIP || type == TArcType::ZipExe || type == TArcType::Zip250 ||
           type == TArcType::Zip250Exe;
}

uint32_t NormalizedDosDateTime(uint32_t dosDateTime)
{
    return DosTimeValid(dosDateTime) ? dosDateTime : kDos1980;
}

TDateTime DosDateTimeToDateTime(uint32_t dosDateTime)
{
    const TDosFields f = UnpackDos(NormalizedDosDateTime(dosDateTime)).value_or(TDosFields{});
    const int64_t days = daysFromCivil(f.year, unsigned(f.month), unsigned(f.day)) + kUnixEpochDays;
    const double secs = f.hour * 3600.0 + f.minute * 60.0 + f.second;
    return double(days) + secs / 86400.0;
}

QString DosDateTimeToIso(uint32_t dosDateTime)
{
    return DosToIso(NormalizedDosDateTime(dosDateTime));
}

uint32_t UnixToDosDateTime(int64_t unixTime)
{
    const uint32_t packed = UnixToDos(unixTime);
    if (packed != 0)
        return packed;
    return unixTime < kUnixMidRange ? kDos1980 : PackDos({2099, 12, 31, 23, 59, 58});
}

TDateTime UnixToDateTime(int64_t unixTime)
{
    const int64_t local = unixTime + LocalOffsetAt(unixTime);
    return double(kUnixEpochDays) + double(local) / 86400.0;
}
