#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace quillpost::platform {
namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

class SplitCommandLineTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTable, SplitsLikeWindowsPrograms) {
    EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().words) << GetParam().line;
}

using W = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTable,
    ::testing::Values(
        SplitCase{"", W{}}, SplitCase{"  \t ", W{}}, SplitCase{"prog", W{"prog"}},
        SplitCase{"  prog  a   b\tc  ", W{"prog", "a", "b", "c"}},
        SplitCase{"\"C:\\Program Files\\pgp.exe\" -e", W{"C:\\Program Files\\pgp.exe", "-e"}},
        SplitCase{"C:\\pgp\\\"x y\"\\p.exe z", W{"C:\\pgp\\x y\\p.exe", "z"}},  // name: \ plain
        SplitCase{"p \"a b\" c", W{"p", "a b", "c"}}, SplitCase{"p a\"b c\"d", W{"p", "ab cd"}},
        SplitCase{"p \"\"", W{"p", ""}},                // an empty argument
        SplitCase{"p \"a\"\"b\"", W{"p", "a\"b"}},      // "" inside a group
        SplitCase{"p a\\\\b", W{"p", "a\\\\b"}},        // backslashes alone stay
        SplitCase{"p a\\\"b", W{"p", "a\"b"}},          // \" is a quote
        SplitCase{"p a\\\\\"b c\"", W{"p", "a\\b c"}},  // \\" is \ and a group
        SplitCase{"p a\\\\\\\"b", W{"p", "a\\\"b"}},    // \\\" is \ and a quote
        SplitCase{"p \"unterminated group", W{"p", "unterminated group"}},
        SplitCase{"/bin/sh -c \"sleep 1; : > 'm'\"", W{"/bin/sh", "-c", "sleep 1; : > 'm'"}}));

}  // namespace
}  // namespace quillpost::platform
