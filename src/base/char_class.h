#pragma once
// Character classes as 256-entry tables, built at compile time.
#include <array>
#include <string_view>

namespace quillpost {

// Letters, digits and Others.
constexpr std::array<bool, 256> AlphanumericAnd(std::string_view others) {
    std::array<bool, 256> set{};
    for (int c = '0'; c <= '9'; ++c) set[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) set[c] = set[c + 32] = true;
    for (unsigned char c : others) set[c] = true;
    return set;
}

}  // namespace quillpost
