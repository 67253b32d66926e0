#include "encoding/quoted_printable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "encoding/codec_peer.h"
#include "util/errors.h"

namespace quillpost {
namespace {

// The line encoder's output for the whole input, split into its lines
// (stepping through the input is the line encoder test's business).
StringVector EncodeText(const std::string& bytes) {
    QuotedPrintableLineEncoder encoder;
    std::string out(QuotedPrintableLineEncoder::TotalMaxOutput(bytes.size()), '\0');
    std::size_t n = encoder.Step(bytes.data(), bytes.size(), out.data());
    n += encoder.Finish(out.data() + n);
    StringVector lines;
    for (std::size_t start = 0; start < n;) {
        const std::size_t end = out.find("\r\n", start);
        lines.push_back(out.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string DecodeLines(const StringVector& lines) {
    TMemoryStream stream;
    StringVector copy = lines;
    TQuotedPrintable(stream, copy).Decode();
    return stream.Bytes();
}

std::string Join(const StringVector& lines, const char* eol) {
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i) s += (i ? eol : "") + lines[i];
    return s;
}

TEST(QuotedPrintable, EscapeLine) {
    struct Case {
        std::string text;
        bool last;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"a=b", true, "a=3Db"},
        {"caf\xe9", true, "caf=E9"},
        {"a\tb", true, "a=09b"},
        {std::string("\0\x1f\x7f~ ", 5) + "x", true, "=00=1F\x7f~ x"},
        // A final blank is escaped before a hard break, where readers strip
        // blanks; before the soft break "=" it is safe as it is.
        {"end ", true, "end=20"},
        {"end ", false, "end ="},
        {"", false, "="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TQuotedPrintable::EscapeLine(c.text, c.last), c.escaped) << c.text;
}

TEST(QuotedPrintable, EncodeGolden) {
    const std::string a64(64, 'a'), a65(65, 'a');
    const std::string spaced =
        std::string(60, 'x') + " " + std::string(9, 'y');  // 70 bytes, space at 61
    struct Case {
        std::string bytes;
        StringVector lines;
    };
    const std::vector<Case> cases = {
        {"", {""}},
        {"abc", {"abc"}},
        {"abc\r\n", {"abc"}},
        {"\r\n", {""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        // Each lone CR or LF is a break of its own: blank lines survive.
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\r\nb", {"a", "", "b"}},
        // The stream's last byte is always text.
        {"abc\n", {"abc=0A"}},
        {"abc\r", {"abc=0D"}},
        {"abc\r\n\n", {"abc", "=0A"}},
        {"x = 1; y=2\t\xe9\r\n", {"x =3D 1; y=3D2=09=E9"}},
        {"trailing \r\nnext", {"trailing=20", "next"}},
        {a64, {a64}},
        {a65, {a65 + "=", ""}},
        {a65 + a65 + "b", {a65 + "=", a65 + "=", "b"}},
        {spaced, {std::string(60, 'x') + "=", " " + std::string(9, 'y')}},
        // A space in the first byte is no cut point.
        {" " + std::string(70, 'z'), {" " + std::string(64, 'z') + "=", std::string(6, 'z')}},
        {std::string(65, '='),
         {[] {
              std::string s;
              for (int i = 0; i < 65; ++i) s += "=3D";
              return s + "=";
          }(),
          ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeText(c.bytes), c.lines) << "[" << c.bytes << "]";
}

TEST(QuotedPrintable, ParagraphLimitOnEncode) {
    const std::string fits(kQPParagraphBufferSize - 1, 'p');
    EXPECT_NO_THROW(EncodeText(fits + "\r\n" + fits));
    EXPECT_THROW(EncodeText("first\r\n" + fits + "p"), EQuillpostError);
}

TEST(QuotedPrintable, DecodeGolden) {
    struct Case {
        StringVector lines;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {{}, ""},
        {{""}, "\r\n"},
        {{"abc=", "def"}, "abcdef\r\n"},
        {{"a=3Db"}, "a=b\r\n"},
        {{"caf=e9 =E9"}, "caf\xe9 \xe9\r\n"},
        {{"a=ZZb", "a=4", "a=", "="}, "a=ZZb\r\na=4\r\na"},
        // An escaped "=" at the end of a line is data, not a soft break.
        {{"a=3D", "b"}, "a=\r\nb\r\n"},
        // A soft break on the last line keeps its text.
        {{"one", "two="}, "one\r\ntwo"},
        // A line ending in the byte 26 gets no line break.
        {{"end=1A"}, "end\x1a"},
        {{"x=1A=", ""}, "x\x1a\r\n"},
        {{std::string(300, 'L')}, std::string(300, 'L') + "\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeLines(c.lines), c.bytes) << Join(c.lines, "|");
    EXPECT_EQ(TQuotedPrintable::DecodeLine("a=3D=3d="), "a===");
}

TEST(QuotedPrintable, ParagraphLimitOnDecode) {
    // 24572 bytes of text and CR LF is the largest paragraph: one more byte
    // and the paragraph plus one would fill the whole buffer.
    auto paragraph = [](std::size_t textBytes) {
        StringVector lines;
        for (; textBytes > 60; textBytes -= 60) lines.push_back(std::string(60, 'd') + "=");
        lines.push_back(std::string(textBytes, 'd'));
        return lines;
    };
    EXPECT_EQ(DecodeLines(paragraph(kQPParagraphBufferSize - 4)).size(),
              kQPParagraphBufferSize - 2);
    StringVector lines = {"kept"};
    for (const auto& l : paragraph(kQPParagraphBufferSize - 3)) lines.push_back(l);
    TMemoryStream stream;
    try {
        TQuotedPrintable(stream, lines).Decode();
        ADD_FAILURE() << "no exception";
    } catch (const EQuillpostError& e) {
        EXPECT_STREQ(e.what(), "Paragraph is too large");
    }
    EXPECT_EQ(stream.Bytes(), "kept\r\n");
}

// Text whose lines all end in CR LF comes back byte for byte.
std::string RandomText(unsigned seed) {
    std::mt19937 gen(seed);
    const std::string alphabet = std::string("abc =\t.~\x7f\x80\xe9\xff\x01", 13);
    std::string text;
    for (int line = 0; line < 200; ++line) {
        const std::size_t len = gen() % 3 == 0 ? gen() % 400 : gen() % 80;
        for (std::size_t i = 0; i < len; ++i) text += alphabet[gen() % alphabet.size()];
        text += "\r\n";
    }
    return text;
}

TEST(QuotedPrintable, TextRoundTrip) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const std::string text = RandomText(seed);
        const StringVector lines = EncodeText(text);
        for (const auto& l : lines) EXPECT_LE(l.size(), 196u);
        EXPECT_EQ(DecodeLines(lines), text);
    }
}

TEST(QuotedPrintable, PythonReadersDecodeWhatWeWrite) {
    QP_REQUIRE_CODEC_PEER();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const std::string text = RandomText(seed) + "last line \xe9 ";
        const StringVector lines = EncodeText(text);
        EXPECT_EQ(test::CodecPeer::Run("qpdecode", Join(lines, "\r\n")), text);
        // The stricter reader drops trailing blanks of encoded lines; ours
        // carry none that are data.
        std::string lf;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
        EXPECT_EQ(test::CodecPeer::Run("qpemail", Join(lines, "\n")), lf);
    }
}

TEST(QuotedPrintable, DecodeQPTextTakesTheFirstLine) {
    EXPECT_EQ(DecodeQPText("a=0Db"), "a");
    EXPECT_EQ(DecodeQPText("a=0Ab"), "a");
    EXPECT_EQ(DecodeQPText("soft="), "soft");
    EXPECT_EQ(DecodeQPText("=41=42C", 2), "AB");
    EXPECT_EQ(DecodeQPText(""), "");
}

}  // namespace
}  // namespace quillpost
