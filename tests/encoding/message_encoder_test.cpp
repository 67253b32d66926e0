#include "encoding/message_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "encoding/article_encoder.h"
#include "encoding/boundary.h"
#include "encoding/compose_helpers.h"
#include "encoding/temp_file_stream.h"
#include "util/errors.h"

namespace quillpost {
namespace {

using test::AddAttachment;
using test::Compose;
using test::FillBasics;
using test::SplitCRLF;

const std::string kGoldenDir = std::string(QP_TEST_DATA_DIR) + "/encoding/compose/";

std::string Golden(const std::string& name) { return ReadWholeFile(kGoldenDir + name); }

void AttachFile(TmsMessage& m, const std::string& shownName, const std::string& file,
                const char* type, TTransferEncoding encoding) {
    AddAttachment(m, shownName, type, encoding, Golden(file));
}

// The worked examples, byte for byte, with the boundaries fixed.
TEST(MessageEncoderGolden, WorkedExamples) {
    struct Case {
        const char* golden;
        std::vector<std::string> boundaries;
        void (*fill)(TmsMessage&);
    } cases[] = {
        {"a_plain.txt",
         {},
         [](TmsMessage& m) {
             m.Body().Add("Hello");
             m.Body().Add(".");
             m.Body().Add("Bye");
         }},
        {"b_mixed.txt",
         {"40712385"},
         [](TmsMessage& m) {
             m.Recipients().AddAddress("j.smith@example.net", "J. Smith");
             m.SetPriority(ptHigh);
             m.Body().Add("See the file.");
             AttachFile(m, "C:\\Documents\\report.pdf", "report.pdf", "application/pdf", teBase64);
         }},
        {"c_alternative.txt",
         {"26803541"},
         [](TmsMessage& m) {
             m.Body().Add("Hello");
             AttachFile(m, "/var/www/_alt.htm", "_alt.htm", "text/html", teQuotedPrintable);
         }},
        {"d_nested.txt",
         {"51234780", "26803541"},
         [](TmsMessage& m) {
             m.Body().Add("Hello");
             AttachFile(m, "/var/www/_alt.htm", "_alt.htm", "text/html", teQuotedPrintable);
             AttachFile(m, "photo.jpg", "photo.jpg", "image/jpeg", teBase64);
         }},
        {"e_uuencode.txt",
         {},
         [](TmsMessage& m) {
             m.SetEncoding(meUU);
             m.Body().Add("Hi");
             AttachFile(m, "D:\\a.bin", "a.bin", "application/octet-stream", teBase64);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        TmsMessage m;
        FillBasics(m);
        c.fill(m);
        ScopedBoundarySequence fixed(c.boundaries);
        EXPECT_EQ(Compose(m), Golden(c.golden));
    }
}

// The send path: the temporary file receives the same bytes.
TEST(MessageEncoderGolden, IntoTemporaryFile) {
    TmsMessage m;
    FillBasics(m);
    m.Body().Add("Hello");
    m.Body().Add(".");
    m.Body().Add("Bye");
    TTempFileStream stream;
    m.EncodeToStream(stream);
    const std::int64_t end = stream.Position();
    std::string bytes(static_cast<std::size_t>(stream.Size()), '\0');
    stream.SetPosition(0);
    stream.ReadBuffer(bytes.data(), bytes.size());
    EXPECT_EQ(end, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(bytes, Golden("a_plain.txt"));
}

TEST(MessageEncoderHeaders, DisplayNamesAndAddressLists) {
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"J. Smith", "\"J. Smith\" <x@example.org>"},
        {"Bob", "Bob <x@example.org>"},
        // Unquoted, these would read as two addresses or as a group.
        {"Lee, Ann", "\"Lee, Ann\" <x@example.org>"},
        {"Team: Sales", "\"Team: Sales\" <x@example.org>"},
        // A caller's own quotes are kept as they are.
        {"\"Lee, A.\" Jr", "\"Lee, A.\" Jr <x@example.org>"},
        // ... also when they hold ANSI text: a name is in the message's set here.
        {"\"M\xFCller, Hans\"", "\"M\xFCller, Hans\" <x@example.org>"},
        {"", " <x@example.org>"},
    };
    for (const auto& c : cases) {
        TmsMessage m;
        m.Sender().SetName(c.name);
        m.Sender().SetAddress("x@example.org");
        m.Recipients().AddAddress("x@example.org", c.name);
        const auto lines = SplitCRLF(Compose(m));
        EXPECT_EQ(lines[0], std::string("From:     ") + c.expected);
        EXPECT_EQ(lines[1], std::string("To:       ") + c.expected);
    }

    TmsMessage m;
    FillBasics(m);
    m.Recipients().AddAddress("c@example.org", "C. Three");
    m.Recipients().AddAddress("d@example.org", "Dee");
    m.BCC().AddAddress("secret@example.org", "Hidden");
    m.Headers().Add("BCC: other@example.org");
    const std::string text = Compose(m);
    const auto lines = SplitCRLF(text);
    EXPECT_EQ(lines[1], "To:       Bob <bob@example.org>,");
    EXPECT_EQ(lines[2], "          \"C. Three\" <c@example.org>,");
    EXPECT_EQ(lines[3], "          Dee <d@example.org>");
    EXPECT_EQ(lines[4], "X-Sample: 1");
    EXPECT_EQ(text.find("CC:"), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_EQ(text.find("other@"), std::string::npos);

    m.CC().AddAddress("cc@example.org", "Carl");
    EXPECT_EQ(SplitCRLF(Compose(m))[4], "CC:       Carl <cc@example.org>");
}

TEST(MessageEncoderHeaders, GeneratedLinesAndReservedNames) {
    TmsMessage m;
    FillBasics(m);
    m.SetReturnReceipt(true);
    m.SetPriority(ptLow);
    m.Headers().Clear();
    m.Headers().Add("subject: first");
    m.Headers().Add("Content-Type: text/html");
    m.Headers().Add("X-Folded: a");
    m.Headers().Add("\tb");
    m.Headers().Add("Subject: second");
    m.Headers().Add("Mime-Version: 9");
    const auto lines = SplitCRLF(Compose(m));
    const std::vector<std::string> expected = {
        "From:     Ann Lee <ann@example.com>",
        "To:       Bob <bob@example.org>",
        "Return-Receipt-To: <ann@example.com>",
        "X-Priority: 5",
        "X-Folded: a",
        "\tb",
        "Subject: second",
        "Subject:  Test",
        "Mime-Version: 1.0",
        "Content-Type: text/plain; charset=\"us-ascii\"",
        "Content-Transfer-Encoding: 7bit",
        "",
    };
    EXPECT_EQ(lines, expected);
    // The message keeps the shortened list.
    EXPECT_EQ(m.Headers().Count(), 3);

    m.SetPriority(ptNormal);
    m.SetSubject("");
    m.SetReturnReceipt(false);
    std::string text = Compose(m);
    EXPECT_EQ(text.find("X-Priority"), std::string::npos);
    EXPECT_EQ(text.find("Subject:  "), std::string::npos);
    EXPECT_EQ(text.find("Return-Receipt"), std::string::npos);

    // The Subject line is a short text.
    m.SetSubject(std::string(250, 's'));
    const auto cut = SplitCRLF(Compose(m));
    const auto subject = std::find_if(
        cut.begin(), cut.end(), [](const std::string& l) { return l.starts_with("Subject:  "); });
    ASSERT_NE(subject, cut.end());
    EXPECT_EQ(*subject, "Subject:  " + std::string(245, 's'));
}

// Everything after the header block, for a body and a character set.
std::string BodyPart(const std::vector<std::string>& body, TCharSet charSet) {
    TmsMessage m;
    FillBasics(m);
    m.SetCharSet(charSet);
    for (const auto& line : body) m.Body().Add(line);
    const std::string text = Compose(m);
    return text.substr(text.find("Content-Type:"));
}

TEST(MessageEncoderText, TransferEncodingOfTheBody) {
    const std::string line255(255, 'x');
    const std::string line256(256, 'x');
    struct Case {
        std::vector<std::string> body;
        TCharSet charSet;
        std::string expected;
    } cases[] = {
        {{},
         csUSASCII,
         "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
         "Content-Transfer-Encoding: 7bit\r\n\r\n"},
        // The quoted-printable text of nothing is one empty line.
        {{},
         csISO8859,
         "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n\r\n"},
        {{"plain", "caf\xe9"},
         csISO8859,
         "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\nplain\r\ncaf=E9\r\n"},
        {{line255},
         csUSASCII,
         "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
         "Content-Transfer-Encoding: 7bit\r\n\r\n" +
             line255 + "\r\n"},
        {{"short", line256},
         csUSASCII,
         "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\nshort\r\n" +
             std::string(65, 'x') + "=\r\n" + std::string(65, 'x') + "=\r\n" +
             std::string(65, 'x') + "=\r\n" + std::string(61, 'x') + "\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(BodyPart(c.body, c.charSet), c.expected);
}

// A leading period is doubled on every line of every layout: text, encoded
// text, the text part of a multipart message, attachment data of each
// encoding, and the uuencode layout's body and data.
TEST(MessageEncoderPeriods, EveryLayoutAndEncoding) {
    const std::string longDot = "." + std::string(300, 'y');
    struct Case {
        const char* what;
        void (*fill)(TmsMessage&);
        std::vector<std::string> expectedLines;
    } cases[] = {
        {"text",
         [](TmsMessage& m) {
             m.Body().Add(".");
             m.Body().Add(".x");
             m.Body().Add("a.");
         },
         {"..", "..x", "a."}},
        {"quoted-printable text",
         [](TmsMessage& m) {
             m.SetCharSet(csISO8859);
             m.Body().Add(".caf\xe9");
         },
         {"..caf=E9"}},
        {"multipart text and 7bit data",
         [](TmsMessage& m) {
             m.Body().Add(".");
             AddAttachment(m, "m.eml", "message/rfc822", te7Bit,
                           "X: 1\r\n\r\n.one\r\n.\r\ntwo\r\n");
         },
         {"..", "..one", "..", "two"}},
        {"quoted-printable data",
         [](TmsMessage& m) {
             AddAttachment(m, "a.txt", "text/plain", teQuotedPrintable, "x\r\n.dot=\r\n");
             AddAttachment(m, "b.txt", "text/plain", teQuotedPrintable, "y");
         },
         {"x", "..dot=3D"}},
        {"attachment message",
         [](TmsMessage& m) { AddAttachment(m, "a.txt", "text/plain", te7Bit, ".only\r\n"); },
         {"..only"}},
        {"uuencode",
         [](TmsMessage& m) {
             m.SetEncoding(meUU);
             m.Body().Add(".");
             // 14 bytes: the length character is ".".
             AddAttachment(m, "f.bin", "application/octet-stream", teBase64, std::string(14, '\0'));
         },
         {"..", ".." + std::string(19, '`')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TmsMessage m;
        FillBasics(m);
        c.fill(m);
        const auto lines = SplitCRLF(Compose(m));
        std::size_t from = 0;
        for (const std::string& expected : c.expectedLines) {
            auto it =
                std::find(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), expected);
            ASSERT_NE(it, lines.end()) << expected;
            from = static_cast<std::size_t>(it - lines.begin()) + 1;
        }
        for (const auto& line : lines) EXPECT_NE(line, ".");
    }
}

// Lines handed over with their own breaks become separate lines, each with
// the period rule; no lone CR or LF reaches the text.
TEST(MessageEncoderLines, EmbeddedBreaksBecomeLines) {
    TmsMessage m;
    FillBasics(m);
    m.Headers().Clear();
    m.Headers().Add("X-A: 1\n.X-B: 2");
    m.SetSubject("one\rtwo");
    m.Body().Add("a\rb\nc\r\n.d");
    m.Body().Add("end\n");
    const std::string text = Compose(m);
    const auto lines = SplitCRLF(text);
    const std::vector<std::string> expected = {"X-A: 1",
                                               "..X-B: 2",
                                               "Subject:  one",
                                               "two",
                                               "Mime-Version: 1.0",
                                               "Content-Type: text/plain; charset=\"us-ascii\"",
                                               "Content-Transfer-Encoding: 7bit",
                                               "",
                                               "a",
                                               "b",
                                               "c",
                                               "..d"};
    EXPECT_EQ(std::vector<std::string>(lines.end() - 14, lines.end() - 2), expected);
    EXPECT_EQ(lines[lines.size() - 2], "end");
    EXPECT_EQ(lines.back(), "");
    EXPECT_TRUE(text.ends_with("end\r\n\r\n"));
}

// Where each encoding's data ends: a multiple of 57 (base64) or 45
// (uuencode) ends with the empty chunk's line.
TEST(MessageEncoderData, ChunkEndings) {
    struct Case {
        std::size_t size;
        TMsgEncoding encoding;
        std::vector<std::string> lastDataLines;
    } cases[] = {
        {0, meMIME, {"Content-Disposition: attachment; filename=\"f.bin\"", "", ""}},
        {1, meMIME, {"", "AA=="}},
        {57, meMIME, {std::string(76, 'A'), ""}},
        {114, meMIME, {std::string(76, 'A'), std::string(76, 'A'), ""}},
        {58, meMIME, {std::string(76, 'A'), "AA=="}},
        {0, meUU, {"begin 600 f.bin", "``", "`", "end"}},
        {45, meUU, {"M" + std::string(60, '`'), "``", "`", "end"}},
        {46, meUU, {"M" + std::string(60, '`'), "!``", "`", "end"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TmsMessage m;
        FillBasics(m);
        m.SetEncoding(c.encoding);
        AddAttachment(m, "C:\\in\\f.bin", "application/octet-stream", teBase64,
                      std::string(c.size, '\0'));
        auto lines = SplitCRLF(Compose(m));
        EXPECT_EQ(
            std::vector<std::string>(
                lines.end() - static_cast<std::ptrdiff_t>(c.lastDataLines.size()), lines.end()),
            c.lastDataLines);
    }
}

// Seven-bit data with a line over 998 octets goes quoted-printable; a type
// that MIME lets carry no encoding is sent as plain data.
TEST(MessageEncoderData, OverlongSevenBitLinesGoQuotedPrintable) {
    const struct {
        const char* type;
        std::size_t longest;
        const char* header;
    } cases[] = {
        {"message/rfc822", 998,
         "Content-Type: message/rfc822; name=\"a.eml\"\r\n"
         "Content-Transfer-Encoding: 7bit\r\n"},
        {"message/rfc822", 999,
         "Content-Type: application/octet-stream; name=\"a.eml\"\r\n"
         "Content-Transfer-Encoding: Quoted-Printable\r\n"},
        {"text/plain", 1500,
         "Content-Type: text/plain; name=\"a.eml\"\r\n"
         "Content-Transfer-Encoding: Quoted-Printable\r\n"},
    };
    for (const auto& c : cases) {
        TmsMessage m;
        FillBasics(m);
        AddAttachment(m, "a.eml", c.type, te7Bit,
                      "Subject: x\r\n\r\n" + std::string(c.longest, 'y') + "\r\n");
        const std::string text = Compose(m);
        EXPECT_NE(text.find(c.header), std::string::npos) << c.type << " " << c.longest;
    }
}

// Composes and returns the part after the preamble.
std::string MultipartBody(TmsMessage& m, std::vector<std::string> boundaries) {
    ScopedBoundarySequence fixed(std::move(boundaries));
    const std::string text = Compose(m);
    return text.substr(text.find("--"));
}

TEST(MessageEncoderMultipart, AlternativeGroupEndsAtFirstOrdinaryFile) {
    TmsMessage m;
    FillBasics(m);
    m.Body().Add("Hi");
    AddAttachment(m, "_ALT.HTM", "text/html", te7Bit, "<p>Hi</p>\r\n");
    AddAttachment(m, "x.gif", "image/gif", teBase64, "GIF");
    AddAttachment(m, "_alt.txt", "text/plain", te7Bit, "later\r\n");
    EXPECT_EQ(m.ContentType(), "multipart/mixed");
    EXPECT_EQ(MultipartBody(m, {"111", "222"}),
              "--111\r\n"
              "Content-Type:  multipart/alternative; boundary=\"222\"\r\n"
              "Content-Transfer-Encoding: 7bit\r\n\r\n"
              "--222\r\n"
              "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
              "Content-Transfer-Encoding: 7bit\r\n\r\nHi\r\n\r\n"
              "--222\r\n"
              "Content-Type: text/html\r\n"
              "Content-Transfer-Encoding: 7bit\r\n\r\n<p>Hi</p>\r\n\r\n"
              "--222--\r\n\r\n"
              "--111\r\n"
              "Content-Type: image/gif; name=\"x.gif\"\r\n"
              "Content-Transfer-Encoding: Base64\r\n"
              "Content-Disposition: attachment; filename=\"x.gif\"\r\n\r\nR0lG\r\n\r\n\r\n"
              "--111\r\n"
              "Content-Type: text/plain; name=\"_alt.txt\"\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Disposition: attachment; filename=\"_alt.txt\"\r\n\r\nlater\r\n\r\n"
              "--111--\r\n");
}

// A boundary whose delimiter a body line or a file holds would end a part
// early: it is drawn again, the group's too.
TEST(MessageEncoderMultipart, NoTextHoldsItsBoundary) {
    for (const bool inBody : {false, true}) {
        TmsMessage m;
        FillBasics(m);
        m.Body().Add(inBody ? "x--11111111y" : "Hi");
        AddAttachment(m, "_alt.htm", "text/html", teQuotedPrintable, "--22222222\r\n");
        AddAttachment(m, "x.gif", "image/gif", teBase64, "b");
        const std::string text = MultipartBody(m, {"11111111", "22222222", "33333333", "44444444"});
        EXPECT_TRUE(text.starts_with(inBody ? "--33333333\r\n" : "--11111111\r\n")) << text;
        EXPECT_NE(text.find(inBody ? "boundary=\"44444444\"" : "boundary=\"33333333\""),
                  std::string::npos)
            << text;
    }
}

TEST(MessageEncoderMultipart, BoundariesOfAGroupDiffer) {
    TmsMessage m;
    FillBasics(m);
    m.Body().Add("Hi");
    AddAttachment(m, "_alt.htm", "text/html", te7Bit, "a\r\n");
    AddAttachment(m, "x.gif", "image/gif", teBase64, "b");
    // The fixed sequence offers the outer boundary twice; the group takes the next.
    const std::string text = MultipartBody(m, {"12345678", "12345678", "87654321"});
    EXPECT_NE(text.find("boundary=\"87654321\""), std::string::npos);
    // And from the generator itself.
    const std::string drawn = Compose(m);
    const std::size_t at = drawn.find("boundary=\"") + 10;
    const std::string outer = drawn.substr(at, 8);
    const std::size_t inner = drawn.find("boundary=\"", at) + 10;
    EXPECT_NE(drawn.substr(inner, 8), outer);
    EXPECT_EQ(outer.find_first_not_of("012345678"), std::string::npos);
}

// A caller's "multipart/mixed" over "_alt." files only: the group runs to
// the last file and both levels are closed.
TEST(MessageEncoderMultipart, GroupRunningToTheEndClosesBothLevels) {
    TmsMessage m;
    FillBasics(m);
    m.SetDetermineContentType(false);
    m.SetContentType("multipart/mixed");
    AddAttachment(m, "_alt.htm", "text/html", te7Bit, "a\r\n");
    const std::string text = MultipartBody(m, {"111", "222"});
    EXPECT_TRUE(text.ends_with("a\r\n\r\n--222--\r\n\r\n--111--\r\n")) << text;
}

TEST(MessageEncoderMultipart, NoAttachmentsFailsAfterThePreamble) {
    TmsMessage m;
    FillBasics(m);
    m.Body().Add("Hi");
    m.SetDetermineContentType(false);
    m.SetContentType("multipart/mixed");
    TMemoryStream stream;
    ScopedBoundarySequence fixed({"111"});
    try {
        m.EncodeToStream(stream);
        FAIL() << "no error";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    EXPECT_TRUE(
        stream.Bytes().ends_with("This is a multipart message in MIME format\r\n\r\n--111\r\n"));
}

TEST(MessageEncoderLayouts, ChoiceByContentType) {
    struct Case {
        bool determine;
        const char* storedType;
        int bodyLines;
        int attachments;
        const char* firstBodyHeader;
    } cases[] = {
        // One file without text: the file is the message.
        {true, "", 0, 1, "Content-Type: image/gif; name=\"p0.gif\""},
        {true, "", 0, 2, "Content-Type: multipart/mixed; boundary=\"B\""},
        {false, "text/html", 1, 0, "Content-Type: text/html; charset=\"us-ascii\""},
        {false, "Multipart/Alternative", 1, 0,
         "Content-Type: multipart/alternative; charset=\"us-ascii\""},
        {false, "text/html", 1, 1, "Content-Type: image/gif; name=\"p0.gif\""},
    };
    for (const auto& c : cases) {
        TmsMessage m;
        FillBasics(m);
        m.SetDetermineContentType(c.determine);
        if (!c.determine) m.SetContentType(c.storedType);
        for (int i = 0; i < c.bodyLines; ++i) m.Body().Add("text");
        for (int i = 0; i < c.attachments; ++i)
            AddAttachment(m, "p" + std::to_string(i) + ".gif", "image/gif", teBase64, "GIF");
        ScopedBoundarySequence fixed({"B"});
        const auto lines = SplitCRLF(Compose(m));
        EXPECT_EQ(lines[5], c.firstBodyHeader);
    }
}

TEST(ArticleEncoder, HeaderBlock) {
    TmsArticle a;
    a.Sender().SetName("J. Smith");
    a.Sender().SetAddress("js@example.org");
    a.SetNewsGroups("comp.test,alt.test");
    a.Headers().Add("Newsgroups: old");
    a.Headers().Add("From: old");
    a.Headers().Add("Organization: Test");
    a.SetSubject("Hello");
    a.Body().Add("Body");
    const auto lines = SplitCRLF(Compose(a));
    const std::vector<std::string> expected = {
        "From:     J. Smith <js@example.org>",
        "Newsgroups: comp.test,alt.test",
        "Newsgroups: old",
        "Organization: Test",
        "Subject:  Hello",
        "Mime-Version: 1.0",
        "Content-Type: text/plain; charset=\"us-ascii\"",
        "Content-Transfer-Encoding: 7bit",
        "",
        "Body",
    };
    EXPECT_EQ(lines, expected);
}

// Records every write the encoder makes.
class RecordingStream : public TMemoryStream {
public:
    std::size_t Write(const void* buffer, std::size_t count) override {
        writes.push_back(count);
        return TMemoryStream::Write(buffer, count);
    }
    std::vector<std::size_t> writes;
};

// Attachment data reaches the stream in large writes, whatever its encoding.
TEST(MessageEncoderStreaming, LargeBufferedWrites) {
    for (TTransferEncoding encoding : {teBase64, teQuotedPrintable, te7Bit}) {
        TmsMessage m;
        FillBasics(m);
        m.Body().Add("text");
        std::string data;
        for (int i = 0; data.size() < 1024 * 1024; ++i)
            data += "line " + std::to_string(i) + "\r\n";
        AddAttachment(m, "big.txt", "text/plain", encoding, data);
        RecordingStream stream;
        m.EncodeToStream(stream);
        SCOPED_TRACE(encoding);
        EXPECT_LT(stream.writes.size(), stream.Bytes().size() / 32768 + 2);
        EXPECT_LE(*std::max_element(stream.writes.begin(), stream.writes.end()),
                  TmsCustomEncoder::kWriteBufferSize);
        EXPECT_EQ(stream.Position(), stream.Size());
    }
}

// A stream that fills up: it raises, or takes only part of a write.
class FailingStream : public TMemoryStream {
public:
    explicit FailingStream(bool raise) : raise_(raise) {}
    std::size_t Write(const void* buffer, std::size_t count) override {
        if (Size() + static_cast<std::int64_t>(count) <= 100000)
            return TMemoryStream::Write(buffer, count);
        if (raise_) throw EInOutError("disk full");
        return TMemoryStream::Write(buffer, count / 2);
    }

private:
    bool raise_;
};

// The stream's failure ends the composition, a short write as much as an
// error; what was composed before it is kept.
TEST(MessageEncoderStreaming, StreamErrorsPropagate) {
    for (TTransferEncoding encoding : {teBase64, teQuotedPrintable}) {
        for (bool raise : {true, false}) {
            TmsMessage m;
            FillBasics(m);
            std::string data;
            for (int i = 0; data.size() < 300000; ++i) data += "line " + std::to_string(i) + "\r\n";
            AddAttachment(m, "big.txt", "text/plain", encoding, data);
            FailingStream stream(raise);
            try {
                m.EncodeToStream(stream);
                ADD_FAILURE() << "composed whole";
            } catch (const EInOutError& e) {
                EXPECT_STREQ(e.what(), raise ? "disk full" : "Stream write error");
            }
            EXPECT_TRUE(stream.Bytes().starts_with("From:     Ann Lee"));
        }
    }
}

}  // namespace
}  // namespace quillpost
