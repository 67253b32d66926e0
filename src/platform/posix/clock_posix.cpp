#include <time.h>

#include <cerrno>

#include "platform/clock.h"

namespace quillpost::platform {

// Local time of Seconds with the zone settings read afresh (time_zone_posix.cpp).
bool LocalTimeOf(time_t seconds, tm& local);

namespace {

class PosixClock : public Clock {
public:
    CalendarTime LocalNow() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm local{};
        LocalTimeOf(ts.tv_sec, local);  // follows changes of TZ and of the zone files
        CalendarTime t;
        t.Year = local.tm_year + 1900;
        t.Month = local.tm_mon + 1;
        t.Day = local.tm_mday;
        t.Hour = local.tm_hour;
        t.Minute = local.tm_min;
        t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second reads as :59
        t.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
        return t;
    }

    std::uint32_t UtcMillisecondsOfDay() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        auto secondOfDay = static_cast<std::uint32_t>(ts.tv_sec % 86400);
        return secondOfDay * 1000u + static_cast<std::uint32_t>(ts.tv_nsec / 1000000);
    }
};

}  // namespace

Clock& SystemClock() {
    static PosixClock clock;
    return clock;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace quillpost::platform
