#include "platform/time_zone.h"

#include <mutex>
#include <optional>

namespace quillpost::platform {

namespace {
std::mutex g_mutex;
std::optional<TimeZoneInfo> g_override;
}  // namespace

TimeZoneInfo CurrentTimeZone() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_override) return *g_override;
    }
    return SystemTimeZone();
}

ScopedTimeZoneOverride::ScopedTimeZoneOverride(const TimeZoneInfo& zone) {
    std::lock_guard<std::mutex> lock(g_mutex);
    hadPrevious_ = g_override.has_value();
    previous_ = g_override.value_or(TimeZoneInfo{});
    g_override = zone;
}

ScopedTimeZoneOverride::~ScopedTimeZoneOverride() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (hadPrevious_)
        g_override = previous_;
    else
        g_override.reset();
}

}  // namespace quillpost::platform
