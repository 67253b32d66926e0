#include <windows.h>

#include <vector>

#include "platform/working_directory.h"

namespace quillpost::platform {
namespace {

bool CurrentDirectory(std::string& directory) {
    DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0) return false;
    std::vector<char> buffer(size + 1);
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) return false;
    directory.assign(buffer.data(), length);
    return true;
}

}  // namespace

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& directory) {
    restore_ = CurrentDirectory(previous_);
    entered_ = directory.empty() || SetCurrentDirectoryA(directory.c_str());
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    if (restore_) SetCurrentDirectoryA(previous_.c_str());
}

// The process's directory is the entered one, so names stand as they are.
std::string ScopedWorkingDirectory::Resolve(const std::string& name) const { return name; }

}  // namespace quillpost::platform
