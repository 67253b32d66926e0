#include "platform/time_zone.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/test_programs.h"

namespace quillpost::platform {
namespace {

int TotalBias(const TimeZoneInfo& z) {
    if (z.ZoneId == kTimeZoneIdStandard) return z.Bias + z.StandardBias;
    if (z.ZoneId == kTimeZoneIdDaylight) return z.Bias + z.DaylightBias;
    return z.Bias;
}

// Local clock minus the zone's bias must land on the UTC clock, whatever zone
// the machine is in.
void ExpectZoneMatchesClocks() {
    TimeZoneInfo zone = SystemTimeZone();
    ASSERT_NE(zone.ZoneId, kTimeZoneIdInvalid);
    CalendarTime local = SystemClock().LocalNow();
    const long long utc = SystemClock().UtcMillisecondsOfDay();
    const long long localMs =
        ((local.Hour * 60LL + local.Minute) * 60 + local.Second) * 1000 + local.Millisecond;
    const long long day = 86'400'000;
    long long diff = ((localMs + TotalBias(zone) * 60'000LL - utc) % day + day) % day;
    if (diff > day / 2) diff -= day;
    // A wrong bias is off by whole minutes at least; the two readings may lie
    // seconds apart on a loaded machine.
    EXPECT_LT(std::llabs(diff), 30'000) << "bias " << TotalBias(zone);
}

TEST(TimeZone, BiasMatchesTheLocalAndUtcClocks) { ExpectZoneMatchesClocks(); }

struct ZoneCase {
    const char* tz;
    std::uint32_t id;
    int totalBias;
};

TEST(TimeZone, FollowsTheLocalZoneSettings) {
    const ZoneCase cases[] = {
        {"UTC0", kTimeZoneIdStandard, 0},
        {"EST5", kTimeZoneIdStandard, 300},
        {"IST-5:30", kTimeZoneIdStandard, -330},
        {"XST3XDT,J1/0,J365/24", kTimeZoneIdDaylight, 120},  // daylight saving all year
    };
    for (const ZoneCase& c : cases) {
        if (!testing::SetLocalZoneForTest(c.tz)) GTEST_SKIP() << "the zone cannot be set here";
        TimeZoneInfo zone = SystemTimeZone();
        EXPECT_EQ(zone.ZoneId, c.id) << c.tz;
        EXPECT_EQ(TotalBias(zone), c.totalBias) << c.tz;
        ExpectZoneMatchesClocks();
    }
    testing::RestoreLocalZone();
}

TEST(TimeZone, OverrideNestsAndRestores) {
    TimeZoneInfo a{kTimeZoneIdStandard, 100, 0, 0};
    TimeZoneInfo b{kTimeZoneIdDaylight, 200, 0, -60};
    const TimeZoneInfo system = SystemTimeZone();
    {
        ScopedTimeZoneOverride useA(a);
        EXPECT_EQ(CurrentTimeZone().Bias, 100);
        {
            ScopedTimeZoneOverride useB(b);
            EXPECT_EQ(CurrentTimeZone().Bias, 200);
        }
        EXPECT_EQ(CurrentTimeZone().Bias, 100);
    }
    EXPECT_EQ(CurrentTimeZone().Bias, system.Bias);
}

}  // namespace
}  // namespace quillpost::platform
