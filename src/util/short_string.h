#pragma once
// Names, addresses, subjects and content types in the message model are short
// strings: at most 255 characters, longer text cut without a report. A
// character is a byte of ANSI text, or a whole character of UTF-8 text, which
// is never cut inside one.
#include <cstddef>
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace quillpost {

inline constexpr std::size_t kShortStringMax = 255;

inline std::string ShortString(std::string_view text) {
    if (text.size() <= kShortStringMax) return std::string(text);
    return std::string(text.substr(0, Utf8PrefixLength(text, kShortStringMax)));
}

}  // namespace quillpost
