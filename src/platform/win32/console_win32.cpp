#include <fcntl.h>
#include <io.h>

#include "platform/ansi_text.h"
#include "platform/console.h"

namespace quillpost::platform {

bool IsTerminal(int descriptor) { return _isatty(descriptor) != 0; }

void SetBinaryMode(int descriptor) { _setmode(descriptor, _O_BINARY); }

// The C runtime hands main() its arguments in the ANSI code page, and the
// core keeps its text in that code page too.
std::u16string ConsoleToWide(std::string_view text) { return AnsiToWide(text); }

std::string WideToConsole(std::u16string_view text) { return WideToAnsi(text); }

}  // namespace quillpost::platform
