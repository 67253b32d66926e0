#include "util/date_text.h"

#include <cstdio>

namespace quillpost {
namespace {

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

int ZoneBiasMinutes(const platform::TimeZoneInfo& zone) {
    switch (zone.ZoneId) {
        case platform::kTimeZoneIdStandard:
            return zone.Bias + zone.StandardBias;
        case platform::kTimeZoneIdDaylight:
            return zone.Bias + zone.DaylightBias;
        case platform::kTimeZoneIdInvalid:
            return 0;  // nothing trustworthy to go by
        default:
            return zone.Bias;
    }
}

TDateTime ToGmt(TDateTime localDateTime) {
    return ToGmt(localDateTime, platform::CurrentTimeZone());
}

TDateTime ToGmt(TDateTime localDateTime, const platform::TimeZoneInfo& zone) {
    return AddMilliseconds(localDateTime, ZoneBiasMinutes(zone) * 60'000LL);
}

std::string GmtDateText(TDateTime localDateTime) {
    return GmtDateText(localDateTime, platform::CurrentTimeZone());
}

std::string GmtDateText(TDateTime localDateTime, const platform::TimeZoneInfo& zone) {
    // The milliseconds are dropped: 59.9 seconds stay 59.
    const DateTimeParts g = DecodeDateTime(ToGmt(localDateTime, zone));
    char text[48];
    std::snprintf(text, sizeof text, "%s, %02d %s %4d %02d:%02d:%02d GMT", kDayNames[g.DayOfWeek],
                  g.Day, kMonthNames[g.Month - 1], g.Year, g.Hour, g.Minute, g.Second);
    return text;
}

}  // namespace quillpost
