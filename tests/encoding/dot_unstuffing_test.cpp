#include "encoding/dot_unstuffing.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quillpost {
namespace {

// Random lines over an alphabet rich in periods and line-end pieces, stuffed
// the way DATA wants, come back whole however the stuffed text is cut.
TEST(DotUnstuffer, UndoesStuffingAcrossAnyCuts) {
    std::mt19937 random(20261209);
    const std::string alphabet = "..\r\nab";
    for (int round = 0; round < 500; ++round) {
        std::string original, stuffed;
        bool lineStart = true;
        const std::size_t length = random() % 200;
        for (std::size_t i = 0; i < length; ++i) {
            const char c = alphabet[random() % alphabet.size()];
            if (lineStart && c == '.') stuffed += '.';
            original += c;
            stuffed += c;
            lineStart = original.size() >= 2 && original.ends_with("\r\n");
        }
        TDotUnstuffer unstuffer;
        std::string out(stuffed.size(), '\0');
        std::size_t done = 0, written = 0;
        while (done < stuffed.size()) {
            const std::size_t piece =
                std::min<std::size_t>(1 + random() % 7, stuffed.size() - done);
            written += unstuffer.Filter(stuffed.data() + done, piece, out.data() + written);
            done += piece;
        }
        out.resize(written);
        ASSERT_EQ(out, original) << "round " << round;
    }
}

}  // namespace
}  // namespace quillpost
