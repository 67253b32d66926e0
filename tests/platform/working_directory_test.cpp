#include "platform/working_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "message/test_files.h"
#include "platform/process.h"
#include "platform/test_programs.h"

namespace quillpost::platform {
namespace {

namespace fs = std::filesystem;

TEST(ScopedWorkingDirectory, EnteredDirectoryReachesItsFilesAndTheStartComesBack) {
    testing::TempDir dir;
    dir.Write("inside.txt", "x");
    const fs::path start = fs::current_path();
    {
        ScopedWorkingDirectory scope(dir.Path());
        ASSERT_TRUE(scope.Entered());
        EXPECT_TRUE(fs::exists(scope.Resolve("inside.txt")));
        EXPECT_EQ(scope.Resolve(dir.PathOf("inside.txt")), dir.PathOf("inside.txt"));
        // The process stays where it is (other threads resolve names
        // against it); the program start is told the directory instead.
        EXPECT_EQ(fs::current_path(), start);
        EXPECT_TRUE(fs::equivalent(scope.ProgramDirectory(), dir.Path()));
    }
    EXPECT_EQ(fs::current_path(), start);
}

TEST(ScopedWorkingDirectory, DirectoriesThatCannotBeEntered) {
    testing::TempDir dir;
    const fs::path start = fs::current_path();
    for (const std::string& bad : {dir.PathOf("missing"), dir.Write("file.txt", "x")}) {
        {
            ScopedWorkingDirectory scope(bad);
            EXPECT_FALSE(scope.Entered()) << bad;
        }
        EXPECT_EQ(fs::current_path(), start);
    }
    ScopedWorkingDirectory none("");
    EXPECT_TRUE(none.Entered());
    EXPECT_EQ(none.Resolve("a.txt"), "a.txt");
    EXPECT_TRUE(none.ProgramDirectory().empty());
}

TEST(RunAndWaitIn, ProgramStartsInTheGivenDirectory) {
    testing::TempDir dir;
    const std::string marker = "qp_marker_4711";
    ASSERT_FALSE(fs::exists(marker));
    EXPECT_EQ(RunAndWait(testing::CreateLaterCommand(0, marker), kShowHide, 30000, dir.Path()),
              kWaitEnded);
    EXPECT_TRUE(fs::exists(dir.PathOf(marker)));
    EXPECT_FALSE(fs::exists(marker));

    const std::int32_t missing =
        RunAndWait(testing::ExitAtOnceCommand(), kShowHide, 30000, dir.PathOf("missing"));
    EXPECT_NE(missing, kWaitEnded);
    EXPECT_NE(missing, kWaitTimedOut);
    EXPECT_NE(missing, kWaitFailed);
}

}  // namespace
}  // namespace quillpost::platform
