#include <array>

#include "platform/ansi_text.h"

namespace quillpost::platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to the C1
// control of the same value, as the Windows converter does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t ToWide(unsigned char c) {
    return (c >= 0x80 && c <= 0x9F) ? kHigh[c - 0x80] : static_cast<char16_t>(c);
}

char ToAnsi(char16_t w) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<char>(w);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == w) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

unsigned AnsiCodePage() { return 1252; }

std::u16string AnsiToWide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out.push_back(ToWide(static_cast<unsigned char>(c)));
    return out;
}

std::string WideToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    // Each UTF-16 unit stands alone, as the Windows converter treats the two
    // halves of a surrogate pair.
    for (char16_t w : text) out.push_back(ToAnsi(w));
    return out;
}

}  // namespace quillpost::platform
