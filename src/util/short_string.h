#pragma once
// Names, addresses, subjects and content types in the message model are short
// strings: at most 255 single-byte characters, longer text cut without a report.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillpost {

inline constexpr std::size_t kShortStringMax = 255;

inline std::string ShortString(std::string_view text) {
    return std::string(text.substr(0, kShortStringMax));
}

}  // namespace quillpost
