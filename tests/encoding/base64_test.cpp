#include "encoding/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "encoding/codec_peer.h"
#include "util/errors.h"

namespace quillpost {
namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

TEST(Base64, EncodeKnownValuesAndShortTextLimit) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe", 3), "AP/+"},
        {std::string(57, '\xfb'),
         [] {
             std::string s;
             for (int i = 0; i < 19; ++i) s += "+/v7";
             return s;
         }()},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeBase64(c.bytes), c.text);

    // A 57-byte chunk is one 76-character line; 189 bytes still fit a short
    // text whole, one more byte is cut at 255 characters.
    EXPECT_EQ(EncodeBase64(std::string(57, 'a')).size(), 76u);
    EXPECT_EQ(EncodeBase64(std::string(189, 'a')).size(), 252u);
    EXPECT_EQ(EncodeBase64(std::string(190, 'a')).size(), 255u);
    EXPECT_EQ(EncodeBase64(std::string(190, 'a'), 1000).size(), 256u);
}

TEST(Base64, DecodeKnownValues) {
    struct Case {
        std::string text;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"Zg==", "f"},
        {"Zm8=", "fo"},
        {"Zm9v", "foo"},
        {"Zm9vYmFy", "foobar"},
        {"AP/+", std::string("\0\xff\xfe", 3)},
        // Unpadded final groups give only the bytes they encode.
        {"Zg", "f"},
        {"Zm8", "fo"},
        {"Z", ""},
        {"Zm9vYg", "foob"},
        // Pads only: nothing, never a negative length.
        {"====", ""},
        {"=", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
    EXPECT_EQ(DecodeBase64(EncodeBase64(std::string(189, 'q'))), std::string(189, 'q'));
    EXPECT_EQ(DecodeBase64(std::string(400, 'A')).size(), 255u);
    EXPECT_EQ(DecodeBase64(std::string(400, 'A'), 1000).size(), 300u);
}

TEST(Base64, CharactersOutsideTheAlphabetRaise) {
    for (const std::string text : {"Zm9v Zm8=", "Zm9v\r\n", "Zm-v", "Zm9\xe9", "Zg=\t"}) {
        try {
            DecodeBase64(text);
            ADD_FAILURE() << "no exception for " << text;
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "Invalid Character");
        }
    }
    EXPECT_EQ(Base64Value('/'), 63);
    EXPECT_EQ(Base64Value('='), 0);
    EXPECT_THROW(Base64Value(' '), EInOutError);
}

TEST(Base64, BlockRoundTripAtEveryShortLength) {
    for (std::size_t n = 0; n < 200; ++n) {
        const std::string bytes = RandomBytes(n, static_cast<unsigned>(n));
        std::string text(Base64EncodedSize(n), '\0');
        ASSERT_EQ(EncodeBase64Block(bytes.data(), n, text.data()), text.size());
        std::string back(Base64DecodedMaxSize(text.size()), '\0');
        back.resize(DecodeBase64Block(text, back.data()));
        EXPECT_EQ(back, bytes) << n;
    }
}

// The line encoder fed in pieces of every size gives the same text as the
// attachment writer's rule: one line per 57-byte chunk, and a last line that
// is empty when the length is a multiple of 57.
TEST(Base64, LineEncoderIsIndependentOfPieceSize) {
    for (std::size_t length : {0u, 1u, 56u, 57u, 58u, 114u, 1000u, 5700u}) {
        const std::string bytes = RandomBytes(length, 7);
        std::string expected;
        for (std::size_t pos = 0;; pos += kBase64LineBytes) {
            const std::string chunk = bytes.substr(std::min(pos, bytes.size()), kBase64LineBytes);
            expected += EncodeBase64(chunk) + "\r\n";
            if (chunk.size() < kBase64LineBytes) break;
        }
        EXPECT_EQ(EncodeBase64Lines(bytes), expected) << length;
        for (std::size_t piece : {1u, 2u, 3u, 56u, 57u, 58u, 4096u}) {
            Base64LineEncoder encoder;
            std::string out;
            for (std::size_t pos = 0; pos < bytes.size(); pos += piece) {
                const std::size_t n = std::min(piece, bytes.size() - pos);
                std::string buf(Base64LineEncoder::StepMaxOutput(n), '\0');
                const std::size_t written = encoder.Step(bytes.data() + pos, n, buf.data());
                ASSERT_LE(written, buf.size());
                out.append(buf, 0, written);
            }
            std::string last(Base64LineEncoder::kFinishMaxOutput, '\0');
            out.append(last, 0, encoder.Finish(last.data()));
            EXPECT_EQ(out, expected) << length << " in pieces of " << piece;
            EXPECT_LE(out.size(), Base64LineEncoder::TotalMaxOutput(length));
            EXPECT_EQ(encoder.Carried(), 0u);
        }
    }
}

TEST(Base64, PythonReadsAndWritesTheSameLines) {
    QP_REQUIRE_CODEC_PEER();
    for (std::size_t length : {0u, 2u, 570u, 100001u}) {
        const std::string bytes = RandomBytes(length, 11);
        const std::string lines = EncodeBase64Lines(bytes);
        EXPECT_EQ(test::CodecPeer::Run("b64decode", lines), bytes) << length;
        // Python writes no empty last line for a multiple of 57 bytes.
        std::string ours = lines;
        if (ours.size() >= 2 && ours.compare(ours.size() - 2, 2, "\r\n") == 0 &&
            (ours.size() == 2 || ours.compare(ours.size() - 4, 4, "\r\n\r\n") == 0))
            ours.resize(ours.size() - 2);
        EXPECT_EQ(test::CodecPeer::Run("b64encode", bytes), ours) << length;
    }
}

}  // namespace
}  // namespace quillpost
