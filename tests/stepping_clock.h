#pragma once
// A clock whose seconds move on by one at every reading (past midnight to
// 0:00), so a wait for a file gives up after a known number of readings
// instead of 11 real seconds.
#include "platform/clock.h"

namespace quillpost::testing {

struct SteppingClock : platform::Clock {
    int secondOfDay;
    int readings = 0;
    explicit SteppingClock(int start = 8 * 3600) : secondOfDay(start) {}
    platform::CalendarTime LocalNow() override {
        ++readings;
        const int s = secondOfDay;
        secondOfDay = (secondOfDay + 1) % 86400;
        return {2026, 12, 8, s / 3600, s / 60 % 60, s % 60, 0};
    }
    std::uint32_t UtcMillisecondsOfDay() override { return 0; }
};

}  // namespace quillpost::testing
