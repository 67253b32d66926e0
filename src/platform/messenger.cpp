#include "platform/messenger.h"

#include <mutex>
#include <utility>

namespace quillpost::platform {

void RunSystemMessenger(const std::string& commandLine, unsigned waitMs);  // per platform

namespace {
// Read by every Mailer in test mode, on whatever thread it runs.
std::mutex g_handlerLock;
std::function<void(const std::string&)> g_handler;
}  // namespace

void SetMessengerForTests(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(g_handlerLock);
    g_handler = std::move(handler);
}

void RunMessenger(const std::string& commandLine, unsigned waitMs) {
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lock(g_handlerLock);
        handler = g_handler;
    }
    if (handler) {
        handler(commandLine);
        return;
    }
    RunSystemMessenger(commandLine, waitMs);
}

}  // namespace quillpost::platform
