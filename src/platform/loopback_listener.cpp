#include "platform/loopback_listener.h"

namespace quillpost::platform {

bool LoopbackListener::Accept(int timeoutMs) {
    return WaitReadable(true, timeoutMs) && TakeConnection();
}

bool LoopbackListener::Send(const std::string& bytes) {
    std::size_t p = 0;
    while (p < bytes.size()) {
        const long n = SendSome(bytes.data() + p, bytes.size() - p);
        if (n <= 0) return false;
        p += static_cast<std::size_t>(n);
    }
    return true;
}

std::string LoopbackListener::Receive(int timeoutMs, bool* closed) {
    if (closed != nullptr) *closed = false;
    if (!WaitReadable(false, timeoutMs)) return {};
    char buffer[8192];
    const long n = ReceiveSome(buffer, sizeof buffer);
    if (n <= 0) {
        if (closed != nullptr) *closed = true;
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace quillpost::platform
