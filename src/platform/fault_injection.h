#pragma once
// The point where tests make one system operation fail, to prove what every
// way out of a send leaves behind. Each thread has its own injector, so
// Mailers and tests on other threads are untouched.
#include <cstdint>

namespace quillpost::platform {

enum class FaultPoint : std::uint8_t {
    SocketCall,  // an entry point of the socket library, looked up for a call
    TempFileCreate,
    TempFileWrite,  // writes half of what it was given, then fails as a full disk does
    TempFileRead,
    TempFileSeek,
    InputFileOpen,  // an attachment or a body text file
    InputFileRead,
};

class FaultInjector {
public:
    // True makes the operation fail as the system would report it.
    virtual bool Fail(FaultPoint point) noexcept = 0;

protected:
    ~FaultInjector() = default;
};

// Installs Injector for the calling thread; nullptr removes it.
void SetFaultInjector(FaultInjector* injector) noexcept;

// Asks the calling thread's injector; false when there is none.
bool InjectFault(FaultPoint point) noexcept;

// Per platform: leaves the error code the system gives for a failure at Point
// as the calling thread's last error, and returns it.
std::uint32_t FailAsSystem(FaultPoint point) noexcept;

}  // namespace quillpost::platform
