#include "util/word_wrap.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillpost {
namespace {

struct WrapCase {
    const char* text;
    std::size_t width;
    const char* head;
    const char* rest;
};

class WrapLineTable : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrapLineTable, SplitsOnce) {
    const WrapCase& c = GetParam();
    WrappedLine w = WrapLine(c.text, c.width);
    EXPECT_EQ(w.Head, c.head) << '"' << c.text << "\" at " << c.width;
    EXPECT_EQ(w.Rest, c.rest) << '"' << c.text << "\" at " << c.width;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrapLineTable,
    ::testing::Values(
        WrapCase{"", 5, "", ""},                       // nothing at all
        WrapCase{"abcde", 5, "abcde", ""},             // exactly the width
        WrapCase{"abc  ", 5, "abc  ", ""},             // fits: trailing spaces kept
        WrapCase{"abcdef", 5, "abcde", "f"},           // one over: hard cut
        WrapCase{"abcde fg", 5, "abcde", "fg"},        // space right after the width
        WrapCase{"abcd efg", 5, "abcd", "efg"},        // space at the width
        WrapCase{"ab   cdefgh", 5, "ab", "cdefgh"},    // spaces around the break dropped
        WrapCase{"abcde     fg", 5, "abcde", "fg"},    // run of spaces after a full head
        WrapCase{"ab cd ef gh", 6, "ab cd", "ef gh"},  // break before the crossing word
        WrapCase{"the quick brown fox", 10, "the quick", "brown fox"},
        WrapCase{"   abcdefgh", 5, "", "abcdefgh"},             // only spaces before a long word
        WrapCase{"abcd ", 3, "abc", "d "},                      // the rest keeps its trailing space
        WrapCase{"a\tb c", 3, "a\tb", "c"},                     // a tab is part of a word
        WrapCase{"a\tbcdef", 3, "a\tb", "cdef"},                // and is cut like one
        WrapCase{"x          ", 5, "x", ""},                    // only spaces after the head
        WrapCase{"ab cdefghijk", 5, "ab", "cdefghijk"},         // long word after a short one
        WrapCase{"abcdefghij klm", 1, "a", "bcdefghij klm"}));  // narrowest width

// The lines a caller emits when it repeats WrapLine on the rest.
std::vector<std::string> WrapAll(std::string text, std::size_t width) {
    std::vector<std::string> lines;
    do {
        WrappedLine w = WrapLine(text, width);
        lines.push_back(w.Head);
        text = w.Rest;
    } while (!text.empty() && lines.size() < 1000);
    return lines;
}

TEST(WrapLine, RepeatedWrappingEmitsTheLines) {
    using V = std::vector<std::string>;
    EXPECT_EQ(WrapAll("the quick brown fox", 10), (V{"the quick", "brown fox"}));
    EXPECT_EQ(WrapAll("abcdefghij klm", 5), (V{"abcde", "fghij", "klm"}));
    EXPECT_EQ(WrapAll("abc defgh ij", 5), (V{"abc", "defgh", "ij"}));
    EXPECT_EQ(WrapAll("   abcdefgh", 5), (V{"", "abcde", "fgh"}));
    EXPECT_EQ(WrapAll("abcd ", 3), (V{"abc", "d "}));
    EXPECT_EQ(WrapAll("aaaa bbbb cccc", 10), (V{"aaaa bbbb", "cccc"}));
}

TEST(WrapLine, HeadNeverEndsInASpaceAndNoTextIsLost) {
    // Every split of a long text keeps all non-space characters in order.
    const std::string text = "lorem ipsum  dolor sit   amet, consectetur adipiscing elit sed do";
    for (std::size_t width = 1; width <= 20; ++width) {
        std::string joined;
        for (const auto& line : WrapAll(text, width)) {
            ASSERT_LE(line.size(), width);
            if (!line.empty()) {
                EXPECT_NE(line.back(), ' ') << "width " << width;
            }
            for (char c : line)
                if (c != ' ') joined += c;
        }
        std::string expected;
        for (char c : text)
            if (c != ' ') expected += c;
        EXPECT_EQ(joined, expected) << "width " << width;
    }
}

TEST(WrapLine, FillPadsTheHeadToTheWidth) {
    EXPECT_EQ(WrapLine("ab cdefgh", 5, true).Head, "ab   ");
    EXPECT_EQ(WrapLine("ab", 5, true).Head, "ab   ");
    EXPECT_EQ(WrapLine("abcdefgh", 5, true).Head, "abcde");
    EXPECT_EQ(WrapLine("ab cdefgh", 5, true).Rest, "cdefgh");
}

TEST(WrapLine, WidthZeroMakesNoProgressOnAWord) {
    WrappedLine w = WrapLine("  ab cd", 0);
    EXPECT_EQ(w.Head, "");
    EXPECT_EQ(w.Rest, "ab cd");
    w = WrapLine("ab cd", 0);
    EXPECT_EQ(w.Head, "");
    EXPECT_EQ(w.Rest, "ab cd");
}

}  // namespace
}  // namespace quillpost
