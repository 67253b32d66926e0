#pragma once
// What a command-line program needs from its console: whether a standard
// handle is a terminal, raw bytes on standard output, and the text encoding
// of command-line arguments and printed values.
#include <string>
#include <string_view>

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
// console expects: the ANSI code page on Windows, UTF-8 elsewhere (an
// argument that is not valid UTF-8 is read as the ANSI code page there).
std::u16string ConsoleToWide(std::string_view text);
std::string WideToConsole(std::u16string_view text);

}  // namespace quillpost::platform
