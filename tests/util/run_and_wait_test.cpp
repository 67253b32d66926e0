#include "util/run_and_wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/clock.h"
#include "platform/test_programs.h"
#include "stepping_clock.h"
#include "temp_dir.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

double SecondsSince(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// Waits (bounded) until Condition holds.
template <typename F>
bool Eventually(F condition, std::chrono::milliseconds limit = 10s) {
    const auto end = Steady::now() + limit;
    while (Steady::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

using testing::TempDir;

void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

TEST(RunAndWait, ResultsOfAStart) {
    EXPECT_EQ(RunAndWait(testing::ExitAtOnceCommand(), platform::kShowHide, 20000), 0);
    EXPECT_EQ(RunAndWait("qp_no_such_program_4711 arg", platform::kShowHide, 1000), 2);
    const std::int32_t empty = RunAndWait("", platform::kShowHide, 1000);
    EXPECT_NE(empty, 0);
    EXPECT_NE(empty, 258);
    EXPECT_NE(empty, -1);
}

TEST(RunAndWait, ReturnsAtTheLimitAndLeavesTheProgramRunning) {
    TempDir dir;
    const std::string marker = dir.PathOf("marker");
    auto start = Steady::now();
    EXPECT_EQ(RunAndWait(testing::CreateLaterCommand(4, marker), platform::kShowHide, 300), 258);
    const double waited = SecondsSince(start);
    EXPECT_GE(waited, 0.29);
    EXPECT_FALSE(fs::exists(marker)) << "it waited for the program";
    EXPECT_TRUE(Eventually([&] { return fs::exists(marker); }, 15s)) << "the program was stopped";
}

TEST(RunAndWait, ZeroLimitReturnsAtOnce) {
    auto start = Steady::now();
    EXPECT_EQ(RunAndWait(testing::RunForCommand(10), platform::kShowHide, 0), 258);
    EXPECT_LT(SecondsSince(start), 8.0);
}

TEST(RunAndWait, WaitsForAProgramThatEndsWithinTheLimit) {
    TempDir dir;
    const std::string marker = dir.PathOf("marker");
    EXPECT_EQ(RunAndWait(testing::CreateLaterCommand(1, marker), platform::kShowNormal, 30000), 0);
    EXPECT_TRUE(fs::exists(marker));  // it had run to its end
}

using testing::SteppingClock;

TEST(WaitForFileAccess, LimitCountsWholeSecondsUntilElevenHavePassed) {
    TempDir dir;
    SteppingClock clock(12 * 3600);
    platform::ScopedClockOverride use(clock);
    EXPECT_FALSE(WaitForFileAccess(dir.PathOf("missing"), kReadDenyWrite));
    EXPECT_EQ(clock.readings, 12);  // the start, ten tries at 1..10, the stop at 11
}

TEST(WaitForFileAccess, CrossingMidnightEndsTheWait) {
    TempDir dir;
    SteppingClock clock(86400 - 2);
    platform::ScopedClockOverride use(clock);
    EXPECT_FALSE(WaitForFileAccess(dir.PathOf("missing"), kReadDenyWrite));
    EXPECT_EQ(clock.readings, 3);  // 23:59:58 start, 23:59:59 try, 00:00:00 stop
}

TEST(WaitForFileAccess, FreeFileOpensAtTheFirstTry) {
    TempDir dir;
    const std::string file = dir.PathOf("free.txt");
    WriteFile(file, "text\r\n");
    SteppingClock clock(3600);
    platform::ScopedClockOverride use(clock);
    EXPECT_TRUE(WaitForFileAccess(file, kReadDenyWrite));
    EXPECT_EQ(clock.readings, 2);
}

TEST(WaitForFileAccess, WriterInAnotherProcessKeepsItWaitingAReaderDoesNot) {
    TempDir dir;
    const std::string written = dir.PathOf("written.txt");
    WriteFile(written, "");
    ASSERT_EQ(RunAndWait(testing::HoldForWritingCommand(written, 4), platform::kShowHide, 0), 258);
    ASSERT_TRUE(Eventually([&] { return !platform::CanOpenFile(written, kReadDenyWrite); }))
        << "the holder never opened the file";
    {
        SteppingClock clock(3600);
        platform::ScopedClockOverride use(clock);
        EXPECT_FALSE(WaitForFileAccess(written, kReadDenyWrite));
        EXPECT_EQ(clock.readings, 12);
        // Others' writing does not matter to a mode that shares writing.
        EXPECT_TRUE(WaitForFileAccess(written, platform::fmOpenRead | platform::fmShareDenyNone));
    }
    // The writer leaves within the real limit, and the wait ends with it.
    EXPECT_TRUE(WaitForFileAccess(written, kReadDenyWrite));

    const std::string read = dir.PathOf("read.txt");
    const std::string ready = dir.PathOf("ready");
    WriteFile(read, "text\r\n");
    ASSERT_EQ(RunAndWait(testing::HoldForReadingCommand(read, ready, 3), platform::kShowHide, 0),
              258);
    ASSERT_TRUE(Eventually([&] { return fs::exists(ready); })) << "the reader never started";
    SteppingClock clock(3600);
    platform::ScopedClockOverride use(clock);
    EXPECT_TRUE(WaitForFileAccess(read, kReadDenyWrite));
    EXPECT_EQ(clock.readings, 2);
}

TEST(WaitForFileAccess, ModesAreCheckedAgainstOwnOpenFiles) {
    TempDir dir;
    const std::string file = dir.PathOf("own.txt");
    WriteFile(file, "x");
    SteppingClock clock(3600);
    platform::ScopedClockOverride use(clock);
    EXPECT_TRUE(WaitForFileAccess(file, platform::fmOpenReadWrite | platform::fmShareExclusive));
    {
        std::ofstream holder(file, std::ios::app);  // this process writes it now
        ASSERT_TRUE(holder.is_open());
        EXPECT_FALSE(WaitForFileAccess(file, kReadDenyWrite));
    }
    EXPECT_FALSE(WaitForFileAccess(dir.PathOf(""), kReadDenyWrite));  // a directory
    EXPECT_FALSE(WaitForFileAccess(file, 0x0003));                    // no such access
}

TEST(WaitForFileAccess, RealClockGivesUpAfterTenToElevenSeconds) {
    TempDir dir;
    auto start = Steady::now();
    EXPECT_FALSE(WaitForFileAccess(dir.PathOf("never-there.txt"), kReadDenyWrite));
    const double waited = SecondsSince(start);
    EXPECT_GT(waited, 10.0);
    EXPECT_LT(waited, 30.0);
}

}  // namespace
}  // namespace quillpost
