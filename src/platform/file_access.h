#pragma once
// Opening files with Windows share modes: probing whether a file can be
// opened in a mode, and a read-only handle that lets other readers in.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/temp_file.h"

namespace quillpost::platform {

// Open modes: the access in the low bits ...
inline constexpr std::uint32_t fmOpenRead = 0x0000;
inline constexpr std::uint32_t fmOpenWrite = 0x0001;
inline constexpr std::uint32_t fmOpenReadWrite = 0x0002;
// ... and what others may do meanwhile in bits 4 to 6.
inline constexpr std::uint32_t fmShareCompat = 0x0000;
inline constexpr std::uint32_t fmShareExclusive = 0x0010;
inline constexpr std::uint32_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint32_t fmShareDenyRead = 0x0030;
inline constexpr std::uint32_t fmShareDenyNone = 0x0040;

// Opens the existing file FileName in Mode and closes it again at once.
// Windows: CreateFile with the access and share mode of Mode, so a file that
// another handle uses against the share mode cannot be opened.
// POSIX has no share modes. What can be seen is checked with a lease probe:
// "deny write" fails while any process has the file open for writing (also
// this one); "exclusive", "compat" and "deny read" fail while any other
// descriptor is open on it. Where leases are not available (a file of
// another owner without CAP_LEASE, a file system without leases, leases
// switched off) the check is skipped and only the open itself counts.
// Only regular files can be opened: a directory, pipe or device is refused
// without waiting for it.
bool CanOpenFile(const std::string& fileName, std::uint32_t mode);

// A file opened for reading that others may read but not write meanwhile
// (Windows: GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING). On POSIX the
// open fails while a writer is seen (as CanOpenFile with deny write, error
// EBUSY); writers that come later cannot be kept out.
class SharedReadFile {
public:
    // Takes over File and closes it.
    explicit SharedReadFile(FileHandle file) : file_(file) {}
    ~SharedReadFile() { CloseFileHandle(file_); }
    SharedReadFile(const SharedReadFile&) = delete;
    SharedReadFile& operator=(const SharedReadFile&) = delete;

    // Reads up to Count bytes: the number read, 0 at the end, -1 on failure
    // with Error set to the system's code.
    std::int64_t Read(void* buffer, std::size_t count, std::uint32_t& error);

    // The size the system reports now, -1 when it cannot tell: a hint only,
    // since the file may change while it is read and some files report 0
    // (those under /proc, say).
    std::int64_t Size() const { return SizeOfFile(file_); }

private:
    FileHandle file_;
};

// The open file, or null with Error set to the system's code. Only regular
// files are opened, as by CanOpenFile.
std::unique_ptr<SharedReadFile> OpenSharedRead(const std::string& fileName, std::uint32_t& error);

// The Error of an open refused because the name is no regular file.
inline constexpr std::uint32_t kNotRegularFile = 0xFFFFFFFFu;

// An existing regular file opened for reading while others may read and
// write it. A directory, pipe or device is refused without waiting for it
// (Error kNotRegularFile): reading one could block for ever or never end.
// Otherwise null with Error set to the system's code.
std::unique_ptr<SharedReadFile> OpenInputFile(const std::string& fileName, std::uint32_t& error);

// True when FileName exists and is no regular file; found without opening it
// for reading, so a pipe does not block.
bool IsSpecialFile(const std::string& fileName);

// The system's text for one of its error codes.
std::string SystemErrorText(std::uint32_t code);

// std::fopen for a name in the core's text (Windows: through the wide name;
// POSIX: the bytes as they are). Null with errno set on failure.
std::FILE* OpenFileStream(const std::string& fileName, const char* mode);

// A new file created for writing in binary mode, never an existing one: the
// name is taken in one step with the creation (O_EXCL, CREATE_NEW), so a file
// or link planted under it meanwhile makes the call fail instead of being
// written through. Null on failure, with Exists true when the name was taken
// and Error set to the system's code.
std::FILE* CreateNewFileStream(const std::string& fileName, bool& exists, std::uint32_t& error);

// FileName created, or emptied, for writing ("wb"), for a file that holds
// what others must not read, such as a log of a mail dialogue. POSIX: a new
// file is made 0600. In a sticky folder others may write (/tmp), a symbolic
// link is not followed unless this user or the folder's owner made it, and
// an existing file of another user is not written: the kernel's
// protected_symlinks and protected_regular rules, applied whatever the
// kernel's own setting. Windows: as OpenFileStream (the folder's access
// rules apply). Null with errno set on failure.
std::FILE* CreatePrivateFileStream(const std::string& fileName);

}  // namespace quillpost::platform
