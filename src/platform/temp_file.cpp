#include "platform/temp_file.h"

#include <mutex>
#include <utility>

namespace quillpost::platform {
namespace {

// Read by every Mailer that composes, on whatever thread it runs.
std::mutex g_overrideLock;
std::string g_override;

}  // namespace

// Defined per platform.
std::string SystemTempDirectory();

std::string TempDirectory() {
    {
        std::lock_guard lock(g_overrideLock);
        if (!g_override.empty()) return g_override;
    }
    return SystemTempDirectory();
}

void SetTempDirectoryOverride(std::string directory) {
    std::lock_guard lock(g_overrideLock);
    g_override = std::move(directory);
}

}  // namespace quillpost::platform
