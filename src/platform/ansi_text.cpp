#include "platform/ansi_text.h"

#include "base/utf8.h"

namespace quillpost::platform {

std::u16string TextToWide(std::string_view text) {
    return IsUtf8(text) ? Utf8ToUtf16(text) : AnsiToWide(text);
}

std::string WideToText(std::u16string_view text) { return Utf16ToUtf8(text); }

std::string TextToAnsi(std::string_view text) {
    if (IsAscii(text) || !IsUtf8(text)) return std::string(text);
    return WideToAnsi(Utf8ToUtf16(text));
}

std::string TextToUtf8(std::string_view text) {
    if (IsAscii(text)) return std::string(text);
    return IsUtf8(text) ? StrictUtf8(text) : Utf16ToUtf8(AnsiToWide(text));
}

}  // namespace quillpost::platform
