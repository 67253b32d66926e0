#pragma once
// What a command-line program needs from its console: whether a standard
// handle is a terminal, raw bytes on standard output, and the text encoding
// of command-line arguments and printed values.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillpost::platform {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// True when the descriptor (kStandardOutput, kStandardError) is a terminal
// rather than a file or a pipe.
bool IsTerminal(int descriptor);

// Makes the descriptor pass bytes unchanged (no CR added before LF), so that
// a composed message keeps its exact line ends.
void SetBinaryMode(int descriptor);

// An argument of the command line as UTF-16, and UTF-16 text in the form the
// console gets it: UTF-8 (an argument that is not valid UTF-8 is read as the
// ANSI code page).
std::u16string ConsoleToWide(std::string_view text);
std::string WideToConsole(std::u16string_view text);

// The program's arguments, without its name, as UTF-8. Windows: read from
// the wide command line, so no character is lost to the ANSI code page.
// POSIX: Argv's bytes as they are.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The value of an environment variable as UTF-8 (POSIX: its bytes), or
// nothing when it is not set.
std::optional<std::string> EnvironmentText(const std::string& name);

}  // namespace quillpost::platform
