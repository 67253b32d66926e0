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
        errno = ENOSPC;
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

std::int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t count) {
    if (InjectFault(FaultPoint::TempFileRead)) {
        errno = EIO;
        return -1;
    }
    for (;;) {
        ssize_t n = ::read(static_cast<int>(file), buffer, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

std::int64_t WriteFileBytes(FileHandle file, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    const bool fault = InjectFault(FaultPoint::TempFileWrite);
    if (fault) count /= 2;
    while (done < count) {
        ssize_t n = ::write(static_cast<int>(file), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (fault) {
        errno = ENOSPC;
        return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t SeekFileTo(FileHandle file, std::int64_t offset, FileSeekOrigin origin) {
    if (InjectFault(FaultPoint::TempFileSeek)) {
        errno = EIO;
        return -1;
    }
    int whence = origin == FileSeekOrigin::Begin     ? SEEK_SET
                 : origin == FileSeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
    return ::lseek(static_cast<int>(file), static_cast<off_t>(offset), whence);
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
