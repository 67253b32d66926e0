#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fault_injection.h"
#include "platform/file_access.h"

namespace quillpost::platform {
namespace {

enum class Probe { Clear, Conflict, Unknown };

// Asks the kernel, through a lease, whether others use the file: a read
// lease is refused while anyone has it open for writing, a write lease while
// anyone else has it open at all. The lease is dropped at once.
Probe ProbeOthers(const std::string& fileName, int leaseType) {
    int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Probe::Unknown;
    // Should a writer arrive while the lease is held, the break notice comes
    // as a signal; SIGURG is ignored unless someone asked for it, unlike the
    // default SIGIO, which would end the process.
    fcntl(fd, F_SETSIG, SIGURG);
    Probe result = Probe::Unknown;
    if (fcntl(fd, F_SETLEASE, leaseType) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        result = Probe::Clear;
    } else if (errno == EAGAIN) {
        result = Probe::Conflict;
    }
    close(fd);
    return result;
}

// Opens without waiting (a pipe without a writer, a lease someone else holds)
// and keeps only regular files; -1 with errno set, or with NotRegular true.
int OpenRegular(const std::string& fileName, int flags, bool& notRegular) {
    notRegular = false;
    int fd = open(fileName.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        notRegular = true;
        close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Opens like CreateFile with Mode's access and share mode; -1 with errno set.
int OpenInMode(const std::string& fileName, std::uint32_t mode) {
    const std::uint32_t access = mode & 0x0F;
    const std::uint32_t share = mode & 0xF0;
    if (access > fmOpenReadWrite || share > fmShareDenyNone) {
        errno = EINVAL;
        return -1;
    }
    if (share != fmShareDenyNone) {
        Probe p = ProbeOthers(fileName, share == fmShareDenyWrite ? F_RDLCK : F_WRLCK);
        if (p == Probe::Conflict) {
            errno = EBUSY;
            return -1;
        }
    }
    int flags = access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
    bool notRegular = false;
    return OpenRegular(fileName, flags, notRegular);
}

}  // namespace

bool CanOpenFile(const std::string& fileName, std::uint32_t mode) {
    int fd = OpenInMode(fileName, mode);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::unique_ptr<SharedReadFile> OpenSharedRead(const std::string& fileName, std::uint32_t& error) {
    if (InjectFault(FaultPoint::InputFileOpen)) {
        error = FailAsSystem(FaultPoint::InputFileOpen);
        return nullptr;
    }
    int fd = OpenInMode(fileName, fmOpenRead | fmShareDenyWrite);
    if (fd < 0) {
        error = static_cast<std::uint32_t>(errno);
        return nullptr;
    }
    error = 0;
    return std::make_unique<SharedReadFile>(static_cast<FileHandle>(fd));
}

std::FILE* OpenFileStream(const std::string& fileName, const char* mode) {
    return std::fopen(fileName.c_str(), mode);
}

std::unique_ptr<SharedReadFile> OpenInputFile(const std::string& fileName, std::uint32_t& error) {
    if (InjectFault(FaultPoint::InputFileOpen)) {
        error = FailAsSystem(FaultPoint::InputFileOpen);
        return nullptr;
    }
    bool notRegular = false;
    int fd = OpenRegular(fileName, O_RDONLY, notRegular);
    if (fd < 0) {
        error = notRegular ? kNotRegularFile : static_cast<std::uint32_t>(errno);
        return nullptr;
    }
    error = 0;
    return std::make_unique<SharedReadFile>(static_cast<FileHandle>(fd));
}

bool IsSpecialFile(const std::string& fileName) {
    struct stat st {};
    return stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string SystemErrorText(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

std::FILE* CreateNewFileStream(const std::string& fileName, bool& exists, std::uint32_t& error) {
    // O_NOFOLLOW also refuses a link in the last place, dangling or not.
    const int fd = open(fileName.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        exists = errno == EEXIST || errno == ELOOP;
        error = static_cast<std::uint32_t>(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        error = static_cast<std::uint32_t>(errno);
        close(fd);
        unlink(fileName.c_str());
    }
    exists = false;
    return file;
}

}  // namespace quillpost::platform
