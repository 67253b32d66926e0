#include <windows.h>

#include "platform/clock.h"

namespace quillpost::platform {
namespace {

class Win32Clock : public Clock {
public:
    CalendarTime LocalNow() override {
        SYSTEMTIME st;
        GetLocalTime(&st);
        return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    }

    std::uint32_t UtcMillisecondsOfDay() override {
        SYSTEMTIME st;
        GetSystemTime(&st);
        return ((st.wHour * 60u + st.wMinute) * 60u + st.wSecond) * 1000u + st.wMilliseconds;
    }
};

}  // namespace

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    // Sleep(INFINITE) would never return; nobody here means that.
    Sleep(milliseconds == INFINITE ? INFINITE - 1 : milliseconds);
}

}  // namespace quillpost::platform
