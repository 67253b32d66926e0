#include "encoding/header_words.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/utf8.h"

namespace quillpost {
namespace {

TEST(HeaderWords, Decode) {
    struct Case {
        std::string value;
        std::string decoded;
    };
    const std::vector<Case> cases = {
        {"plain text_with underscore", "plain text_with underscore"},
        {"=?iso-8859-1?Q?Gr=FC=DFe?=",
         "Gr\xfc\xdf"
         "e"},
        {"=?utf-8?B?SGVsbG8=?=", "Hello"},
        {"=?x?b?QQ==?= and =?x?q?a?=", "A and a"},
        // Blanks between adjacent encoded words are dropped, other blanks kept.
        {"=?x?Q?a?= =?x?Q?b?=\t =?x?B?Yw==?=", "abc"},
        {"Re: =?x?Q?caf=E9?= menu", "Re: caf\xe9 menu"},
        // The underscore is a space inside Q text only.
        {"file_name =?x?Q?a_b=5Fc?=", "file_name a b_c"},
        {"=?x?X?abc?=rest", "rest"},
        // Malformed words stay; the ones after them still decode.
        {"=?broken =?x?Q?ok?=", "=?broken ok"},
        {"=?x?Q?no end", "=?x?Q?no end"},
        {"=?x?Q?a", "=?x?Q?a"},
        {"=?x?B?Q Q==?= =?x?Q?ok?=", "=?x?B?Q Q==?= ok"},
        // Decoded text is not decoded again.
        {"=?x?Q?=3D=3Fy=3FQ=3Fz=3F=3D?=", "=?y?Q?z?="},
        {"=?x?Q?"
         "?=",
         ""},
    };
    for (const auto& c : cases) {
        std::string value = c.value;
        DecodeHeaderWords(value);
        EXPECT_EQ(value, c.decoded) << c.value;
    }
}

TEST(HeaderWords, DecodedValueIsAShortText) {
    std::string value = "=?x?Q?a?=" + std::string(300, 'b');
    DecodeHeaderWords(value);
    EXPECT_EQ(value, "a" + std::string(254, 'b'));
}

// Random Unicode text written as header words and read back: the same text,
// only ASCII on the wire, no line over 78, no word over 75, no character
// split between words (each word's text is UTF-8 on its own).
TEST(HeaderWords, WriteThenDecodeRoundTripsRandomText) {
    const char32_t ranges[][2] = {
        {'a', 'z'},       {'A', 'Z'},       {'0', '9'},         {' ', ' '},
        {'!', '/'},       {':', '@'},       {0xC0, 0x17F},      {0x391, 0x3C9},
        {0x410, 0x44F},   {0x5D0, 0x5EA},   {0x627, 0x64A},     {0x300, 0x36F},
        {0x4E00, 0x4FFF}, {0x3040, 0x30FF}, {0x1F300, 0x1F64F}, {0xFFFD, 0xFFFD}};
    std::mt19937 rng(20261209);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    for (int round = 0; round < 3000; ++round) {
        std::u32string chars;
        const std::size_t length = 1 + below(30);
        for (std::size_t i = 0; i < length; ++i) {
            const auto& r = ranges[below(std::size(ranges))];
            chars += static_cast<char32_t>(r[0] + below(r[1] - r[0] + 1));
        }
        std::u16string wide;
        for (char32_t c : chars) {
            if (c < 0x10000) {
                wide += static_cast<char16_t>(c);
            } else {
                wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        }
        std::string text = Utf16ToUtf8(wide);
        // The reader trims the ends of a value.
        while (!text.empty() && text.back() == ' ') text.pop_back();
        while (!text.empty() && text.front() == ' ') text.erase(0, 1);
        if (text.empty()) continue;
        SCOPED_TRACE(text);
        const THeaderText kind = round % 2 ? THeaderText::Text : THeaderText::Phrase;
        const std::string written = WriteHeaderWords("Subject: ", text, kind);
        ASSERT_TRUE(IsAscii(written));
        std::string unfolded;
        for (std::size_t start = 0;;) {
            const std::size_t end = written.find("\r\n", start);
            const std::string line = written.substr(start, end - start);
            EXPECT_LE(line.size(), 78u) << line;
            unfolded += line;
            if (end == std::string::npos) break;
            start = end + 2;
        }
        std::string value = unfolded.substr(9);
        for (std::size_t w = value.find("=?utf-8?"); w != std::string::npos;) {
            const std::size_t close = value.find("?=", w + 10);
            ASSERT_NE(close, std::string::npos);
            EXPECT_LE(close + 2 - w, 75u);
            std::string one = value.substr(w, close + 2 - w);
            DecodeHeaderWords(one);
            EXPECT_TRUE(IsUtf8(one)) << value.substr(w, close + 2 - w);
            w = value.find("=?utf-8?", close + 2);
        }
        if (value.size() <= 255) {
            DecodeHeaderWords(value);
            EXPECT_EQ(value, text);
        }
    }
}

}  // namespace
}  // namespace quillpost
