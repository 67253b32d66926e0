#pragma once
// Small byte-string routines: words between delimiters, the directory of a
// path. Positions count from 1.
#include <cstdint>
#include <string>
#include <string_view>

namespace quillpost {

// A set of byte values.
class TByteSet {
public:
    constexpr TByteSet() = default;
    constexpr explicit TByteSet(std::string_view chars) {
        for (char c : chars) Include(c);
    }
    constexpr void Include(char c) {
        const auto b = static_cast<unsigned char>(c);
        bits_[b >> 6] |= std::uint64_t{1} << (b & 63);
    }
    constexpr bool Contains(char c) const {
        const auto b = static_cast<unsigned char>(c);
        return (bits_[b >> 6] >> (b & 63)) & 1;
    }

private:
    std::uint64_t bits_[4] = {};
};

// The delimiter sets in use.
inline constexpr TByteSet kHostSeparators{std::string_view(",;")};
inline constexpr TByteSet kLineEnds{std::string_view("\r\n")};
inline constexpr TByteSet kPathSeparators{std::string_view("\0:\\", 3)};

// Position of the first character of the N-th word of S, 0 when S has fewer
// than N words or N < 1. A word is a maximal run of characters not in
// Delims, so leading, trailing and repeated delimiters make no empty words.
// Positions and counts are 16-bit: an S longer than 65535 characters raises
// ERangeError "Range check error".
int WordPosition(int n, std::string_view s, const TByteSet& delims);

// The N-th word of S, empty when there is none; the same limit.
std::string ExtractWord(int n, std::string_view s, const TByteSet& delims);

// The directory part of Path, separators being "\", ":" and NUL: everything
// before the last one, keeping a ":" and the "\" of a drive root
// ("C:\pgp\pgp.exe" gives "C:\pgp", "C:\pgp.exe" "C:\", "C:pgp.exe" "C:",
// "\pgp.exe" "\"); empty when there is none. A NUL goes like a "\".
std::string DirectoryOf(std::string_view path);

}  // namespace quillpost
