#include "platform/temp_file.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/fault_injection.h"
#include "platform/file_access.h"
#include "platform/process.h"

namespace quillpost::platform {
namespace {

// Read by every Mailer that composes, on whatever thread it runs.
std::mutex g_overrideLock;
std::string g_override;

// What a transfer reports when it stops on a failure: the bytes already
// moved, or -1 when there were none.
std::int64_t Moved(std::size_t done) { return done > 0 ? static_cast<std::int64_t>(done) : -1; }

}  // namespace

// Defined per platform.
std::string SystemTempDirectory();

std::string TempDirectory() {
    {
        std::lock_guard lock(g_overrideLock);
        if (!g_override.empty()) return g_override;
    }
    return SystemTempDirectory();
}

void SetTempDirectoryOverride(std::string directory) {
    std::lock_guard lock(g_overrideLock);
    g_override = std::move(directory);
}

std::int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t count) {
    if (InjectFault(FaultPoint::TempFileRead)) {
        FailAsSystem(FaultPoint::TempFileRead);
        return -1;
    }
    char* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = std::min(count - done, kMaxTransfer);
        const std::int64_t got = ReadOnce(file, p + done, chunk);
        if (got < 0) return Moved(done);
        done += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < chunk) break;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t WriteFileBytes(FileHandle file, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    // An injected full disk takes half of what it is given, then fails.
    const bool fault = InjectFault(FaultPoint::TempFileWrite);
    if (fault) count /= 2;
    while (done < count) {
        const std::int64_t put = WriteOnce(file, p + done, std::min(count - done, kMaxTransfer));
        if (put < 0) return Moved(done);
        if (put == 0) break;
        done += static_cast<std::size_t>(put);
    }
    if (fault) {
        FailAsSystem(FaultPoint::TempFileWrite);
        return Moved(done);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t SeekFileTo(FileHandle file, std::int64_t offset, FileSeekOrigin origin) {
    if (InjectFault(FaultPoint::TempFileSeek)) {
        FailAsSystem(FaultPoint::TempFileSeek);
        return -1;
    }
    return SeekOnce(file, offset, origin);
}

std::int64_t SharedReadFile::Read(void* buffer, std::size_t count, std::uint32_t& error) {
    if (InjectFault(FaultPoint::InputFileRead)) {
        error = FailAsSystem(FaultPoint::InputFileRead);
        return -1;
    }
    const std::int64_t n = ReadOnce(file_, buffer, std::min(count, kMaxTransfer));
    if (n < 0) error = LastSystemError();
    return n;
}

}  // namespace quillpost::platform
