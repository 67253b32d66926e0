#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "mailer/mailer.h"
#include "message/test_files.h"
#include "platform/clock.h"
#include "platform/test_programs.h"
#include "platform/working_directory.h"
#include "stepping_clock.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

using testing::SteppingClock;

struct ReadCase {
    const char* name;
    std::string content;
    Lines lines;
};

class BodyFileRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(BodyFileRules, FileLinesBecomeBodyEntries) {
    testing::TempDir dir;
    const std::string file = dir.Write("body.txt", GetParam().content);
    TMailer m;
    EXPECT_TRUE(m.GetBodyTextFromFile(file, kWordFalse, kWordFalse));
    EXPECT_EQ(m.BodyLines(), GetParam().lines);
    EXPECT_TRUE(m.Response().empty());
    EXPECT_TRUE(fs::exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BodyFileRules,
    ::testing::Values(
        ReadCase{"CrLf", "one\r\ntwo\r\nthree\r\n", {"one", "two", "three"}},
        ReadCase{"LfOnlyIsOneEntry", "one\ntwo\nthree\n", {"one\ntwo\nthree\n"}},
        ReadCase{"CtrlZEndsTheInput", "one\r\ntwo\x1Athree\r\nfour\r\n", {"one", "two"}},
        ReadCase{"LoneCrAndEmptyLines", "a\rb\r\n\r\nc", {"a", "b", "", "c"}},
        ReadCase{"Empty", "", {}},
        ReadCase{"LongLine", std::string(200000, 'x') + "\r\ny", {std::string(200000, 'x'), "y"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BodyFromFile, EveryReadAppends) {
    testing::TempDir dir;
    const std::string file = dir.Write("body.txt", "one\r\ntwo\r\nthree\r\n");
    TMailer m;
    m.SetBodyText("first");
    EXPECT_TRUE(m.GetBodyTextFromFile(file, kWordFalse, kWordFalse));
    EXPECT_TRUE(m.GetBodyTextFromFile(file, kWordTrue, kWordFalse));
    EXPECT_EQ(m.BodyLines(), (Lines{"first", "one", "two", "three", "one", "two", "three"}));
    EXPECT_FALSE(fs::exists(file)) << "erased after the second read";
}

TEST(BodyFromFile, OnlyARegularFileIsRead) {
    testing::TempDir dir;
    for (const std::string& name : testing::SpecialFiles(dir)) {
        TMailer m;
        EXPECT_FALSE(m.GetBodyTextFromFile(name, kWordFalse, kWordFalse)) << name;
        EXPECT_EQ(m.Response(), "Cannot read file \"" + name + "\": not a regular file");
        EXPECT_TRUE(m.BodyLines().empty());
    }
}

TEST(BodyFromFile, MissingFileTimesOutAndLeavesTheBody) {
    testing::TempDir dir;
    SteppingClock clock;
    platform::ScopedClockOverride use(clock);
    TMailer m;
    m.SetBodyText("kept");
    EXPECT_FALSE(m.GetBodyTextFromFile(dir.PathOf("missing.txt"), kWordTrue, kWordFalse));
    EXPECT_EQ(m.Response(), "Timedout waiting for file access.");
    EXPECT_EQ(m.BodyLines(), Lines{"kept"});
}

// /proc/self/mem opens but fails at the first read (nothing is mapped at 0);
// a link to it in a temporary directory can be erased.
TEST(BodyFromFile, ReadErrorIsReportedAndTheFileStillErased) {
    // Only a POSIX host has it (Wine would map the name onto a drive).
    if (!platform::kSlashSeparatesDirectories || !fs::exists("/proc/self/mem"))
        GTEST_SKIP() << "no /proc on this system";
    testing::TempDir dir;
    const fs::path link = fs::path(dir.Path()) / "body.txt";
    fs::create_symlink("/proc/self/mem", link);
    TMailer m;
    EXPECT_FALSE(m.GetBodyTextFromFile(link.string(), kWordTrue, kWordFalse));
    EXPECT_EQ(m.Response(), "Error 5 occurred during file read.");  // EIO
    EXPECT_TRUE(m.BodyLines().empty());
    EXPECT_FALSE(fs::is_symlink(link));
}

class BodyFromProgram : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string script = testing::WriteDirectoryReportScript(dir.Path());
    fs::path start = fs::current_path();
    TMailer m;
};

TEST_F(BodyFromProgram, ProgramRunsInItsDirectoryAndWritesTheInputFile) {
    m.SetPGPPath(" \t" + script + " \r\n");
    m.SetPGPParams("  out.txt\t");
    // A relative input file is looked for where the program ran.
    EXPECT_TRUE(m.GetBodyTextFromFile("out.txt", kWordTrue, kWordFalse)) << m.Response();
    EXPECT_EQ(m.PGPPath(), script);
    EXPECT_EQ(m.PGPParams(), "out.txt");
    EXPECT_TRUE(m.Response().empty());
    EXPECT_TRUE(fs::exists(dir.PathOf("ran")));
    EXPECT_FALSE(fs::exists(dir.PathOf("out.txt"))) << "not erased";
    EXPECT_EQ(fs::current_path(), start);

    const Lines& body = m.BodyLines();
    ASSERT_GE(body.size(), 3u);
    EXPECT_EQ(body[0], "line one");
    EXPECT_EQ(body[1], "line two");
    EXPECT_TRUE(fs::equivalent(body[2], dir.Path())) << body[2];
    // The process itself stayed where it was while the program ran (only
    // the POSIX script can see its parent's directory).
    if (platform::kSlashSeparatesDirectories) {
        ASSERT_EQ(body.size(), 4u);
        EXPECT_TRUE(fs::equivalent(body[3], start)) << body[3];
    }
}

TEST_F(BodyFromProgram, NoParamsStartsNothingButStillUsesTheProgramDirectory) {
    dir.Write("in.txt", "text\r\n");
    m.SetPGPPath(script);
    m.SetPGPParams(" \t ");
    EXPECT_TRUE(m.GetBodyTextFromFile("in.txt", kWordFalse, kWordFalse));
    EXPECT_EQ(m.BodyLines(), Lines{"text"});
    EXPECT_EQ(m.PGPParams(), "");
    EXPECT_FALSE(fs::exists(dir.PathOf("ran")));
    EXPECT_EQ(fs::current_path(), start);
}

TEST_F(BodyFromProgram, WaitLimitsOutOfRangeFailQuietlyWithoutStarting) {
    m.SetPGPPath(script);
    m.SetPGPParams("out.txt");
    for (std::int32_t tenths : {INT_MAX, 21474837, -1}) {
        m.SetPGPTimeOut(tenths);
        EXPECT_FALSE(m.GetBodyTextFromFile("out.txt", kWordFalse, kWordFalse)) << tenths;
        EXPECT_TRUE(m.Response().empty()) << tenths;
    }
    EXPECT_FALSE(fs::exists(dir.PathOf("ran")));
    EXPECT_EQ(fs::current_path(), start);
}

TEST_F(BodyFromProgram, ProgramThatCannotStartIsReportedButTheFileIsRead) {
    dir.Write("in.txt", "old text\r\n");
    m.SetPGPPath(dir.PathOf("qp_no_such_program"));
    m.SetPGPParams("in.txt");
    EXPECT_TRUE(m.GetBodyTextFromFile("in.txt", kWordFalse, kWordFalse));
    EXPECT_EQ(m.Response(), "Exec failed. GetLastError reports: 2");
    EXPECT_EQ(m.BodyLines(), Lines{"old text"});
}

TEST_F(BodyFromProgram, ProgramDirectoryThatCannotBeEnteredFailsQuietly) {
    const std::string file = dir.Write("in.txt", "text\r\n");
    m.SetPGPPath(" " + (fs::path(dir.Path()) / "missing" / "prog").string());
    m.SetPGPParams("in.txt ");
    EXPECT_FALSE(m.GetBodyTextFromFile(file, kWordFalse, kWordFalse));
    EXPECT_TRUE(m.Response().empty());
    EXPECT_TRUE(m.BodyLines().empty());
    EXPECT_EQ(m.PGPParams(), "in.txt");
    EXPECT_EQ(fs::current_path(), start);
}

}  // namespace
}  // namespace quillpost
