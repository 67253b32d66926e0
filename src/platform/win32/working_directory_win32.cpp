#include <windows.h>

#include <vector>

#include "platform/win32/wide_name.h"
#include "platform/working_directory.h"

namespace quillpost::platform {
namespace {

// Directory made absolute against the process's current directory (and the
// current directory of its drive), as entering it would.
std::string FullPath(const std::string& directory) {
    const std::wstring wide = WideName(directory);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size + 1);
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return {};
    return NameFromWide(buffer.data(), length);
}

// Names that do not depend on the current directory: "\\server\share",
// "\\?\...", "C:\...". A root-relative "\x" and a drive-relative "C:x"
// are left alone too: they name no place below a directory.
bool StandsAlone(const std::string& name) {
    if (name.empty() || name.front() == '\\' || name.front() == '/') return true;
    return name.size() >= 2 && name[1] == ':';
}

}  // namespace

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& directory) {
    if (directory.empty()) {
        entered_ = true;
        return;
    }
    const DWORD attributes = GetFileAttributesW(WideName(directory).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return;
    programDirectory_ = FullPath(directory);
    entered_ = !programDirectory_.empty();
}

std::string ScopedWorkingDirectory::Resolve(const std::string& name) const {
    if (programDirectory_.empty() || StandsAlone(name)) return name;
    const char last = programDirectory_.back();
    return programDirectory_ + (last == '\\' || last == '/' ? "" : "\\") + name;
}

}  // namespace quillpost::platform
