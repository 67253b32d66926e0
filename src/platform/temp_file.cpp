#include "platform/temp_file.h"

#include <utility>

namespace quillpost::platform {
namespace {

std::string& Override() {
    static std::string directory;
    return directory;
}

}  // namespace

// Defined per platform.
std::string SystemTempDirectory();

std::string TempDirectory() {
    const std::string& dir = Override();
    return dir.empty() ? SystemTempDirectory() : dir;
}

void SetTempDirectoryOverride(std::string directory) { Override() = std::move(directory); }

}  // namespace quillpost::platform
