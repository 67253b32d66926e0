#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/fault_injection.h"
#include "platform/file_access.h"
#include "platform/win32/wide_name.h"

namespace quillpost::platform {
namespace {

// Keeps H only when it is a file on disk: a pipe or a console could block a
// read for ever, a device could never end it. Closes it otherwise.
bool KeepDiskFile(HANDLE h) {
    if (GetFileType(h) == FILE_TYPE_DISK) return true;
    CloseHandle(h);
    return false;
}

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
    if (h == INVALID_HANDLE_VALUE || !KeepDiskFile(h)) return false;
    CloseHandle(h);
    return true;
}

// Opens an existing file for reading with Share; null with Error set.
static std::unique_ptr<SharedReadFile> OpenForReading(const std::string& fileName, DWORD share,
                                                      std::uint32_t& error) {
    if (InjectFault(FaultPoint::InputFileOpen)) {
        error = FailAsSystem(FaultPoint::InputFileOpen);
        return nullptr;
    }
    HANDLE h = CreateFileW(WideName(fileName).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        // A directory cannot be opened this way: say what it is.
        const DWORD attributes = GetFileAttributesW(WideName(fileName).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            error = kNotRegularFile;
        return nullptr;
    }
    if (!KeepDiskFile(h)) {
        error = kNotRegularFile;
        return nullptr;
    }
    error = 0;
    return std::make_unique<SharedReadFile>(reinterpret_cast<FileHandle>(h));
}

std::unique_ptr<SharedReadFile> OpenSharedRead(const std::string& fileName, std::uint32_t& error) {
    std::unique_ptr<SharedReadFile> file = OpenForReading(fileName, FILE_SHARE_READ, error);
    if (error == kNotRegularFile) error = ERROR_BAD_FILE_TYPE;
    return file;
}

std::unique_ptr<SharedReadFile> OpenInputFile(const std::string& fileName, std::uint32_t& error) {
    return OpenForReading(fileName, FILE_SHARE_READ | FILE_SHARE_WRITE, error);
}

bool IsSpecialFile(const std::string& fileName) {
    const DWORD attributes = GetFileAttributesW(WideName(fileName).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    // Asking for no access opens a device or pipe without reading from it.
    HANDLE h = CreateFileW(WideName(fileName).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool special = GetFileType(h) != FILE_TYPE_DISK;
    CloseHandle(h);
    return special;
}

std::string SystemErrorText(std::uint32_t code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n != 0 && text != nullptr ? std::string(text, n) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
        result.pop_back();
    if (result.empty()) result = "Error " + std::to_string(code);
    return result;
}

std::FILE* OpenFileStream(const std::string& fileName, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(WideName(fileName).c_str(), wideMode.c_str());
}

std::FILE* CreateNewFileStream(const std::string& fileName, bool& exists, std::uint32_t& error) {
    HANDLE h = CreateFileW(WideName(fileName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    exists = false;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (file == nullptr) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        if (fd < 0)
            CloseHandle(h);
        else
            _close(fd);
        DeleteFileW(WideName(fileName).c_str());
    }
    return file;
}

std::FILE* CreatePrivateFileStream(const std::string& fileName) {
    return OpenFileStream(fileName, "wb");
}

}  // namespace quillpost::platform
