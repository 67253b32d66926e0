#pragma once
// MIME boundaries: eight digits from the process-wide pseudo-random
// generator, reseeded from the clock before every boundary.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillpost {

inline constexpr std::size_t kBoundaryDigits = 8;

// The process-wide generator: seed <- seed * 134775813 + 1 (mod 2^32); a
// draw below N is the upper half of the 64-bit product of the new seed and N.
// One value shared without locking, as a host calls us from one thread.
std::uint32_t& RandomSeed();
std::uint32_t RandomBelow(std::uint32_t n);

// Eight digits 0..8 each. Reseeds 101 times from the UTC time of day in
// milliseconds, draws K below 30, reseeds K + 1 more times, then draws the
// digits; the host's pending window messages are processed after every
// reseed. Differs from Avoid (a nested group's enclosing boundary) by
// drawing the digits again while equal.
std::string MakeBoundary(std::string_view avoid = {});

// Tests: while alive, MakeBoundary hands out these boundaries in order
// (skipping one equal to Avoid) and falls back to the generator when they
// run out. Not nestable.
class ScopedBoundarySequence {
public:
    explicit ScopedBoundarySequence(std::vector<std::string> boundaries);
    ~ScopedBoundarySequence();
    ScopedBoundarySequence(const ScopedBoundarySequence&) = delete;
    ScopedBoundarySequence& operator=(const ScopedBoundarySequence&) = delete;
};

}  // namespace quillpost
