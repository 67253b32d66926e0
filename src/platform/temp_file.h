#pragma once
// Fresh, uniquely named files in the system's temporary directory, and the
// few unbuffered operations a stream over such a file needs. Failures are
// reported by result so that the caller chooses the exception and its text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillpost::platform {

// An open file: a descriptor on POSIX systems, a HANDLE on Windows.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class FileSeekOrigin { Begin, Current, End };

// The system's temporary directory, with a trailing path separator.
std::string TempDirectory();

// Makes TempDirectory return Directory (which must end with a separator)
// instead of the system's; an empty text restores the system's. Lets tests
// reach the failure paths without changing the process environment.
void SetTempDirectoryOverride(std::string directory);

// Creates a new, empty file in the temporary directory whose name starts with
// Prefix and that no other caller can have been handed, open for reading and
// writing and closed to other users (Windows: not shared; POSIX: mode 0600).
// It leaves no trace however the process ends: POSIX removes the name at
// once and keeps the file open; Windows deletes it when the handle closes.
// Sets FileName to the full path it was created under and returns the
// handle. On failure returns kNoFile, leaves no file behind and sets FileName
// to the name that could not be created (the directory when no name could be
// had).
FileHandle CreateTempFile(std::string_view prefix, std::string& fileName);

// Unbuffered transfers at the handle's position; -1 on failure.
std::int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t count);
std::int64_t WriteFileBytes(FileHandle file, const void* buffer, std::size_t count);
// Returns the new position, or -1 on failure.
std::int64_t SeekFileTo(FileHandle file, std::int64_t offset, FileSeekOrigin origin);

// Cuts the file to nothing and puts the handle at its start.
bool EmptyFile(FileHandle file);

void CloseFileHandle(FileHandle file) noexcept;

// Per platform, for the operations above and the shared input file: one
// system read or write of at most kMaxTransfer bytes at the handle's position
// (an interrupted call is repeated), or one seek; as above, -1 leaves the
// system's error for LastSystemError.
inline constexpr std::size_t kMaxTransfer = 0x40000000;
std::int64_t ReadOnce(FileHandle file, void* buffer, std::size_t count);
std::int64_t WriteOnce(FileHandle file, const void* buffer, std::size_t count);
std::int64_t SeekOnce(FileHandle file, std::int64_t offset, FileSeekOrigin origin);
// The open file's size as the system reports it now; -1 when it cannot tell.
std::int64_t SizeOfFile(FileHandle file);
// Returns false when the file could not be removed.
bool DeleteFileNamed(const std::string& fileName) noexcept;

}  // namespace quillpost::platform
