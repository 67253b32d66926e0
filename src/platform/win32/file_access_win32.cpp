#include <windows.h>

#include "platform/file_access.h"
#include "platform/win32/wide_name.h"

namespace quillpost::platform {
namespace {

class Win32SharedReadFile : public SharedReadFile {
public:
    explicit Win32SharedReadFile(HANDLE h) : handle_(h) {}
    ~Win32SharedReadFile() override { CloseHandle(handle_); }
    Win32SharedReadFile(const Win32SharedReadFile&) = delete;
    Win32SharedReadFile& operator=(const Win32SharedReadFile&) = delete;

    std::int64_t Read(void* buffer, std::size_t count, std::uint32_t& error) override {
        DWORD want = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, want, &got, nullptr)) {
            error = GetLastError();
            return -1;
        }
        return got;
    }

private:
    HANDLE handle_;
};

}  // namespace

bool CanOpenFile(const std::string& fileName, std::uint32_t mode) {
    static const DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    static const DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE};
    const std::uint32_t access = mode & 0x0F;
    const std::uint32_t share = (mode & 0xF0) >> 4;
    if (access > 2 || share > 4) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    HANDLE h = CreateFileW(WideName(fileName).c_str(), kAccess[access], kShare[share], nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::unique_ptr<SharedReadFile> OpenSharedRead(const std::string& fileName, std::uint32_t& error) {
    HANDLE h = CreateFileW(WideName(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<Win32SharedReadFile>(h);
}

std::FILE* OpenFileStream(const std::string& fileName, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(WideName(fileName).c_str(), wideMode.c_str());
}

}  // namespace quillpost::platform
