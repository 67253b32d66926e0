#include "platform/ansi_text.h"

#include <gtest/gtest.h>

namespace quillpost::platform {
namespace {

TEST(AnsiText, AsciiRoundTrips) {
    std::string all;
    for (int c = 0; c < 128; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(AnsiToWide(all).size(), 128u);
    EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
    EXPECT_EQ(AnsiToWide(""), u"");
}

TEST(AnsiText, Windows1252Mapping) {
    if (AnsiCodePage() != 1252) GTEST_SKIP() << "ANSI code page is " << AnsiCodePage();
    EXPECT_EQ(AnsiToWide("\x80\x9F\xE9\xFF"), std::u16string(u"\u20AC\u0178\u00E9\u00FF"));
    EXPECT_EQ(WideToAnsi(u"\u20AC \u00E9 \u2122"), "\x80 \xE9 \x99");
    // Every byte survives the trip through the wide form.
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
}

TEST(AnsiText, UnmappableCharactersBecomeQuestionMarks) {
    if (AnsiCodePage() != 1252) GTEST_SKIP();
    EXPECT_EQ(WideToAnsi(u"a\u4E2Db"), "a?b");
    EXPECT_EQ(WideToAnsi(u"a\U0001F600b"), "a??b");  // each half of the pair
}

}  // namespace
}  // namespace quillpost::platform
