#include "encoding/uucode.h"

#include <algorithm>

#include "base/ascii.h"
#include "util/errors.h"

namespace quillpost {
namespace {

[[noreturn]] void InvalidCharacter() { throw EInOutError("Invalid Character"); }

}  // namespace

std::string EncodeUULine(std::string_view chunk, std::size_t maximum) {
    if (chunk.size() > kUULineBytes) RaiseRangeError();
    const std::size_t n = chunk.size();
    const std::size_t chars = n == kUULineBytes ? 60 : n * 4 / 3 + 1;
    std::string line;
    line.reserve(1 + chars + 3);
    line.push_back(UUAlphabet[n]);
    // Whole groups of three bytes (zero bytes beyond the chunk), four
    // characters each; the line then keeps only as many as it needs.
    for (std::size_t i = 0; line.size() < 1 + chars; i += 3) {
        auto byte = [&](std::size_t k) -> unsigned {
            return k < n ? static_cast<unsigned char>(chunk[k]) : 0u;
        };
        unsigned bits = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        line.push_back(UUAlphabet[bits >> 18 & 63]);
        line.push_back(UUAlphabet[bits >> 12 & 63]);
        line.push_back(UUAlphabet[bits >> 6 & 63]);
        line.push_back(UUAlphabet[bits & 63]);
    }
    line.resize(std::min({line.size(), 1 + chars, maximum}));
    return line;
}

int UUValue(char c) {
    int v = kUUValues[static_cast<unsigned char>(c)];
    if (v < 0) InvalidCharacter();
    return v;
}

std::string DecodeUULine(std::string_view line, std::size_t maximum) {
    line = line.substr(0, kShortStringMax);
    if (line.empty()) return {};
    const auto n = static_cast<std::size_t>(UUValue(line[0]));
    std::string_view data = line.substr(1);
    if (n == kUULineBytes) data = data.substr(0, 60);
    for (char c : data)
        if (kUUValues[static_cast<unsigned char>(c)] < 0) InvalidCharacter();

    std::string bytes;
    bytes.reserve(n + 2);
    auto value = [&](std::size_t k) -> unsigned {
        return k < data.size()
                   ? static_cast<unsigned>(kUUValues[static_cast<unsigned char>(data[k])])
                   : 0u;
    };
    for (std::size_t k = 0; bytes.size() < n; k += 4) {
        unsigned bits = value(k) << 18 | value(k + 1) << 12 | value(k + 2) << 6 | value(k + 3);
        bytes.push_back(static_cast<char>(bits >> 16 & 0xFF));
        bytes.push_back(static_cast<char>(bits >> 8 & 0xFF));
        bytes.push_back(static_cast<char>(bits & 0xFF));
    }
    bytes.resize(std::min(n, maximum));
    return bytes;
}

bool IsUUBeginLine(std::string_view line) {
    constexpr std::string_view word = "begin";
    if (line.size() <= 8 || !StartsWithIgnoringCase(line, word)) return false;
    const std::string_view rest = TrimBlanksAndControls(line.substr(word.size()));
    if (rest.size() < 3) return false;
    std::string_view mode = rest.substr(0, 3);
    if (mode[0] == '+' || mode[0] == '-') mode.remove_prefix(1);
    return std::all_of(mode.begin(), mode.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string UUBeginFileName(std::string_view line) {
    std::string_view rest = line.substr(std::min<std::size_t>(10, line.size()));
    if (!rest.empty() && rest.front() == '"') {
        std::size_t close = rest.find('"', 1);
        return close == std::string_view::npos ? std::string()
                                               : std::string(rest.substr(1, close - 1));
    }
    return std::string(rest.substr(0, rest.find(' ')));
}

}  // namespace quillpost
