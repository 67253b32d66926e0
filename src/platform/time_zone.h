#pragma once
// The local time zone as a bias from local time to UTC, in the shape of the
// Windows time-zone information: UTC = local + Bias + (StandardBias or
// DaylightBias, by ZoneId) minutes. Tests can put a fixed zone in place.
#include <cstdint>

namespace quillpost::platform {

inline constexpr std::uint32_t kTimeZoneIdUnknown = 0;
inline constexpr std::uint32_t kTimeZoneIdStandard = 1;
inline constexpr std::uint32_t kTimeZoneIdDaylight = 2;
inline constexpr std::uint32_t kTimeZoneIdInvalid = 0xFFFFFFFFu;  // the query failed

struct TimeZoneInfo {
    std::uint32_t ZoneId = kTimeZoneIdUnknown;
    // Minutes, positive west of Greenwich.
    std::int32_t Bias = 0;
    std::int32_t StandardBias = 0;
    std::int32_t DaylightBias = 0;
};

// The zone in force now, read afresh on every call. Windows: GetTimeZoneInformation as it is.
// POSIX: the whole current offset of the local zone in Bias (daylight saving included), the extra
// biases 0, and ZoneId telling whether daylight saving is in force.
TimeZoneInfo SystemTimeZone();

// The system's zone, or the one a test put in place.
TimeZoneInfo CurrentTimeZone();

// Puts Zone in place of the system's for the life of this object (tests).
class ScopedTimeZoneOverride {
public:
    explicit ScopedTimeZoneOverride(const TimeZoneInfo& zone);
    ~ScopedTimeZoneOverride();
    ScopedTimeZoneOverride(const ScopedTimeZoneOverride&) = delete;
    ScopedTimeZoneOverride& operator=(const ScopedTimeZoneOverride&) = delete;

private:
    bool hadPrevious_;
    TimeZoneInfo previous_;
};

}  // namespace quillpost::platform
