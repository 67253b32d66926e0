#pragma once
// Names for files written from a received message. The name comes from the
// sender, so it is made harmless before it reaches the file system: it can
// name no other folder, hide no file, carry no terminal control and take no
// name the system reserves.
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace quillpost::cli {

// Text with its well-formed UTF-8 characters of two bytes or more kept and
// every other byte, an ASCII one or a stray one, replaced by what
// Byte(Out, Byte) appends for it. The C1 controls (U+0080 to U+009F) go
// byte by byte too: a terminal obeys them as it does ESC.
template <typename F>
std::string MapSingleBytes(std::string_view text, F&& byte) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(lead);
        const bool c1 =
            lead == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (length > 1 && !c1 && i + length <= text.size() && IsUtf8(text.substr(i, length))) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            byte(out, lead);
            ++i;
        }
    }
    return out;
}

// Name as one plain file name of a folder, on Linux and on Windows alike:
// - path separators, control characters and the characters Windows refuses
//   in names (: * ? " < > |) become "_", as do bytes that are not UTF-8;
// - leading dots become "_" (no ".", "..", or hidden file), trailing dots
//   and blanks go (Windows would drop them and so merge two names);
// - a device name of Windows (CON, NUL, COM1, ...) gets "_" in front;
// - a name longer than kSafeNameMax bytes is cut before its extension, at a
//   character's start; an empty one becomes "attachment".
std::string SafeFileName(std::string_view name);

inline constexpr std::size_t kSafeNameMax = 200;

// The Number-th name for Safe when the plain one is taken: "a.txt" gives
// "a (2).txt", "a" gives "a (2)". Number 1 is Safe itself.
std::string NumberedFileName(std::string_view safe, unsigned number);

}  // namespace quillpost::cli
