#include <time.h>

#include "platform/time_zone.h"

namespace quillpost::platform {

TimeZoneInfo SystemTimeZone() {
    tzset();  // the settings may have changed since the last call
    time_t now = time(nullptr);
    tm local{};
    TimeZoneInfo zone;
    if (now == static_cast<time_t>(-1) || localtime_r(&now, &local) == nullptr) {
        zone.ZoneId = kTimeZoneIdInvalid;
        return zone;
    }
    // tm_gmtoff is seconds east of UTC with daylight saving already applied.
    zone.Bias = static_cast<std::int32_t>(-local.tm_gmtoff / 60);
    if (local.tm_isdst > 0)
        zone.ZoneId = kTimeZoneIdDaylight;
    else if (local.tm_isdst == 0)
        zone.ZoneId = kTimeZoneIdStandard;
    else
        zone.ZoneId = kTimeZoneIdUnknown;
    return zone;
}

}  // namespace quillpost::platform
