#include <windows.h>

#include "platform/fault_injection.h"
#include "platform/temp_file.h"
#include "platform/win32/wide_name.h"

namespace quillpost::platform {
namespace {

HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

std::string SystemTempDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return {};
    return NameFromWide(buffer, n);
}

FileHandle CreateTempFile(std::string_view prefix, std::string& fileName) {
    std::string dir = TempDirectory();
    const std::wstring pre = WideName(prefix);
    wchar_t name[MAX_PATH + 1] = {};
    // The system creates the empty file while it hands out the name, which
    // makes the name unique system-wide.
    if (dir.empty() || InjectFault(FaultPoint::TempFileCreate) ||
        GetTempFileNameW(WideName(dir).c_str(), pre.c_str(), 0, name) == 0) {
        fileName = dir;
        return kNoFile;
    }
    fileName = NameFromWide(name, std::char_traits<wchar_t>::length(name));
    // The system deletes the file when its one handle closes, also when the
    // process is terminated; nobody else may open it meanwhile.
    HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Do not leave the empty file of the name request behind.
        DeleteFileW(name);
        return kNoFile;
    }
    return reinterpret_cast<FileHandle>(h);
}

std::uint32_t FailAsSystem(FaultPoint point) noexcept {
    DWORD code = ERROR_READ_FAULT;
    if (point == FaultPoint::TempFileWrite) code = ERROR_DISK_FULL;
    if (point == FaultPoint::TempFileSeek) code = ERROR_SEEK;
    if (point == FaultPoint::InputFileOpen) code = ERROR_OPEN_FAILED;
    SetLastError(code);
    return code;
}

std::int64_t ReadOnce(FileHandle file, void* buffer, std::size_t count) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(file), buffer, static_cast<DWORD>(count), &got, nullptr)) return -1;
    return got;
}

std::int64_t WriteOnce(FileHandle file, const void* buffer, std::size_t count) {
    DWORD put = 0;
    if (!WriteFile(AsHandle(file), buffer, static_cast<DWORD>(count), &put, nullptr)) return -1;
    return put;
}

std::int64_t SeekOnce(FileHandle file, std::int64_t offset, FileSeekOrigin origin) {
    DWORD method = origin == FileSeekOrigin::Begin     ? FILE_BEGIN
                   : origin == FileSeekOrigin::Current ? FILE_CURRENT
                                                       : FILE_END;
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(AsHandle(file), distance, &result, method)) return -1;
    return result.QuadPart;
}

std::int64_t SizeOfFile(FileHandle file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(AsHandle(file), &size) ? size.QuadPart : -1;
}

bool EmptyFile(FileHandle file) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(AsHandle(file), start, nullptr, FILE_BEGIN) &&
           SetEndOfFile(AsHandle(file));
}

void CloseFileHandle(FileHandle file) noexcept {
    if (file != kNoFile) CloseHandle(AsHandle(file));
}

bool DeleteFileNamed(const std::string& fileName) noexcept {
    return !fileName.empty() && DeleteFileW(WideName(fileName).c_str()) != 0;
}

}  // namespace quillpost::platform
