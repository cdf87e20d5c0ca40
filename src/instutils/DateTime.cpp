#include "instutils/DateTime.h"

#include <cmath>

namespace {

const int kMsPerDay = 86400000;
const int kDaysTo1970 = 25569;   // 1899-12-30 to 1970-01-01
// Day numbers are held within a billion days (2.7 million years), where they and their arithmetic
// fit an int (so the 32-bit program divides them without the runtime's 64-bit division).
const double kDayLimit = 1e9;

// Proleptic Gregorian day numbers (days since 1970-01-01), after H. Hinnant's algorithms, for the
// years of a system time or a DOS date.
int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return int64_t{era} * 146097 + doe - 719468;
}

void CivilFromDays(int z, int& year, int& month, int& day) {
    z += 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = yoe + era * 400 + (month <= 2);
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

// Before 1899-12-30 the day count is negative and the time of day still counts forward.
double EncodeDateTime(const LocalTime& t) {
    double date = static_cast<double>(DaysFromCivil(t.year, t.month, t.day) + kDaysTo1970);
    double time = (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / kMsPerDay;
    return date < 0 ? date - time : date + time;
}

LocalTime DecodeDateTime(double value) {
    if (!(std::fabs(value) < kDayLimit)) value = value < 0 ? -kDayLimit : (value > 0 ? kDayLimit : 0);
    double whole = std::trunc(value);
    int days = static_cast<int>(whole);
    auto ms = static_cast<int>(std::nearbyint(std::fabs(value - whole) * kMsPerDay));
    if (ms >= kMsPerDay) {   // 23:59:59.9996 rounds into the next day, not to hour 24
        ms -= kMsPerDay;
        days += value < 0 ? -1 : 1;
    }
    LocalTime t;
    CivilFromDays(days - kDaysTo1970, t.year, t.month, t.day);
    t.hour = ms / 3600000;
    t.minute = ms / 60000 % 60;
    t.second = ms / 1000 % 60;
    t.millisecond = ms % 1000;
    return t;
}

uint32_t DateTimeToDos(double value) {
    // Far outside the DOS years, or not a number: no DOS form (and no overflow decoding it).
    if (!(std::fabs(value) < 1e6)) return 0;
    LocalTime t = DecodeDateTime(value);
    if (t.year < 1980 || t.year > 2099) return 0;
    return (static_cast<uint32_t>(t.year - 1980) << 25) | (static_cast<uint32_t>(t.month) << 21) |
           (static_cast<uint32_t>(t.day) << 16) | (static_cast<uint32_t>(t.hour) << 11) |
           (static_cast<uint32_t>(t.minute) << 5) | static_cast<uint32_t>(t.second / 2);
}

// A packed value that names no real moment (month 0, day 31 of April...) gives 0.
double DosToDateTime(uint32_t dos) {
    LocalTime t;
    t.year = static_cast<int>(dos >> 25) + 1980;
    t.month = static_cast<int>((dos >> 21) & 0xF);
    t.day = static_cast<int>((dos >> 16) & 0x1F);
    t.hour = static_cast<int>((dos >> 11) & 0x1F);
    t.minute = static_cast<int>((dos >> 5) & 0x3F);
    t.second = static_cast<int>(dos & 0x1F) * 2;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return 0;
    return EncodeDateTime(t);
}

double NowDateTime() { return EncodeDateTime(Sys().Now()); }
