#include "platform/console.h"

#include <gtest/gtest.h>

#include "platform/ansi_text.h"

namespace quillpost::platform {
namespace {

TEST(Console, ArgumentsRoundTripToTheConsole) {
    // The console is UTF-8 on both systems: no code page narrows it.
    for (const char* text :
         {"", "plain ASCII",
          "Gr\xC3\xBC\xC3\x9F"
          "e",
          "\xE2\x82\xAC 5", "\xD0\x9F\xD1\x80\xD0\xB8 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x93\xA7"})
        EXPECT_EQ(WideToConsole(ConsoleToWide(text)), text) << text;
}

TEST(Console, TextThatIsNotUtf8IsReadAsTheAnsiCodePage) {
    if (AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << AnsiCodePage();
    EXPECT_EQ(ConsoleToWide("caf\xE9"), u"caf\u00E9");
    EXPECT_EQ(ConsoleToWide("\xC3\x28"), u"\u00C3(");
}

}  // namespace
}  // namespace quillpost::platform
