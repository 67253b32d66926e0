#include "platform/messenger.h"

#include <utility>

namespace quillpost::platform {

void RunSystemMessenger(const std::string& commandLine, unsigned waitMs);  // per platform

namespace {
std::function<void(const std::string&)>& TestHandler() {
    static std::function<void(const std::string&)> handler;
    return handler;
}
}  // namespace

void SetMessengerForTests(std::function<void(const std::string&)> handler) {
    TestHandler() = std::move(handler);
}

void RunMessenger(const std::string& commandLine, unsigned waitMs) {
    if (TestHandler()) {
        TestHandler()(commandLine);
        return;
    }
    RunSystemMessenger(commandLine, waitMs);
}

}  // namespace quillpost::platform
