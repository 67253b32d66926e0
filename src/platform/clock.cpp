#include "platform/clock.h"

#include <atomic>

namespace quillpost::platform {

namespace {
std::atomic<Clock*> g_override{nullptr};
}

Clock& CurrentClock() {
    Clock* c = g_override.load();
    return c ? *c : SystemClock();
}

ScopedClockOverride::ScopedClockOverride(Clock& clock) : previous_(g_override.exchange(&clock)) {}

ScopedClockOverride::~ScopedClockOverride() { g_override.store(previous_); }

}  // namespace quillpost::platform
