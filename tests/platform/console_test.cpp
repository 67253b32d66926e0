#include "platform/console.h"

#include <gtest/gtest.h>

#include "platform/ansi_text.h"

namespace quillpost::platform {
namespace {

TEST(Console, ArgumentsRoundTripToTheConsole) {
    // Each text is valid in the console encoding of both systems.
    for (const char* text : {"", "plain ASCII",
                             "Gr\xC3\xBC\xC3\x9F"
                             "e",
                             "\xE2\x82\xAC 5"})
        EXPECT_EQ(WideToConsole(ConsoleToWide(text)), text) << text;
}

TEST(Console, TextThatIsNotUtf8IsReadAsTheAnsiCodePage) {
    if (AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << AnsiCodePage();
    EXPECT_EQ(ConsoleToWide("caf\xE9"), u"caf\u00E9");
    EXPECT_EQ(ConsoleToWide("\xC3\x28"), u"\u00C3(");
}

}  // namespace
}  // namespace quillpost::platform
