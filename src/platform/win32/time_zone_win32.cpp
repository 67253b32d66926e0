#include <windows.h>

#include "platform/time_zone.h"

namespace quillpost::platform {

TimeZoneInfo SystemTimeZone() {
    TIME_ZONE_INFORMATION tzi{};
    TimeZoneInfo zone;
    zone.ZoneId = GetTimeZoneInformation(&tzi);
    if (zone.ZoneId == TIME_ZONE_ID_INVALID) return zone;  // the structure holds nothing valid
    zone.Bias = tzi.Bias;
    zone.StandardBias = tzi.StandardBias;
    zone.DaylightBias = tzi.DaylightBias;
    return zone;
}

}  // namespace quillpost::platform
