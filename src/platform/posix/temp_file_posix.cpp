#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/temp_file.h"

namespace quillpost::platform {

std::string SystemTempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    std::string result = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    if (result.back() != '/') result += '/';
    return result;
}

FileHandle CreateTempFile(std::string_view prefix, std::string& fileName) {
    // mkostemp opens with O_CREAT | O_EXCL and mode 0600, retrying on a name
    // clash, so the name is ours alone and the file is private to this user.
    std::string pattern = TempDirectory();
    pattern.append(prefix);
    pattern.append("XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = -1;
    if (InjectFault(FaultPoint::TempFileCreate))
        FailAsSystem(FaultPoint::TempFileCreate);
    else
        fd = ::mkostemp(name.data(), O_CLOEXEC);
    fileName.assign(name.data());
    if (fd < 0) {
        fileName = pattern;
        return kNoFile;
    }
    // Nameless from here on: the open descriptor keeps the data, and nothing
    // is left behind however the process ends, a SIGKILL included.
    ::unlink(name.data());
    return fd;
}

std::uint32_t FailAsSystem(FaultPoint point) noexcept {
    errno =
        point == FaultPoint::TempFileCreate || point == FaultPoint::TempFileWrite ? ENOSPC : EIO;
    return static_cast<std::uint32_t>(errno);
}

std::int64_t ReadOnce(FileHandle file, void* buffer, std::size_t count) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file), buffer, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

std::int64_t WriteOnce(FileHandle file, const void* buffer, std::size_t count) {
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(file), buffer, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

std::int64_t SeekOnce(FileHandle file, std::int64_t offset, FileSeekOrigin origin) {
    int whence = origin == FileSeekOrigin::Begin     ? SEEK_SET
                 : origin == FileSeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
    return ::lseek(static_cast<int>(file), static_cast<off_t>(offset), whence);
}

std::int64_t SizeOfFile(FileHandle file) {
    struct stat st {};
    return ::fstat(static_cast<int>(file), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool EmptyFile(FileHandle file) {
    return ::ftruncate(static_cast<int>(file), 0) == 0 &&
           ::lseek(static_cast<int>(file), 0, SEEK_SET) == 0;
}

void CloseFileHandle(FileHandle file) noexcept {
    if (file != kNoFile) ::close(static_cast<int>(file));
}

bool DeleteFileNamed(const std::string& fileName) noexcept {
    return !fileName.empty() && ::unlink(fileName.c_str()) == 0;
}

}  // namespace quillpost::platform
