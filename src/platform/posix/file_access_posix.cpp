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

namespace {

// Whether an entry of Owner in the folder of FileName may be used by this
// user: false only in a sticky, world-writable folder when Owner is neither
// this user nor the folder's owner.
bool OwnerTrustedIn(const std::string& fileName, uid_t owner) {
    if (owner == geteuid()) return true;
    const std::size_t slash = fileName.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : fileName.substr(0, slash));
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return false;
    const bool shared = (info.st_mode & S_ISVTX) != 0 && (info.st_mode & S_IWOTH) != 0;
    return !shared || owner == info.st_uid;
}

}  // namespace

std::FILE* CreatePrivateFileStream(const std::string& fileName) {
    // Without waiting: a FIFO planted under the name must not hold the send.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(fileName.c_str(), kFlags | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == ELOOP) {
        struct stat link {};
        if (lstat(fileName.c_str(), &link) != 0) return nullptr;
        if (!OwnerTrustedIn(fileName, link.st_uid)) {
            errno = ELOOP;
            return nullptr;
        }
        fd = open(fileName.c_str(), kFlags, 0600);
    }
    if (fd < 0) return nullptr;
    // Written and emptied only once known to be ours to write: another
    // user's file, FIFO or device planted in /tmp is left as it was (a FIFO
    // would hand its reader the dialogue).
    struct stat info {};
    if (fstat(fd, &info) != 0 || !OwnerTrustedIn(fileName, info.st_uid) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = EACCES;
        return nullptr;
    }
    if (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) close(fd);
    return stream;
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
