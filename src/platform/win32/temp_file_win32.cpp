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

std::int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t count) {
    if (InjectFault(FaultPoint::TempFileRead)) {
        SetLastError(ERROR_READ_FAULT);
        return -1;
    }
    char* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
        DWORD got = 0;
        if (!ReadFile(AsHandle(file), p + done, chunk, &got, nullptr))
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        if (got == 0) break;
        done += got;
        if (got < chunk) break;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t WriteFileBytes(FileHandle file, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    const bool fault = InjectFault(FaultPoint::TempFileWrite);
    if (fault) count /= 2;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
        DWORD put = 0;
        if (!WriteFile(AsHandle(file), p + done, chunk, &put, nullptr))
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        if (put == 0) break;
        done += put;
    }
    if (fault) {
        SetLastError(ERROR_DISK_FULL);
        return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t SeekFileTo(FileHandle file, std::int64_t offset, FileSeekOrigin origin) {
    if (InjectFault(FaultPoint::TempFileSeek)) {
        SetLastError(ERROR_SEEK);
        return -1;
    }
    DWORD method = origin == FileSeekOrigin::Begin     ? FILE_BEGIN
                   : origin == FileSeekOrigin::Current ? FILE_CURRENT
                                                       : FILE_END;
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(AsHandle(file), distance, &result, method)) return -1;
    return result.QuadPart;
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
