#include "encoding/base64.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "util/errors.h"

namespace quillpost {

namespace {

constexpr const char* kInvalidCharacter = "Invalid Character";

[[noreturn]] void RaiseInvalidCharacter() { throw EInOutError(kInvalidCharacter); }

// The two characters of every 12-bit value: a triple takes two look-ups
// instead of four.
constexpr std::array<std::array<char, 2>, 4096> kBase64Pairs = [] {
    std::array<std::array<char, 2>, 4096> table{};
    for (std::size_t v = 0; v < 4096; ++v)
        table[v] = {Base64Alphabet[v >> 6], Base64Alphabet[v & 63]};
    return table;
}();

inline void EncodeTriple(const unsigned char* in, char* out) {
    const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, kBase64Pairs[v >> 12].data(), 2);
    std::memcpy(out + 2, kBase64Pairs[v & 0xFFF].data(), 2);
}

// One whole line: 57 bytes to 76 characters and the line break. The fixed
// count lets the compiler unroll it.
inline char* EncodeLine(const unsigned char* in, char* out) {
    for (std::size_t i = 0; i < kBase64LineBytes; i += 3, out += 4) EncodeTriple(in + i, out);
    std::memcpy(out, kBase64LineBreak.data(), kBase64LineBreak.size());
    return out + kBase64LineBreak.size();
}

// Value of one character where "=" stands for zero bits.
inline std::uint32_t BitsOf(char c) {
    const std::uint8_t v = kBase64Values[static_cast<unsigned char>(c)];
    if (v == kBase64Invalid) RaiseInvalidCharacter();
    return v == kBase64PadValue ? 0 : v;
}

// The bits each character gives at each place of a group of four, so that a
// group is four look-ups and an OR; a pad or an invalid character sets
// kNotPlain instead, which sends the group the slow, checking way.
constexpr std::uint32_t kNotPlain = 0x80000000u;
constexpr std::array<std::array<std::uint32_t, 256>, 4> kGroupBits = [] {
    std::array<std::array<std::uint32_t, 256>, 4> table{};
    for (std::size_t place = 0; place < 4; ++place)
        for (std::size_t c = 0; c < 256; ++c)
            table[place][c] = kBase64Values[c] < 64
                                  ? std::uint32_t{kBase64Values[c]} << (18 - 6 * place)
                                  : kNotPlain;
    return table;
}();

}  // namespace

std::size_t EncodeBase64Block(const void* bytes, std::size_t count, char* out) {
    const auto* in = static_cast<const unsigned char*>(bytes);
    char* const start = out;
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3, out += 4) EncodeTriple(in + i, out);
    const std::size_t rest = count - i;
    if (rest != 0) {
        unsigned char tail[3] = {in[i], rest == 2 ? in[i + 1] : static_cast<unsigned char>(0), 0};
        EncodeTriple(tail, out);
        out[3] = kBase64Pad;
        if (rest == 1) out[2] = kBase64Pad;
        out += 4;
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t DecodeBase64Block(std::string_view text, char* out) {
    const std::size_t n = text.size();
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t written = 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint32_t v = kGroupBits[0][s[i]] | kGroupBits[1][s[i + 1]] | kGroupBits[2][s[i + 2]] |
                          kGroupBits[3][s[i + 3]];
        if ((v & kNotPlain) != 0)
            v = (BitsOf(static_cast<char>(s[i])) << 18) |
                (BitsOf(static_cast<char>(s[i + 1])) << 12) |
                (BitsOf(static_cast<char>(s[i + 2])) << 6) | BitsOf(static_cast<char>(s[i + 3]));
        // One four-byte store, the three bytes first: its last byte is
        // written over by the next group or lies in the room that
        // Base64DecodedMaxSize leaves past the data.
        std::uint32_t word = v << 8;
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
        std::memcpy(out + written, &word, sizeof word);
        written += 3;
    }
    // A short final group yields only the whole bytes its bits hold: the
    // zero fill of a partial byte is not data.
    const std::size_t rest = n - i;
    if (rest != 0) {
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < rest; ++k) v |= BitsOf(s[i + k]) << (18 - 6 * k);
        const std::size_t bytes = rest * 6 / 8;
        for (std::size_t k = 0; k < bytes; ++k)
            out[written++] = static_cast<char>(v >> (16 - 8 * k));
    }
    std::size_t pads = 0;
    while (pads < n && s[n - 1 - pads] == kBase64Pad) ++pads;
    return written > pads ? written - pads : 0;
}

std::string EncodeBase64(std::string_view bytes, std::size_t maximum) {
    std::string result(Base64EncodedSize(bytes.size()), '\0');
    result.resize(std::min(EncodeBase64Block(bytes.data(), bytes.size(), result.data()), maximum));
    return result;
}

std::string DecodeBase64(std::string_view text, std::size_t maximum) {
    std::string result(Base64DecodedMaxSize(text.size()), '\0');
    result.resize(std::min(DecodeBase64Block(text, result.data()), maximum));
    return result;
}

int Base64Value(char c) { return static_cast<int>(BitsOf(c)); }

std::size_t Base64LineEncoder::Step(const void* bytes, std::size_t count, char* out) {
    const auto* in = static_cast<const unsigned char*>(bytes);
    char* const start = out;
    if (carried_ != 0) {
        const std::size_t take = std::min(count, kBase64LineBytes - carried_);
        std::memcpy(pending_.data() + carried_, in, take);
        carried_ += take;
        in += take;
        count -= take;
        if (carried_ < kBase64LineBytes) return 0;
        out = EncodeLine(pending_.data(), out);
        carried_ = 0;
    }
    for (; count >= kBase64LineBytes; in += kBase64LineBytes, count -= kBase64LineBytes)
        out = EncodeLine(in, out);
    if (count != 0) std::memcpy(pending_.data(), in, count);
    carried_ = count;
    return static_cast<std::size_t>(out - start);
}

std::size_t Base64LineEncoder::Finish(char* out) {
    std::size_t n = EncodeBase64Block(pending_.data(), carried_, out);
    std::memcpy(out + n, kBase64LineBreak.data(), kBase64LineBreak.size());
    carried_ = 0;
    return n + kBase64LineBreak.size();
}

std::string EncodeBase64Lines(std::string_view bytes) {
    std::string result(Base64LineEncoder::TotalMaxOutput(bytes.size()), '\0');
    Base64LineEncoder encoder;
    std::size_t n = encoder.Step(bytes.data(), bytes.size(), result.data());
    n += encoder.Finish(result.data() + n);
    result.resize(n);
    return result;
}

}  // namespace quillpost
