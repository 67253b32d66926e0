#include "util/date_time.h"

#include <chrono>
#include <cmath>

#include "platform/clock.h"
#include "util/errors.h"

namespace quillpost {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1 March of year 0 (proleptic Gregorian) to 30 December 1899.
constexpr std::int64_t kEpochShift = 693'899;

// Day number of a civil date, counted from 1 March of year 0.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The value as milliseconds on a continuous line, 0 at 30 December 1899 00:00.
std::int64_t ToLine(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e9) throw EConvertError("Invalid date");
    const double whole = std::trunc(value);
    const auto ms = static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * kMsPerDay));
    return static_cast<std::int64_t>(whole) * kMsPerDay + ms;
}

TDateTime FromLine(std::int64_t line) {
    std::int64_t days = line / kMsPerDay;
    std::int64_t ms = line % kMsPerDay;
    if (ms < 0) {
        ms += kMsPerDay;
        --days;
    }
    const double fraction = static_cast<double>(ms) / kMsPerDay;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || millisecond < 0 || millisecond > 999)
        throw EConvertError("Invalid argument to date encode");
    const std::int64_t days = DaysFromCivil(year, month, day) - kEpochShift;
    const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    return FromLine(days * kMsPerDay + ms);
}

DateTimeParts DecodeDateTime(TDateTime value) {
    const std::int64_t line = ToLine(value);
    std::int64_t days = line / kMsPerDay;
    std::int64_t ms = line % kMsPerDay;
    if (ms < 0) {
        ms += kMsPerDay;
        --days;
    }
    DateTimeParts p;
    std::int64_t year;
    CivilFromDays(days + kEpochShift, year, p.Month, p.Day);
    p.Year = static_cast<int>(year);
    p.Hour = static_cast<int>(ms / 3'600'000);
    p.Minute = static_cast<int>(ms / 60'000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    // 30 December 1899 was a Saturday.
    p.DayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);
    return p;
}

TDateTime AddMilliseconds(TDateTime value, std::int64_t milliseconds) {
    return FromLine(ToLine(value) + milliseconds);
}

std::int64_t UnixSecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TDateTime Now() {
    const platform::CalendarTime t = platform::LocalNow();
    return EncodeDateTime(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond);
}

}  // namespace quillpost
