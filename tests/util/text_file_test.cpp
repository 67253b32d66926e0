#include "util/text_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/test_programs.h"
#include "temp_dir.h"
#include "util/errors.h"
#include "util/run_and_wait.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TextFileTest : public ::testing::Test {
protected:
    std::string Write(const char* name, const std::string& bytes) {
        return dir_.Write(name, bytes);
    }
    std::string Path(const char* name) { return dir_.PathOf(name); }

    testing::TempDir dir_;
};

std::vector<std::string> ReadAll(TTextFile& f) {
    std::vector<std::string> lines;
    std::string line;
    for (int guard = 0; guard < 100000; ++guard) {
        TTextFile::ReadResult r = f.ReadLine(line);
        if (r != TTextFile::ReadResult::Line) {
            EXPECT_EQ(r, TTextFile::ReadResult::End);
            break;
        }
        lines.push_back(line);
    }
    return lines;
}

struct LinesCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

using L = std::vector<std::string>;

TEST_F(TextFileTest, LineRules) {
    const std::string big(70000, 'x');
    const LinesCase cases[] = {
        {"crlf", "a\r\nb\r\n", L{"a", "b"}},
        {"blank line kept", "a\r\n\r\nb", L{"a", "", "b"}},
        {"no end on the last line", "a", L{"a"}},
        {"empty file", "", L{}},
        {"lf alone is text", "a\nb\r\n", L{"a\nb"}},
        {"cr alone ends", "a\rb", L{"a", "b"}},
        {"one lf skipped only", "a\r\n\nb", L{"a", "\nb"}},
        {"cr cr lf", "a\r\r\n", L{"a", ""}},
        {"ctrl-z ends",
         "a\r\nb\x1a"
         "c\r\nd",
         L{"a", "b"}},
        {"ctrl-z first",
         "\x1a"
         "abc",
         L{}},
        {"ctrl-z after line end", "a\r\n\x1a", L{"a"}},
        {"nul is text", std::string("a\0b", 3), L{std::string("a\0b", 3)}},
        {"longer than a buffer", big + "\r\nend", L{big, "end"}},
        // The CR is the last byte of the first buffer, its LF the first of the next.
        {"pair split by the buffer", std::string(65535, 'y') + "\r\nz",
         L{std::string(65535, 'y'), "z"}},
    };
    for (const LinesCase& c : cases) {
        TTextFile f(Write("lines.txt", c.bytes));
        ASSERT_TRUE(OpenTextShared(f)) << c.name;
        EXPECT_EQ(ReadAll(f), c.lines) << c.name;
        // The end stays the end.
        std::string line;
        EXPECT_EQ(f.ReadLine(line), TTextFile::ReadResult::End) << c.name;
        f.Close();
    }
}

TEST_F(TextFileTest, OpenFailuresCarryTheSystemCode) {
    TTextFile f(Path("missing.txt"));
    EXPECT_FALSE(OpenTextShared(f));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.LastError(), 2u);  // not found, on both systems
    std::string line;
    EXPECT_THROW(f.ReadLine(line), EInOutError);
    f.Close();  // harmless
}

TEST_F(TextFileTest, ReopeningStartsAgainAndAssignCloses) {
    TTextFile f(Write("a.txt", "1\r\n2\r\n"));
    ASSERT_TRUE(OpenTextShared(f));
    std::string line;
    ASSERT_EQ(f.ReadLine(line), TTextFile::ReadResult::Line);
    ASSERT_TRUE(OpenTextShared(f));
    EXPECT_EQ(ReadAll(f), (L{"1", "2"}));
    f.Assign(Write("b.txt", "3"));
    EXPECT_FALSE(f.IsOpen());
    ASSERT_TRUE(OpenTextShared(f));
    EXPECT_EQ(ReadAll(f), (L{"3"}));
}

TEST_F(TextFileTest, OtherReadersAreAllowedWritersAreNot) {
    const std::string file = Write("shared.txt", "one\r\n");
    TTextFile first(file);
    TTextFile second(file);
    ASSERT_TRUE(OpenTextShared(first));
    ASSERT_TRUE(OpenTextShared(second));
    EXPECT_EQ(ReadAll(second), (L{"one"}));
    first.Close();
    second.Close();

    const std::string held = Write("held.txt", "");
    ASSERT_EQ(RunAndWait(testing::HoldForWritingCommand(held, 3), platform::kShowHide, 0), 258);
    bool opened = false;
    for (int i = 0; i < 500 && !opened; ++i) {
        opened = !platform::CanOpenFile(held, kReadDenyWrite);
        if (!opened) std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(opened) << "the holder never opened the file";
    TTextFile busy(held);
    EXPECT_FALSE(OpenTextShared(busy));
    EXPECT_NE(busy.LastError(), 0u);
}

}  // namespace
}  // namespace quillpost
