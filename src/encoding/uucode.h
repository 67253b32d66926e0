#pragma once
// The uuencode line codec: one line carries up to 45 bytes behind a length
// character. Used for the uuencoded attachments of a plain message and for
// reading such blocks in received text.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "util/short_string.h"

namespace quillpost {

// Characters by 6-bit value: the grave accent for 0, then "!" to "_".
inline constexpr std::string_view UUAlphabet =
    "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";

// Value of every byte when decoding; -1 marks a byte outside the code. The
// space reads as 0, like the grave accent.
inline constexpr std::array<signed char, 256> kUUValues = [] {
    std::array<signed char, 256> table{};
    for (auto& v : table) v = -1;
    for (std::size_t i = 0; i < UUAlphabet.size(); ++i)
        table[static_cast<unsigned char>(UUAlphabet[i])] = static_cast<signed char>(i);
    table[' '] = 0;
    return table;
}();

inline constexpr std::size_t kUULineBytes = 45;

// One chunk of 0 to 45 bytes as a line: the length character and
// n * 4 / 3 + 1 data characters (60 for a full chunk). Output beyond
// Maximum is dropped. A longer chunk raises ERangeError.
std::string EncodeUULine(std::string_view chunk, std::size_t maximum = kShortStringMax);

// The bytes of one line (at most its first 255 characters are looked at).
// A line shorter than its length character promises, as when a mail system
// stripped trailing blanks, is read as if ended by zero bits. Raises
// EInOutError "Invalid Character" for a character outside the code.
std::string DecodeUULine(std::string_view line, std::size_t maximum = kShortStringMax);

// 0..63; raises EInOutError "Invalid Character".
int UUValue(char c);

// "begin" in any case, then, after blanks, a three-character number (the mode).
bool IsUUBeginLine(std::string_view line);

// The name after "begin NNN ": up to the next blank, or between double quotes.
std::string UUBeginFileName(std::string_view line);

}  // namespace quillpost
