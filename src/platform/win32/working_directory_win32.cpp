#include <windows.h>

#include <vector>

#include "platform/win32/wide_name.h"
#include "platform/working_directory.h"

namespace quillpost::platform {
namespace {

bool CurrentDirectory(std::string& directory) {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return false;
    std::vector<wchar_t> buffer(size + 1);
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) return false;
    directory = NameFromWide(buffer.data(), length);
    return true;
}

}  // namespace

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& directory) {
    restore_ = CurrentDirectory(previous_);
    entered_ = directory.empty() || SetCurrentDirectoryW(WideName(directory).c_str());
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    if (restore_) SetCurrentDirectoryW(WideName(previous_).c_str());
}

// The process's directory is the entered one, so names stand as they are.
std::string ScopedWorkingDirectory::Resolve(const std::string& name) const { return name; }

}  // namespace quillpost::platform
