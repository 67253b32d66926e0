#include "encoding/boundary.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "encoding/compose_helpers.h"
#include "platform/clock.h"

namespace quillpost {
namespace {

// Counts the readings; each is Start plus Step per earlier reading.
class SteppingClock : public platform::Clock {
public:
    SteppingClock(std::uint32_t start, std::uint32_t step) : start_(start), step_(step) {}
    platform::CalendarTime LocalNow() override { return {}; }
    std::uint32_t UtcMillisecondsOfDay() override { return start_ + step_ * readings++; }
    std::uint32_t readings = 0;

private:
    std::uint32_t start_;
    std::uint32_t step_;
};

// Expected values worked out apart from this code, from the generator's
// definition: 101 reseeds, a draw K below 30, K + 1 more reseeds, 8 digits.
TEST(Boundary, DrawnFromTheClockSeededGenerator) {
    struct Case {
        std::uint32_t start;
        std::uint32_t step;
        const char* boundary;
        std::uint32_t readings;
    } cases[] = {
        {45296789, 0, "42306404", 116},  // 12:34:56.789
        {45296789, 1, "20831434", 120},  // the clock moves on between readings
        {0, 0, "00712621", 102},
        {86399999, 0, "68321078", 123},
    };
    for (const auto& c : cases) {
        SteppingClock clock(c.start, c.step);
        platform::ScopedClockOverride fixed(clock);
        RandomSeed() = 99;  // whatever came before does not matter
        EXPECT_EQ(MakeBoundary(), c.boundary);
        EXPECT_EQ(clock.readings, c.readings);
    }
}

// Mailers on different threads make boundaries at once: each thread sees its
// own clock and generator, so its boundaries are those it would make alone,
// and a fixed sequence set on one thread stays there.
TEST(Boundary, EachThreadDrawsItsOwnSequence) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {45296789, "42306404"}, {0, "00712621"}, {86399999, "68321078"}, {45296789, "42306404"}};
    ScopedBoundarySequence fixed({"fixed-1", "fixed-2"});
    std::vector<int> mismatches(std::size(cases));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        threads.emplace_back([&, i] {
            SteppingClock clock(cases[i].first, 0);
            platform::ScopedClockOverride own(clock);
            for (int n = 0; n < 100; ++n) mismatches[i] += MakeBoundary() != cases[i].second;
        });
    }
    for (std::thread& t : threads) t.join();
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(mismatches[i], 0) << i;
    EXPECT_EQ(MakeBoundary(), "fixed-1");
}

TEST(Boundary, NestedDiffersAndNoNine) {
    SteppingClock clock(45296789, 0);
    platform::ScopedClockOverride fixed(clock);
    // The same clock reading gives the same boundary; the nested one must differ.
    const std::string outer = MakeBoundary();
    const std::string inner = MakeBoundary(outer);
    EXPECT_NE(inner, outer);
    EXPECT_EQ(inner.size(), kBoundaryDigits);

    SteppingClock moving(1000, 7);
    platform::ScopedClockOverride steps(moving);
    for (int i = 0; i < 200; ++i) {
        const std::string b = MakeBoundary();
        ASSERT_EQ(b.size(), kBoundaryDigits);
        ASSERT_EQ(b.find_first_not_of("012345678"), std::string::npos) << b;
    }
}

// A fixed clock fixes the composed text.
TEST(Boundary, FixedClockFixesTheMessage) {
    SteppingClock clock(45296789, 0);
    platform::ScopedClockOverride fixed(clock);
    TmsMessage m;
    test::FillBasics(m);
    m.Body().Add("x");
    test::AddAttachment(m, "a.gif", "image/gif", teBase64, "GIF");
    const std::string text = test::Compose(m);
    EXPECT_NE(text.find("Content-Type: multipart/mixed; boundary=\"42306404\"\r\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n--42306404--\r\n"));
}

}  // namespace
}  // namespace quillpost
