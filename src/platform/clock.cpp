#include "platform/clock.h"

namespace quillpost::platform {

namespace {
// Per thread: a test's clock never reaches a Mailer working on another thread,
// and a clock that counts its readings is read by one thread only.
thread_local Clock* t_override = nullptr;
}  // namespace

Clock& CurrentClock() { return t_override != nullptr ? *t_override : SystemClock(); }

ScopedClockOverride::ScopedClockOverride(Clock& clock) : previous_(t_override) {
    t_override = &clock;
}

ScopedClockOverride::~ScopedClockOverride() { t_override = previous_; }

}  // namespace quillpost::platform
