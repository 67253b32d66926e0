#include "util/run_and_wait.h"

#include <cstdlib>

#include "platform/clock.h"

namespace quillpost {
namespace {

int SecondsSinceLocalMidnight() {
    const platform::CalendarTime t = platform::LocalNow();
    return (t.Hour * 60 + t.Minute) * 60 + t.Second;
}

}  // namespace

bool WaitForFileAccess(const std::string& fileName, std::uint32_t mode) {
    constexpr int kLimitSeconds = 10;
    const int start = SecondsSinceLocalMidnight();
    bool opened = false;
    while (!opened && std::abs(start - SecondsSinceLocalMidnight()) <= kLimitSeconds) {
        platform::SleepMilliseconds(10);
        try {
            opened = platform::CanOpenFile(fileName, mode);
        } catch (...) {
            opened = false;  // keeps its promise to raise nothing
        }
    }
    return opened;
}

}  // namespace quillpost
