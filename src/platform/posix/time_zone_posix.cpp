#include <time.h>

#include <mutex>

#include "platform/time_zone.h"

namespace quillpost::platform {

// The C library locks its zone state itself, but out of ThreadSanitizer's
// sight; Mailers on several threads read it through this one lock, so the
// order is visible and the sanitizer run stays free of false reports.
bool LocalTimeOf(time_t seconds, tm& local) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    tzset();  // the settings may have changed since the last call
    return localtime_r(&seconds, &local) != nullptr;
}

TimeZoneInfo SystemTimeZone() {
    time_t now = time(nullptr);
    tm local{};
    TimeZoneInfo zone;
    if (now == static_cast<time_t>(-1) || !LocalTimeOf(now, local)) {
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
