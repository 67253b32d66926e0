#pragma once
// MIME boundaries: eight digits from the thread's pseudo-random generator,
// reseeded from the clock before every boundary.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillpost {

inline constexpr std::size_t kBoundaryDigits = 8;

// The generator: seed <- seed * 134775813 + 1 (mod 2^32); a draw below N is
// the upper half of the 64-bit product of the new seed and N. Each thread has
// its own seed (starting at 0), so Mailers on different threads never share
// one, and a thread's sequence is what a single-threaded host would see.
std::uint32_t& RandomSeed();
std::uint32_t RandomBelow(std::uint32_t n);

// Eight digits 0..8 each. Reseeds 101 times from the UTC time of day in
// milliseconds, draws K below 30, reseeds K + 1 more times, then draws the
// digits; the host's pending window messages are processed after every
// reseed. Differs from Avoid (a nested group's enclosing boundary) by
// drawing the digits again while equal.
std::string MakeBoundary(std::string_view avoid = {});

// As MakeBoundary, drawing the digits again while Refused says no to them
// (a boundary the content holds), a bounded number of times: content cannot
// hold every boundary, and a composer never hangs.
std::string MakeBoundary(const std::function<bool(std::string_view)>& refused);

// Tests: while alive, MakeBoundary on the thread that made it hands out these
// boundaries in order (skipping one equal to Avoid) and falls back to the
// generator when they run out. Other threads are not affected.
class ScopedBoundarySequence {
public:
    explicit ScopedBoundarySequence(std::vector<std::string> boundaries);
    ~ScopedBoundarySequence();
    ScopedBoundarySequence(const ScopedBoundarySequence&) = delete;
    ScopedBoundarySequence& operator=(const ScopedBoundarySequence&) = delete;

private:
    friend std::string MakeBoundary(const std::function<bool(std::string_view)>& refused);
    std::vector<std::string> boundaries_;
    std::size_t next_ = 0;
    ScopedBoundarySequence* previous_;
};

}  // namespace quillpost
