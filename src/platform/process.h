#pragma once
// Starting a program from a command line and waiting for it with a limit.
#include <cstdint>
#include <string>

namespace quillpost::platform {

// Show commands passed to the started program's main window.
inline constexpr std::uint16_t kShowHide = 0;
inline constexpr std::uint16_t kShowNormal = 5;

// Results besides a system error code.
inline constexpr std::int32_t kWaitEnded = 0;       // the program ended within the limit
inline constexpr std::int32_t kWaitTimedOut = 258;  // the limit passed; the program runs on
inline constexpr std::int32_t kWaitFailed = -1;     // the wait itself failed
// A limit that never passes.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// Starts CommandLine (the program, then its arguments) and waits up to
// TimeoutMs for it to end. Returns kWaitEnded, kWaitTimedOut, kWaitFailed,
// or the system error code when the program could not be started (2 when it
// does not exist). Nothing is raised and nothing is terminated; the exit
// code is not read.
// The program starts in WorkingDirectory, or in the process's current
// directory when that is empty; a directory that cannot be entered is a
// failed start (its system code).
// Windows: CreateProcess with the caller's environment, no inherited handles,
// and ShowWindow for the first window.
// POSIX: the words of SplitCommandLine, started without a shell (a name
// without "/" is searched in PATH, one with "/" is taken from the working
// directory), with the caller's environment, standard input, output and
// error, and no other descriptors; ShowWindow has no meaning there. A program
// left running at the limit is reaped later.
std::int32_t RunAndWait(const std::string& commandLine, std::uint16_t showWindow,
                        std::uint32_t timeoutMs, const std::string& workingDirectory = {});

// The calling thread's last system error code (GetLastError; errno), as a
// failed RunAndWait wait leaves it.
std::uint32_t LastSystemError();

}  // namespace quillpost::platform
