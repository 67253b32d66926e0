#pragma once
// ASCII text rules every layer shares. Case folding touches only A-Z and a-z:
// bytes above 127 belong to a character set nothing here knows. "Blanks and
// control characters" are the codes 0 to 32, trimmed from names and values.
#include <concepts>
#include <string>
#include <string_view>

namespace quillpost {

template <std::integral Char>
constexpr Char AsciiLower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <std::integral Char>
constexpr Char AsciiUpper(Char c) {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}

inline std::string AsciiLowerText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

inline std::string AsciiUpperText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

template <class Char>
constexpr bool StartsWithIgnoringCase(std::basic_string_view<Char> text,
                                      std::basic_string_view<Char> prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
    return true;
}
constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return StartsWithIgnoringCase<char>(text, prefix);
}

constexpr bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}
constexpr bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && StartsWithIgnoringCase<char16_t>(a, b);
}

// A wide name against a narrow one, byte by byte as Latin-1.
constexpr bool SameTextIgnoringCase(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(char16_t(static_cast<unsigned char>(b[i]))))
            return false;
    return true;
}

constexpr bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// A C0 control character or DEL.
constexpr bool IsAsciiControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

constexpr std::string_view TrimBlanksAndControls(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
    return text;
}

// Text without the spaces and tabs around it.
constexpr std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace quillpost
