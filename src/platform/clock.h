#pragma once
// Wall-clock time: the local calendar time, the UTC time of day, and sleeping.
// Tests can put a fixed or stepping clock in place of the system's.
#include <cstdint>

namespace quillpost::platform {

// A calendar time as the system reports it; Month 1..12, Day 1..31.
struct CalendarTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual CalendarTime LocalNow() = 0;
    // Milliseconds since midnight UTC: ((h * 60 + m) * 60 + s) * 1000 + ms.
    virtual std::uint32_t UtcMillisecondsOfDay() = 0;
};

// The system's clock.
Clock& SystemClock();

// The clock in use: the system's unless a test replaced it.
Clock& CurrentClock();

inline CalendarTime LocalNow() { return CurrentClock().LocalNow(); }
inline std::uint32_t UtcMillisecondsOfDay() { return CurrentClock().UtcMillisecondsOfDay(); }

// Blocks the calling thread for about Milliseconds (never less).
void SleepMilliseconds(std::uint32_t milliseconds);

// Puts Clock in place of the system's for the life of this object, on the
// calling thread only (tests).
class ScopedClockOverride {
public:
    explicit ScopedClockOverride(Clock& clock);
    ~ScopedClockOverride();
    ScopedClockOverride(const ScopedClockOverride&) = delete;
    ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;

private:
    Clock* previous_;
};

}  // namespace quillpost::platform
