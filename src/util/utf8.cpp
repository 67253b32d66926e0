#include "util/utf8.h"

#include <algorithm>

namespace quillpost {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The code point of the sequence at Text[At], or -1 when it is malformed;
// Length is set to the bytes it takes (1 for a malformed byte).
long Decode(std::string_view text, std::size_t at, std::size_t& length) {
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

bool IsSurrogate(long cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

void Append(std::string& out, unsigned long cp) {
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

}  // namespace

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n;
        if (Decode(text, i, n) < 0) return false;
        i += n;
    }
    return true;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t count) {
    if (!IsUtf8(text)) return std::min(count, text.size());
    std::size_t at = 0;
    for (std::size_t n = 0; n < count && at < text.size(); ++n)
        at += Utf8SequenceLength(static_cast<unsigned char>(text[at]));
    return at;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n;
        const long cp = Decode(text, i, n);
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

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned long cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        Append(out, cp);
    }
    return out;
}

std::string StrictUtf8(std::string_view text, char replacement) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n;
        const long cp = Decode(text, i, n);
        if (cp < 0 || IsSurrogate(cp))
            out += replacement;
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace quillpost
