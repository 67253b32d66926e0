#include "util/date_text.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "util/errors.h"

namespace quillpost {
namespace {

using platform::kTimeZoneIdDaylight;
using platform::kTimeZoneIdInvalid;
using platform::kTimeZoneIdStandard;
using platform::kTimeZoneIdUnknown;
using platform::TimeZoneInfo;

TimeZoneInfo Zone(std::uint32_t id, int bias, int standardBias = 0, int daylightBias = 0) {
    TimeZoneInfo z;
    z.ZoneId = id;
    z.Bias = bias;
    z.StandardBias = standardBias;
    z.DaylightBias = daylightBias;
    return z;
}

struct DateCase {
    const char* name;
    int y, mo, d, h, mi, s, ms;
    TimeZoneInfo zone;
    const char* expected;
};

class GmtDateTextTable : public ::testing::TestWithParam<DateCase> {};

TEST_P(GmtDateTextTable, WritesTheGreenwichText) {
    const DateCase& c = GetParam();
    TDateTime local = EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
    EXPECT_EQ(GmtDateText(local, c.zone), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GmtDateTextTable,
    ::testing::Values(
        DateCase{"Greenwich", 1998, 12, 8, 3, 21, 19, 0, Zone(kTimeZoneIdStandard, 0),
                 "Tue, 08 Dec 1998 03:21:19 GMT"},
        DateCase{"LeadingZeros", 1999, 1, 3, 4, 5, 6, 0, Zone(kTimeZoneIdStandard, 0),
                 "Sun, 03 Jan 1999 04:05:06 GMT"},
        DateCase{"WestMovesLater", 2026, 5, 1, 10, 0, 0, 0, Zone(kTimeZoneIdStandard, 300),
                 "Fri, 01 May 2026 15:00:00 GMT"},
        DateCase{"EastBeforeMidnightGoesBackAYear", 2000, 1, 1, 0, 30, 0, 0,
                 Zone(kTimeZoneIdStandard, -60), "Fri, 31 Dec 1999 23:30:00 GMT"},
        DateCase{"WestAfterSevenGoesIntoNextYear", 1998, 12, 31, 19, 30, 0, 0,
                 Zone(kTimeZoneIdStandard, 300), "Fri, 01 Jan 1999 00:30:00 GMT"},
        DateCase{"IntoLeapDay", 2000, 2, 28, 23, 0, 0, 0, Zone(kTimeZoneIdStandard, 120),
                 "Tue, 29 Feb 2000 01:00:00 GMT"},
        DateCase{"NoLeapDayIn1900", 1900, 2, 28, 23, 0, 0, 0, Zone(kTimeZoneIdStandard, 120),
                 "Thu, 01 Mar 1900 01:00:00 GMT"},
        DateCase{"MonthChangeAtHalfDayBias", 2026, 4, 30, 13, 0, 0, 0,
                 Zone(kTimeZoneIdStandard, 720), "Fri, 01 May 2026 01:00:00 GMT"},
        DateCase{"HalfHourZone", 2026, 5, 1, 5, 0, 0, 0, Zone(kTimeZoneIdStandard, -330),
                 "Thu, 30 Apr 2026 23:30:00 GMT"},
        DateCase{"FractionIsDropped", 2026, 5, 1, 12, 0, 59, 900, Zone(kTimeZoneIdStandard, 0),
                 "Fri, 01 May 2026 12:00:59 GMT"},
        DateCase{"LastMillisecondOfTheDay", 2026, 5, 1, 23, 59, 59, 999,
                 Zone(kTimeZoneIdStandard, 0), "Fri, 01 May 2026 23:59:59 GMT"},
        DateCase{"DaylightBiasAdded", 2026, 5, 1, 12, 0, 0, 0, Zone(kTimeZoneIdDaylight, 0, 0, -60),
                 "Fri, 01 May 2026 11:00:00 GMT"},
        DateCase{"DaylightBiasUnusedInStandardTime", 2026, 5, 1, 12, 0, 0, 0,
                 Zone(kTimeZoneIdStandard, 0, 0, -60), "Fri, 01 May 2026 12:00:00 GMT"},
        DateCase{"StandardBiasAdded", 2026, 5, 1, 12, 0, 0, 0,
                 Zone(kTimeZoneIdStandard, 300, 15, -60), "Fri, 01 May 2026 17:15:00 GMT"},
        DateCase{"UnknownStateUsesBiasAlone", 2026, 5, 1, 12, 0, 0, 0,
                 Zone(kTimeZoneIdUnknown, 60, 15, -60), "Fri, 01 May 2026 13:00:00 GMT"},
        DateCase{"FailedQueryCountsAsGreenwich", 2026, 5, 1, 12, 0, 0, 0,
                 Zone(kTimeZoneIdInvalid, 300, 15, -60), "Fri, 01 May 2026 12:00:00 GMT"},
        DateCase{"YearPaddedWithSpaces", 999, 6, 15, 12, 0, 0, 0, Zone(kTimeZoneIdStandard, 0),
                 "Sat, 15 Jun  999 12:00:00 GMT"},
        DateCase{"FirstYear", 1, 1, 1, 0, 0, 0, 0, Zone(kTimeZoneIdStandard, 0),
                 "Mon, 01 Jan    1 00:00:00 GMT"},
        DateCase{"BeforeDayZeroMovesTheRightWay", 1899, 12, 29, 6, 0, 0, 0,
                 Zone(kTimeZoneIdStandard, 300), "Fri, 29 Dec 1899 11:00:00 GMT"},
        DateCase{"AcrossDayZero", 1899, 12, 30, 0, 30, 0, 0, Zone(kTimeZoneIdStandard, -60),
                 "Fri, 29 Dec 1899 23:30:00 GMT"},
        DateCase{"LastDay", 9999, 12, 31, 12, 0, 0, 0, Zone(kTimeZoneIdStandard, 0),
                 "Fri, 31 Dec 9999 12:00:00 GMT"}),
    [](const ::testing::TestParamInfo<DateCase>& info) { return std::string(info.param.name); });

TEST(DateTime, DayNumbersMatchTheCalendar) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDateTime(1998, 12, 8, 12), 36137.5);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
    DateTimeParts p = DecodeDateTime(-1.25);
    EXPECT_EQ(p.Year * 10000 + p.Month * 100 + p.Day, 18991229);
    EXPECT_EQ(p.Hour, 6);
}

TEST(DateTime, RejectsDatesThatDoNotExist) {
    EXPECT_THROW(EncodeDateTime(1900, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDateTime(2026, 13, 1), EConvertError);
    EXPECT_THROW(EncodeDateTime(2026, 1, 1, 24), EConvertError);
    EXPECT_NO_THROW(EncodeDateTime(2000, 2, 29));
    EXPECT_THROW(GmtDateText(std::numeric_limits<double>::quiet_NaN(), Zone(1, 0)), EConvertError);
}

struct FixedClock : platform::Clock {
    platform::CalendarTime now;
    platform::CalendarTime LocalNow() override { return now; }
    std::uint32_t UtcMillisecondsOfDay() override { return 0; }
};

TEST(DateTime, NowAndTheCurrentZoneComeFromTheServicesInUse) {
    FixedClock clock;
    clock.now = {2026, 12, 8, 18, 5, 7, 250};
    platform::ScopedClockOverride useClock(clock);
    platform::ScopedTimeZoneOverride useZone(Zone(kTimeZoneIdDaylight, -60, 0, -60));
    EXPECT_EQ(GmtDateText(Now()), "Tue, 08 Dec 2026 16:05:07 GMT");
    EXPECT_EQ(DecodeDateTime(Now()).Millisecond, 250);
}

}  // namespace
}  // namespace quillpost
