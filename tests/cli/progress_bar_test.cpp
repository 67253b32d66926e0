#include "cli/progress_bar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace quillpost::cli {
namespace {

TEST(ProgressBar, SizeText) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 B"},           {1023, "1023 B"},     {1024, "1.0 KiB"},      {1536, "1.5 KiB"},
        {1048575, "1.0 MiB"}, {1048576, "1.0 MiB"}, {1022976, "999.0 KiB"}, {5LL << 30, "5.0 GiB"},
    };
    for (auto [bytes, text] : cases) EXPECT_EQ(TProgressBar::SizeText(bytes), text) << bytes;
}

TEST(ProgressBar, Render) {
    EXPECT_EQ(TProgressBar::Render(0, 2048),
              "Sending [                              ]   0% 0 B of 2.0 KiB");
    EXPECT_EQ(TProgressBar::Render(1024, 2048),
              "Sending [###############               ]  50% 1.0 KiB of 2.0 KiB");
    EXPECT_EQ(TProgressBar::Render(4096, 2048),  // never past the end
              "Sending [##############################] 100% 2.0 KiB of 2.0 KiB");
}

TEST(ProgressBar, RedrawsOnlyWhenThePercentageChanges) {
    std::ostringstream out;
    TProgressBar bar(out, 1000);
    for (std::int64_t sent = 0; sent <= 100000; sent += 100) bar.Update(sent, 100000);
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 101);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_EQ(text.back(), '\n');
    bar.Finish();  // already ended
    EXPECT_EQ(out.str(), text);
}

TEST(ProgressBar, SmallMessagesDrawNothing) {
    std::ostringstream out;
    TProgressBar bar(out);
    bar.Update(0, TProgressBar::kMinimumTotal - 1);
    bar.Update(TProgressBar::kMinimumTotal - 1, TProgressBar::kMinimumTotal - 1);
    bar.Update(0, 0);
    bar.Finish();
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressBar, ARestartBeginsANewLineAndShorterTextIsBlanked) {
    std::ostringstream out;
    TProgressBar bar(out, 1);
    bar.Update(1048000, 1048576);  // "1023.4 KiB of 1.0 MiB"
    bar.Update(0, 1048576);        // the retry through the second host
    const std::string text = out.str();
    const std::size_t newline = text.find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(text.substr(newline + 1), "\r" + TProgressBar::Render(0, 1048576));

    std::ostringstream shrink;
    TProgressBar second(shrink, 1);
    second.Update(1048000, 2097152);  // "1023.4 KiB of 2.0 MiB"
    second.Update(1048576, 2097152);  // "1.0 MiB of 2.0 MiB", three characters shorter
    EXPECT_NE(shrink.str().find(TProgressBar::Render(1048576, 2097152) + "   "), std::string::npos);
}

}  // namespace
}  // namespace quillpost::cli
