#include "encoding/header_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace quillpost
