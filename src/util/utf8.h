#pragma once
// UTF-8 and UTF-16 without any system help. The core keeps text as UTF-8;
// a UTF-16 unit without its other half (a script may hand one over) is kept
// as the three bytes its code point would take, so text from a script comes
// back unchanged.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillpost {

// Bytes of the sequence that Lead starts: 1 to 4, 0 for a byte that cannot
// start one.
constexpr std::size_t Utf8SequenceLength(unsigned char lead) {
    return lead < 0x80   ? 1
           : lead < 0xC2 ? 0
           : lead < 0xE0 ? 2
           : lead < 0xF0 ? 3
           : lead < 0xF5 ? 4
                         : 0;
}

inline bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Well-formed UTF-8 (shortest forms, at most U+10FFFF); a lone half of a
// surrogate pair in its three-byte form counts as well-formed.
bool IsUtf8(std::string_view text);

// Octets in the first Count characters of Text when it is UTF-8; Count when
// it is not.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t count);

// Malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The text with every lone surrogate replaced by Replacement: what may be
// written where strict UTF-8 is required.
std::string StrictUtf8(std::string_view text, char replacement = '?');

}  // namespace quillpost
