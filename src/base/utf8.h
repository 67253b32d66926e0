#pragma once
// UTF-8 and UTF-16 without any system help, below every layer since the
// platform layer's own conversions need them too. The core keeps text as UTF-8;
// a UTF-16 unit without its other half (a script may hand one over) is kept
// as the three bytes its code point would take, so text from a script comes
// back unchanged.
#include <algorithm>
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

namespace utf8_detail {

inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The code point of the sequence at Text[At], or -1 when it is malformed;
// Length is set to the bytes it takes (1 for a malformed byte).
inline long Decode(std::string_view text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = 1;
    const std::size_t n = Utf8SequenceLength(lead);
    if (n == 1) return lead;
    if (n == 0 || at + n > text.size()) return -1;
    long cp = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[at + k]);
        if (!IsContinuation(c)) return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    constexpr long kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[n] || cp > 0x10FFFF) return -1;
    length = n;
    return cp;
}

inline bool IsSurrogate(long cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

inline void Append(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace utf8_detail

// Well-formed UTF-8 (shortest forms, at most U+10FFFF); a lone half of a
// surrogate pair in its three-byte form counts as well-formed.
inline bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n;
        if (utf8_detail::Decode(text, i, n) < 0) return false;
        i += n;
    }
    return true;
}

// Octets in the first Count characters of Text when it is UTF-8; Count when
// it is not.
inline std::size_t Utf8PrefixLength(std::string_view text, std::size_t count) {
    if (!IsUtf8(text)) return std::min(count, text.size());
    std::size_t at = 0;
    for (std::size_t n = 0; n < count && at < text.size(); ++n)
        at += Utf8SequenceLength(static_cast<unsigned char>(text[at]));
    return at;
}

// Malformed bytes become U+FFFD.
inline std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n;
        const long cp = utf8_detail::Decode(text, i, n);
        i += n;
        if (cp < 0) {
            out += u'\uFFFD';
        } else if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

inline std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned long cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        utf8_detail::Append(out, cp);
    }
    return out;
}

// The text with every lone surrogate replaced by Replacement: what may be
// written where strict UTF-8 is required.
inline std::string StrictUtf8(std::string_view text, char replacement = '?') {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n;
        const long cp = utf8_detail::Decode(text, i, n);
        if (cp < 0 || utf8_detail::IsSurrogate(cp))
            out += replacement;
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace quillpost
