// The buffer encoder must write byte for byte what the reference's line list
// holds, CR LF after each line, however the input is cut into steps, failures
// included.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "encoding/codec_peer.h"
#include "encoding/qp_reference.h"
#include "encoding/quoted_printable.h"
#include "util/errors.h"

namespace quillpost {
namespace {

struct Outcome {
    std::string bytes;
    bool tooLarge = false;
    bool operator==(const Outcome&) const = default;
};

// The list path: lines appended before a failure stay.
Outcome ThroughList(const std::string& input, bool doublePeriods) {
    StringVector lines;
    Outcome result;
    try {
        testing::ReferenceQPLines(input, lines);
    } catch (const EQuillpostError& e) {
        EXPECT_STREQ(e.what(), kParagraphTooLarge);
        result.tooLarge = true;
    }
    for (const std::string& line : lines) {
        if (doublePeriods && !line.empty() && line.front() == '.') result.bytes += '.';
        result.bytes += line;
        result.bytes += "\r\n";
    }
    return result;
}

// The buffer path in steps of Step bytes. Each call gets exactly its stated
// worst case, followed by guard bytes that must stay untouched.
Outcome ThroughBuffer(QuotedPrintableLineEncoder& encoder, const std::string& input,
                      std::size_t step) {
    constexpr char kGuard = '\x5a';
    constexpr std::size_t kGuardSize = 16;
    Outcome result;
    std::string out;
    auto call = [&](std::size_t bound, auto&& run) {
        if (out.size() < bound + kGuardSize) out.resize(bound + kGuardSize);
        out.replace(bound, kGuardSize, kGuardSize, kGuard);
        const std::size_t n = run(out.data());
        EXPECT_LE(n, bound);
        EXPECT_EQ(out.substr(bound, kGuardSize), std::string(kGuardSize, kGuard))
            << "wrote past its bound";
        result.bytes.append(out, 0, n);
    };
    try {
        for (std::size_t pos = 0; pos < input.size(); pos += step) {
            const std::size_t take = std::min(step, input.size() - pos);
            const std::size_t bound = encoder.MaxOutput(take);
            EXPECT_LE(bound, QuotedPrintableLineEncoder::StepMaxOutput(take));
            call(bound, [&](char* out) { return encoder.Step(input.data() + pos, take, out); });
        }
        call(encoder.MaxOutput(0), [&](char* out) { return encoder.Finish(out); });
    } catch (const EQuillpostError& e) {
        EXPECT_STREQ(e.what(), kParagraphTooLarge);
        result.tooLarge = true;
    }
    EXPECT_LE(result.bytes.size(), QuotedPrintableLineEncoder::TotalMaxOutput(input.size()));
    return result;
}

const std::size_t kSteps[] = {1, 2, 3, 7, 64, 65, 4096, 1 << 20};

void ExpectSameBytes(const std::string& input, const std::string& label) {
    for (bool doublePeriods : {false, true}) {
        const Outcome expected = ThroughList(input, doublePeriods);
        QuotedPrintableLineEncoder encoder;
        encoder.DoublePeriods = doublePeriods;
        for (std::size_t step : kSteps) {
            // One encoder for all steps: every run, a failed one included,
            // must leave it ready for the next.
            const Outcome got = ThroughBuffer(encoder, input, step);
            ASSERT_EQ(got.tooLarge, expected.tooLarge) << label << " step " << step;
            ASSERT_EQ(got.bytes, expected.bytes) << label << " step " << step;
            if (input.size() <= step) break;
        }
    }
}

TEST(QuotedPrintableLineEncoder, EdgeCasesMatchTheLineList) {
    const std::string a65(65, 'a');
    const std::string full(kQPParagraphBufferSize - 1, 'p');
    const std::vector<std::string> cases = {
        "",
        "\r",
        "\n",
        "\r\n",
        "\n\r",
        "\r\r",
        "\n\n",
        "\r\n\r\n",
        "abc\r",
        "abc\n",
        "abc\r\n\n",
        "a\r\rb",
        "a\n\r\nb",
        ".",
        ".\r\n..x\r\n",
        "end \r\nnext ",
        a65,
        a65 + "\r\n",
        a65 + a65,
        " " + std::string(70, 'z'),
        std::string(60, 'x') + " " + std::string(9, 'y'),
        // The paragraph limit with and without the last-byte rule.
        full,
        full + "\r\n",
        full + "\n",
        full + "\r",
        full + "p",
        "first\r\n" + full + "p\r\n",
        full + "\r\n" + full,
        "x\r\n" + full + "\r\ntail",
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        ExpectSameBytes(cases[i], "case " + std::to_string(i));
}

TEST(QuotedPrintableLineEncoder, RandomInputsMatchTheLineList) {
    std::mt19937 gen(7);
    // Text made of the bytes the rules care about, weighted towards letters.
    const std::string text = std::string("aaaaaaaabbbbcc    \t\t==..\r\n\r\n\xe9\x7f") + '\0';
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(gen() % n); };
    for (int round = 0; round < 60; ++round) {
        std::string input;
        const std::size_t size = pick(4) == 0 ? pick(40) : pick(3000);
        switch (round % 4) {
            case 0:  // binary
                for (std::size_t k = 0; k < size; ++k) input += static_cast<char>(gen() & 0xFF);
                break;
            case 1:  // text with every special byte
                for (std::size_t k = 0; k < size; ++k) input += text[pick(text.size())];
                break;
            case 2:  // long paragraphs of words, near the paragraph limit
                while (input.size() < kQPParagraphBufferSize * 2) {
                    const std::size_t length =
                        pick(3) == 0 ? kQPParagraphBufferSize - 3 + pick(4) : pick(400);
                    for (std::size_t k = 0; k < length; ++k) input += pick(6) ? 'w' : ' ';
                    input += pick(2) ? "\r\n" : (pick(2) ? "\r" : "\n");
                }
                if (pick(2)) input.pop_back();
                break;
            default:  // lines around the cut length, spaces near the cut
                for (int line = 0; line < 20; ++line) {
                    const std::size_t length = 60 + pick(80);
                    for (std::size_t k = 0; k < length; ++k)
                        input += pick(10) == 0 ? ' ' : static_cast<char>('a' + pick(26));
                    input += "\r\n";
                }
                break;
        }
        ExpectSameBytes(input, "round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

// A file's data, however cut into steps, gives the same text within its
// bound, and each text decodes to exactly its input: none adds a line end,
// so Python's quopri reads all of them, one after another, as all inputs.
TEST(QuotedPrintableLineEncoder, ExactDataComesBackWhole) {
    std::mt19937 gen(21);
    const std::string bytes = std::string("aab  \t=.\r\n\r\n\r\n\xe9\x1a") + '\0';
    std::vector<std::string> inputs = {"",
                                       "\r",
                                       "\n",
                                       "\r\n",
                                       "a",
                                       "a\r\n",
                                       "a\r",
                                       "\r\r\n",
                                       "\n\n\n",
                                       "end \r\nx ",
                                       ". \r\n.",
                                       "a\r\n\r\n",
                                       "x\n\r",
                                       std::string(65, 'a'),
                                       std::string(65, 'a') + "\r\n"};
    for (int i = 0; i < 60; ++i) {
        std::string input(gen() % 400, '\0');
        for (char& c : input) c = bytes[gen() % bytes.size()];
        inputs.push_back(input);
    }
    std::string all;
    std::string encoded;
    for (const std::string& input : inputs) {
        QuotedPrintableLineEncoder whole;
        whole.Exact = true;
        const std::string once = ThroughBuffer(whole, input, 1 << 20).bytes;
        for (std::size_t step : {1, 2, 3, 65}) {
            QuotedPrintableLineEncoder encoder;
            encoder.Exact = true;
            ASSERT_EQ(ThroughBuffer(encoder, input, step).bytes, once) << input << " " << step;
        }
        all += input;
        encoded += once;
    }
    QP_REQUIRE_CODEC_PEER();
    EXPECT_EQ(test::CodecPeer::Run("qpdecode", encoded), all);
}

}  // namespace
}  // namespace quillpost
