#pragma once
// Conversion between the system's ANSI code page (the core's byte strings)
// and the UTF-16 text of the automation boundary.
#include <string>
#include <string_view>

namespace quillpost::platform {

// The ANSI code page in use: the system's on Windows, 1252 elsewhere.
unsigned AnsiCodePage();

std::u16string AnsiToWide(std::string_view text);

// Characters without an ANSI form become '?', as the system's default character.
std::string WideToAnsi(std::u16string_view text);

}  // namespace quillpost::platform
