#pragma once
// Running an outside program with a bounded wait, and waiting until a file it
// writes is free to read.
#include <cstdint>
#include <string>

#include "platform/file_access.h"
#include "platform/process.h"

namespace quillpost {

// Starts CommandLine (program, then arguments) and blocks up to TimeoutMs:
// 0 when it ended, 258 at the limit (it runs on), -1 when the wait failed
// (platform::LastSystemError tells why), otherwise the system's code for a
// program that could not be started (2: not found). The program starts in
// WorkingDirectory, or in the current directory when that is empty. Raises
// nothing.
inline std::int32_t RunAndWait(const std::string& commandLine, std::uint16_t showWindow,
                               std::uint32_t timeoutMs, const std::string& workingDirectory = {}) {
    return platform::RunAndWait(commandLine, showWindow, timeoutMs, workingDirectory);
}

// Read access while others may not write (what the body reader asks for).
inline constexpr std::uint32_t kReadDenyWrite = platform::fmOpenRead | platform::fmShareDenyWrite;

// Retries every 10 ms to open FileName in Mode (closing it again at once)
// until it opens or the local clock's whole seconds have moved on by more
// than 10 from the start (10 to 11 seconds; crossing midnight ends it at
// once). The first try comes after the first 10 ms. Raises nothing.
bool WaitForFileAccess(const std::string& fileName, std::uint32_t mode);

}  // namespace quillpost
