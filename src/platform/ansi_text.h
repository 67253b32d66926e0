#pragma once
// Conversion between the system's ANSI code page and the UTF-16 text of the
// automation boundary, and the core's rule for its own text: text is UTF-8,
// and bytes that are not UTF-8 are ANSI text (a C++ caller or a file in the
// system's code page), so either kind converts without loss.
#include <string>
#include <string_view>

namespace quillpost::platform {

// The ANSI code page in use: the system's on Windows, 1252 elsewhere.
unsigned AnsiCodePage();

std::u16string AnsiToWide(std::string_view text);

// Characters without an ANSI form become '?', as the system's default character.
std::string WideToAnsi(std::u16string_view text);

// Core text to and from the automation boundary and the system's wide APIs.
std::u16string TextToWide(std::string_view text);
std::string WideToText(std::u16string_view text);

// Core text in the ANSI code page (what cannot be held becomes '?'), and in
// strict UTF-8.
std::string TextToAnsi(std::string_view text);
std::string TextToUtf8(std::string_view text);

}  // namespace quillpost::platform
