#include "encoding/boundary.h"

#include <cstddef>
#include <utility>

#include "platform/clock.h"
#include "platform/message_pump.h"

namespace quillpost {
namespace {

constexpr std::uint32_t kMultiplier = 134775813;
constexpr int kFirstReseeds = 101;
constexpr std::uint32_t kExtraReseedsBelow = 30;

// The thread's innermost fixed sequence (tests), or null.
thread_local ScopedBoundarySequence* t_fixed = nullptr;

thread_local std::uint32_t t_seed = 0;

void Reseed() {
    RandomSeed() = static_cast<std::uint32_t>(platform::UtcMillisecondsOfDay());
    platform::ProcessPendingMessages();
}

std::string DrawDigits() {
    std::string digits(kBoundaryDigits, '0');
    for (char& c : digits) c = static_cast<char>('0' + RandomBelow(9));
    return digits;
}

}  // namespace

std::uint32_t& RandomSeed() { return t_seed; }

std::uint32_t RandomBelow(std::uint32_t n) {
    std::uint32_t& seed = RandomSeed();
    seed = seed * kMultiplier + 1;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed) * n) >> 32);
}

std::string MakeBoundary(std::string_view avoid) {
    return MakeBoundary([avoid](std::string_view boundary) { return boundary == avoid; });
}

std::string MakeBoundary(const std::function<bool(std::string_view)>& refused) {
    if (ScopedBoundarySequence* fixed = t_fixed) {
        while (fixed->next_ < fixed->boundaries_.size()) {
            std::string boundary = fixed->boundaries_[fixed->next_++];
            if (!refused(boundary)) return boundary;
        }
    }
    for (int i = 0; i < kFirstReseeds; ++i) Reseed();
    const std::uint32_t extra = RandomBelow(kExtraReseedsBelow);
    for (std::uint32_t i = 0; i <= extra; ++i) Reseed();
    std::string boundary = DrawDigits();
    // Boundaries made within one millisecond come out equal; the generator
    // moves on with every draw, so a second draw differs. Reseeding again
    // would only give the refused digits once more.
    constexpr int kMostDraws = 1000;
    for (int draw = 1; draw < kMostDraws && refused(boundary); ++draw) boundary = DrawDigits();
    return boundary;
}

ScopedBoundarySequence::ScopedBoundarySequence(std::vector<std::string> boundaries)
    : boundaries_(std::move(boundaries)), previous_(t_fixed) {
    t_fixed = this;
}

ScopedBoundarySequence::~ScopedBoundarySequence() { t_fixed = previous_; }

}  // namespace quillpost
