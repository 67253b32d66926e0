#pragma once
// Date-time values: days since 30 December 1899 with the time of day as the
// fraction. Before that day the whole part counts back and the fraction is
// still the time of day (-1.25 is 29 December 1899, 06:00).
#include <cstdint>

namespace quillpost {

using TDateTime = double;

struct DateTimeParts {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    int DayOfWeek = 0;  // 0 Sunday .. 6 Saturday
};

// Raises EConvertError for a date or time that does not exist.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);

// Decodes to the nearest millisecond (the resolution of the values).
// Raises EConvertError for a value out of any calendar's reach (NaN,
// infinities, beyond +-10^9 days).
DateTimeParts DecodeDateTime(TDateTime value);

// Value moved by a number of milliseconds along the time line (safe for
// values before 30 December 1899, unlike plain addition).
TDateTime AddMilliseconds(TDateTime value, std::int64_t milliseconds);

// The current local date and time, from the clock in use.
TDateTime Now();

// Seconds since 1970-01-01 UTC from the system's clock (a signature's t=
// and the time in a Message-ID).
std::int64_t UnixSecondsNow();

}  // namespace quillpost
