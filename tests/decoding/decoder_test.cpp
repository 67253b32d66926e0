#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "allocation_failure.h"
#include "decoding/message_decoder.h"
#include "encoding/base64.h"
#include "encoding/uucode.h"
#include "message/article.h"
#include "message/message.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

// Joins lines with CR LF, each line ended.
std::string Text(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\r\n";
    return out;
}

template <typename M = TmsMessage>
void DecodeInto(M& message, const std::string& text) {
    TMemoryStream stream;
    stream.Assign(text);
    message.DecodeFromStream(stream);
}

std::vector<std::string> BodyOf(const TmsCustomMessage& m) { return m.Body().Lines(); }

std::string Binary(std::size_t n, unsigned seed) {
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<char>(seed >> 16);
    }
    return out;
}

// The base64 lines of Bytes, without their breaks.
std::vector<std::string> Base64Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    const std::string text = EncodeBase64Lines(bytes);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t j = text.find("\r\n", i);
        if (j > i) lines.push_back(text.substr(i, j - i));
        i = j + 2;
    }
    return lines;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A parse failure leaves the notice and the whole text as the last entry.
void ExpectKeptOriginal(const TmsMessage& m, const std::string& text, unsigned number) {
    const auto body = BodyOf(m);
    ASSERT_GE(body.size(), 3u);
    EXPECT_EQ(body[body.size() - 3], kDecodeNoticeHead);
    EXPECT_EQ(body[body.size() - 2], LoadMessage(number));
    EXPECT_EQ(body[body.size() - 1], kDecodeNoticeTail);
    ASSERT_GE(m.Attachments().Count(), 1);
    const TmsAttItem& original = m.Attachments().Items(m.Attachments().Count() - 1);
    EXPECT_EQ(original.FileName(), "original.eml");
    EXPECT_EQ(original.ContentType(), "message/rfc822");
    EXPECT_EQ(original.TransferEncoding(), te7Bit);
    EXPECT_EQ(original.Data().Bytes(), text);
}

const std::vector<std::string> kMimeHead = {"From: Ann <ann@example.com>", "MIME-Version: 1.0"};

TEST(MessageDecoder, PlainMessageWithUuencodedFileKeepsTextBeforeItAsBody) {
    const std::string bytes = Binary(100, 7);
    std::vector<std::string> lines = {"From: a@x", "Subject: files", "", "Hello,", "",
                                      "see below", "begin 644 a.txt"};
    for (std::size_t i = 0; i < bytes.size(); i += kUULineBytes)
        lines.push_back(EncodeUULine(bytes.substr(i, kUULineBytes)));
    lines.insert(lines.end(),
                 {"`", "end", "trailing text", "begin 600 b.bin", EncodeUULine("xyz"), "END"});
    TmsMessage m;
    DecodeInto(m, Text(lines));
    EXPECT_EQ(BodyOf(m), (std::vector<std::string>{"Hello,", "", "see below"}));
    EXPECT_EQ(m.Encoding(), meUU);
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments().Items(0).FileName(), "a.txt");
    EXPECT_EQ(m.Attachments().Items(0).Data().Bytes(), bytes);
    EXPECT_EQ(m.Attachments().Items(1).FileName(), "b.bin");
    EXPECT_EQ(m.Attachments().Items(1).Data().Bytes(), "xyz");
}

TEST(MessageDecoder, BadUuencodedLineKeepsTheText) {
    const std::string text = Text({"From: a@x", "", "body", "begin 644 a.txt", "M~~~~", "end"});
    TmsMessage m;
    DecodeInto(m, text);
    ExpectKeptOriginal(m, text, msgAttachmentDecodeError);
}

TEST(MessageDecoder, MimeVersionMustBeExactlyOneDotZero) {
    const std::vector<std::string> rest = {
        "Content-Type: multipart/mixed; boundary=b", "", "--b", "", "text", "--b--"};
    TmsMessage plain;
    DecodeInto(plain, Text(Join({"From: a@x", "MIME-Version: 1.0 (produced by hand)"}, rest)));
    EXPECT_EQ(BodyOf(plain), (std::vector<std::string>{"--b", "", "text", "--b--"}));
    EXPECT_EQ(plain.Attachments().Count(), 0);

    TmsMessage mime;
    DecodeInto(mime, Text(Join({"From: a@x", "MIME-Version: 1.0"}, rest)));
    ExpectKeptOriginal(mime, Text(Join({"From: a@x", "MIME-Version: 1.0"}, rest)), msgNoBoundary);
}

TEST(MessageDecoder, MixedWithTextAndBase64Pdf) {
    const std::string pdf = Binary(1000, 3);
    const std::string text = Text(
        Join(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=\"=_b 1\"", "", "preamble",
                              "--=_b 1", "Content-Type: text/plain", "", "line one", "line two",
                              "--=_b 1", "Content-Type: application/pdf; name=\"x.pdf\"",
                              "Content-Transfer-Encoding: base64", ""}),
             Join(Base64Lines(pdf), {"--=_b 1--", "epilogue"})));
    TmsMessage m;
    DecodeInto(m, text);
    EXPECT_EQ(BodyOf(m), (std::vector<std::string>{"line one", "line two"}));
    ASSERT_EQ(m.Attachments().Count(), 1);
    const TmsAttItem& a = m.Attachments().Items(0);
    EXPECT_EQ(a.FileName(), "x.pdf");
    EXPECT_EQ(a.TransferEncoding(), teBase64);
    EXPECT_EQ(a.Data().Bytes(), pdf);
    EXPECT_EQ(m.ContentType(), "multipart/mixed");
}

// Running out of memory is the caller's failure, not a fault of the text: at
// every allocation the decode either ends in bad_alloc or gives the full
// result, never a parse notice.
TEST(MessageDecoder, AllocationFailureIsNeverAParseError) {
    const std::string text =
        Text(Join(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=b", "", "--b",
                                   "Content-Type: text/plain", "", "line one", "--b",
                                   "Content-Type: application/pdf; name=\"x.pdf\"",
                                   "Content-Transfer-Encoding: base64", ""}),
                  Join(Base64Lines(Binary(300, 5)),
                       {"--b", "Content-Type: text/plain; name=\"a.txt\"",
                        "Content-Transfer-Encoding: quoted-printable", "", "caf=E9", "--b--"})));
    TmsMessage clean;
    DecodeInto(clean, text);
    ASSERT_EQ(clean.Attachments().Count(), 2);
    bool completed = false;
    for (std::size_t n = 1; n < 20000 && !completed; ++n) {
        TmsMessage m;
        testing::FailNthAllocation(n);
        try {
            DecodeInto(m, text);
        } catch (const std::bad_alloc&) {
            continue;
        }
        completed = !testing::AllocationFailed();
        testing::FailNthAllocation(0);
        ASSERT_EQ(BodyOf(m), BodyOf(clean)) << n;
        ASSERT_EQ(m.Attachments().Count(), 2) << n;
        for (std::int32_t i = 0; i < 2; ++i)
            EXPECT_EQ(m.Attachments().Items(i).Data().Bytes(),
                      clean.Attachments().Items(i).Data().Bytes());
    }
    testing::FailNthAllocation(0);
    EXPECT_TRUE(completed);
}

TEST(MessageDecoder, AlternativePartsAreNamedSoTheMessageStaysAlternative) {
    const std::string text = Text(
        Join(kMimeHead, {"Content-Type: multipart/alternative; boundary=alt", "", "--alt",
                         "Content-Type: text/plain; charset=iso-8859-1",
                         "Content-Transfer-Encoding: quoted-printable", "", "caf=E9 au =", "lait",
                         "--alt", "Content-Type: text/html", "", "<p>hi</p>", "--alt--"}));
    TmsMessage m;
    DecodeInto(m, text);
    EXPECT_EQ(BodyOf(m), (std::vector<std::string>{"caf\xE9 au lait"}));
    EXPECT_EQ(m.CharSet(), csISO8859);
    ASSERT_EQ(m.Attachments().Count(), 1);
    const TmsAttItem& html = m.Attachments().Items(0);
    EXPECT_EQ(html.FileName(), "_alt.0");
    EXPECT_EQ(html.ContentType(), "text/html");
    EXPECT_EQ(html.TransferEncoding(), te7Bit);
    // The line end before a boundary is the boundary's.
    EXPECT_EQ(html.Data().Bytes(), "<p>hi</p>");
    EXPECT_EQ(m.ContentType(), "multipart/alternative");
}

TEST(MessageDecoder, NestedAlternativeGroupThenOuterParts) {
    const std::string text =
        Text(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=out",
                              "",
                              "--out",
                              "Content-Type: multipart/alternative; boundary=in",
                              "",
                              "preamble",
                              "--in",
                              "Content-Type: text/plain",
                              "",
                              "body",
                              "--in",
                              "Content-Type: text/html",
                              "",
                              "<b>body</b>",
                              "--in",
                              "Content-Type: text/enriched",
                              "",
                              "<bold>body</bold>",
                              "--in--",
                              "between",
                              "--out",
                              "Content-Type: text/plain",
                              "",
                              "notes",
                              "--out",
                              "Content-Type: application/octet-stream",
                              "Content-Disposition: attachment; filename=\"data.bin\"",
                              "Content-Transfer-Encoding: x-uuencode",
                              "",
                              "begin 644 data.bin",
                              EncodeUULine("abc"),
                              "`",
                              "end",
                              "--out--"}));
    TmsMessage m;
    DecodeInto(m, text);
    EXPECT_EQ(BodyOf(m), (std::vector<std::string>{"body"}));
    ASSERT_EQ(m.Attachments().Count(), 4);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"_alt.0", "text/html"},
        {"_alt.1", "text/enriched"},
        {"att.2", "text/plain"},
        {"data.bin", "application/octet-stream"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m.Attachments().Items(i).FileName(), expected[i].first);
        EXPECT_EQ(m.Attachments().Items(i).ContentType(), expected[i].second);
    }
    EXPECT_EQ(m.Attachments().Items(2).Data().Bytes(), "notes");
    EXPECT_EQ(m.Attachments().Items(3).Data().Bytes(), "abc");
    EXPECT_EQ(m.Attachments().Items(3).TransferEncoding(), teBase64);
}

TEST(MessageDecoder, GroupThatEndsTheMessageAddsNoEpilogueAttachment) {
    const std::string text =
        Text(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=out", "", "--out",
                              "Content-Type: multipart/alternative; boundary=in", "", "--in", "",
                              "body", "--in", "Content-Type: text/html", "", "<p>body</p>",
                              "--in--", "--out--", "epilogue"}));
    TmsMessage m;
    DecodeInto(m, text);
    EXPECT_EQ(BodyOf(m), (std::vector<std::string>{"body"}));
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments().Items(0).FileName(), "_alt.0");
}

TEST(MessageDecoder, GroupWithoutFurtherBoundaryRaisesClosingBoundaryError) {
    const std::string text = Text(
        Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=out", "", "--out",
                         "Content-Type: multipart/alternative; boundary=in", "", "--in", "", "body",
                         "--in", "Content-Type: text/html", "", "<p>body</p>", "--in--", "tail"}));
    TmsMessage m;
    DecodeInto(m, text);
    ExpectKeptOriginal(m, text, msgNoClosingBoundary);
    // What was decoded before the failure stays.
    EXPECT_EQ(m.Attachments().Items(0).FileName(), "_alt.0");
}

TEST(MessageDecoder, Base64FirstPartBecomesTheFirstAttachment) {
    const std::string bytes = Binary(300, 11);
    const std::string text = Text(
        Join(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=b", "", "--b",
                              "Content-Type: image/png", "Content-Transfer-Encoding: BASE64", ""}),
             Join(Base64Lines(bytes), {"--b", "Content-Type: text/plain", "", "x", "--b--"})));
    TmsMessage m;
    DecodeInto(m, text);
    EXPECT_TRUE(m.Body().Empty());
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments().Items(0).FileName(), "att.0");
    EXPECT_EQ(m.Attachments().Items(0).ContentType(), "image/png");
    EXPECT_EQ(m.Attachments().Items(0).Data().Bytes(), bytes);
    EXPECT_EQ(m.Attachments().Items(1).FileName(), "att.1");
}

// Texts that cannot be parsed, each with the message it is reported with.
TEST(MessageDecoder, ParseFailuresKeepTheWholeText) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        unsigned number;
    };
    const std::vector<Case> cases = {
        {"text part closed only by the closing line",
         {"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "text", "--b--"},
         msgNoBoundary},
        {"no boundary line at all",
         {"Content-Type: multipart/mixed; boundary=b", "", "text"},
         msgNoBoundary},
        {"nested group without its boundary",
         {"Content-Type: multipart/mixed; boundary=b", "", "--b",
          "Content-Type: multipart/alternative; boundary=c", "", "text"},
         msgNoBoundary},
        {"part header block cut off by the end",
         {"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "text", "--b",
          "Content-Type: text/plain"},
         msgUnableToRetrieveHeaders},
        {"invalid base64 character in an attachment",
         {"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "t", "--b",
          "Content-Type: application/pdf", "Content-Transfer-Encoding: base64", "", "QUJD QUJD",
          "--b--"},
         msgAttachmentDecodeError},
        {"invalid base64 character in a single attachment",
         {"Content-Type: image/gif", "Content-Transfer-Encoding: base64", "", "R0lG*"},
         msgAttachmentDecodeError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = Text(Join(kMimeHead, c.lines));
        TmsMessage m;
        DecodeInto(m, text);
        ExpectKeptOriginal(m, text, c.number);
    }
}

TEST(MessageDecoder, CodecFailureInBodyTextKeepsTheText) {
    // A fault of the received text, not of the system: reported like the
    // parse errors, with the codec's own reason.
    const std::string text =
        Text(Join(kMimeHead, {"Content-Type: text/plain", "Content-Transfer-Encoding: base64", "",
                              "aGVsbG8=", "not base64!"}));
    TmsMessage m;
    DecodeInto(m, text);
    const auto body = BodyOf(m);
    ASSERT_EQ(body.size(), 3u);
    EXPECT_EQ(body[1], "Invalid Character");
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments().Items(0).Data().Bytes(), text);
}

TEST(MessageDecoder, HeaderFields) {
    const std::string text =
        Text({"From: \"Ann Smith\" <ann@example.com>", "To: bob@example.com, \"Carl, C\" <carl@x>",
              "Topics: tom@example.com", "Cc: dan@example.com (Dan)", "cc: eve@x",
              "Subject: =?iso-8859-1?Q?caf=E9?=", "Return-Receipt-To: ann@example.com",
              "X-Mailer: test", "", "body"});
    TmsMessage m;
    DecodeInto(m, text);
    EXPECT_EQ(m.Sender().Name(), "Ann Smith");
    EXPECT_EQ(m.Sender().Address(), "ann@example.com");
    // "TO" is matched as the start of a line, so "Topics" adds a party too.
    std::vector<std::string> to;
    for (std::int32_t i = 0; i < m.Recipients().Count(); ++i)
        to.push_back(m.Recipients().Items(i).Name() + "|" + m.Recipients().Items(i).Address());
    EXPECT_EQ(to,
              (std::vector<std::string>{"|bob@example.com", "Carl, C|carl@x", "|tom@example.com"}));
    ASSERT_EQ(m.CC().Count(), 2);
    EXPECT_EQ(m.CC().Items(0).Name(), "Dan");
    EXPECT_EQ(m.CC().Items(1).Address(), "eve@x");
    EXPECT_EQ(m.Subject(), "caf\xE9");
    EXPECT_TRUE(m.ReturnReceipt());
    EXPECT_EQ(m.Headers().Count(), 8);
    EXPECT_EQ(m.Headers()[7], "X-Mailer: test");
    EXPECT_EQ(BodyOf(m), (std::vector<std::string>{"body"}));
}

TEST(MessageDecoder, PriorityFromXPriority) {
    const std::vector<std::pair<const char*, TPriority>> cases = {
        {"X-Priority: 1", ptHigh},
        {"X-Priority: 5", ptLow},
        {"X-Priority: 2", ptNormal},
        {"X-Priority: 3", ptNormal},
        {"X-Priority: 1 (Highest)", ptNormal},
        {"X-Other: 1", ptNormal}};
    for (const auto& [line, priority] : cases) {
        TmsMessage m;
        m.SetPriority(ptHigh);
        DecodeInto(m, Text({"From: a@x", line, "", "b"}));
        EXPECT_EQ(m.Priority(), priority) << line;
    }
}

TEST(MessageDecoder, SingleAttachmentDataEndsAtAPeriodLine) {
    const std::string pdf = Binary(200, 5);
    const std::string text =
        Text(Join(Join(kMimeHead, {"Content-Type: application/pdf; name=\"r.pdf\"",
                                   "Content-Transfer-Encoding: base64", ""}),
                  Join(Base64Lines(pdf), {".", "more text", "QUJD"})));
    TmsMessage m;
    DecodeInto(m, text);
    ASSERT_EQ(m.Attachments().Count(), 1);
    const TmsAttItem& a = m.Attachments().Items(0);
    EXPECT_EQ(a.FileName(), "r.pdf");
    EXPECT_EQ(a.ContentType(), "application/pdf");
    EXPECT_EQ(a.TransferEncoding(), teBase64);
    EXPECT_EQ(a.Data().Bytes(), pdf);
    EXPECT_TRUE(m.Body().Empty());
}

TEST(MessageDecoder, SingleAttachmentNamesAndSevenBitData) {
    TmsMessage byDisposition;
    DecodeInto(byDisposition,
               Text(Join(kMimeHead,
                         {"Content-Type: application/x-thing",
                          "Content-Disposition: attachment; filename=t.txt", "", "a", ".", "b"})));
    ASSERT_EQ(byDisposition.Attachments().Count(), 1);
    const TmsAttItem& a = byDisposition.Attachments().Items(0);
    EXPECT_EQ(a.FileName(), "t.txt");
    EXPECT_EQ(a.ContentType(), "application/x-thing");
    EXPECT_EQ(a.TransferEncoding(), te7Bit);
    EXPECT_EQ(a.Data().Bytes(), "a\r\n.\r\nb\r\n");

    TmsMessage unnamed;
    DecodeInto(unnamed, Text(Join(kMimeHead, {"Content-Type: text/plain; name=\"\"",
                                              "Content-Type: image/gif", "", "GIF"})));
    // The first Content-Type line counts: text without a name is body text.
    EXPECT_EQ(BodyOf(unnamed), (std::vector<std::string>{"GIF"}));
}

TEST(MessageDecoder, TextBodiesInEachTransferEncoding) {
    const std::vector<
        std::tuple<const char*, std::vector<std::string>, std::vector<std::string>, TCharSet>>
        cases = {
            {"7bit", {"a", "", "b"}, {"a", "", "b"}, csUSASCII},
            {"quoted-printable", {"x=3Dy =", "z", "=E9"}, {"x=y z", "\xE9"}, csISO8859},
            {"base64", {"bGluZSAxDQpsaW5l", "IDIK"}, {"line 1", "line 2"}, csUSASCII},
        };
    for (const auto& [encoding, lines, body, charSet] : cases) {
        TmsMessage m;
        DecodeInto(
            m,
            Text(Join(Join(kMimeHead, {"Content-Type: text/plain",
                                       std::string("Content-Transfer-Encoding: ") + encoding, ""}),
                      lines)));
        EXPECT_EQ(BodyOf(m), body) << encoding;
        EXPECT_EQ(m.CharSet(), charSet) << encoding;
        EXPECT_EQ(m.Attachments().Count(), 0) << encoding;
    }
}

TEST(MessageDecoder, Base64DataIsReadWholeWhateverItsLineLengths) {
    // Long lines are not cut, and lines broken off the four-character groups
    // join up as one text.
    const std::string bytes = Binary(3000, 9);
    const std::string encoded = EncodeBase64(bytes, std::string::npos);
    std::vector<std::string> lines = {encoded.substr(0, 1000)};
    for (std::size_t i = 1000; i < encoded.size(); i += 77) lines.push_back(encoded.substr(i, 77));
    const std::string text =
        Text(Join(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "t",
                                   "--b", "Content-Transfer-Encoding: base64",
                                   "Content-Type: application/zip; name=z.zip", ""}),
                  Join(lines, {"--b--"})));
    TmsMessage m;
    DecodeInto(m, text);
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments().Items(0).Data().Bytes(), bytes);
}

TEST(MessageDecoder, LongSevenBitLinesAreKeptWhole) {
    const std::string longLine(600, 'x');
    const std::string text =
        Text(Join(kMimeHead, {"Content-Type: multipart/mixed; boundary=b", "", "--b", "", "t",
                              "--b", "Content-Type: text/csv", "", longLine, "--b--"}));
    TmsMessage m;
    DecodeInto(m, text);
    ASSERT_EQ(m.Attachments().Count(), 1);
    EXPECT_EQ(m.Attachments().Items(0).Data().Bytes(), longLine);
}

TEST(MessageDecoder, HeaderBlockWithoutBodyIsAMessageWithoutBody) {
    TmsMessage m;
    DecodeInto(m, "From: a@x\r\nSubject: only headers");
    EXPECT_EQ(m.Subject(), "only headers");
    EXPECT_TRUE(m.Body().Empty());
    EXPECT_EQ(m.Attachments().Count(), 0);

    TmsMessage empty;
    DecodeInto(empty, "");
    EXPECT_TRUE(empty.Body().Empty());
    EXPECT_EQ(empty.Headers().Count(), 0);
}

TEST(MessageDecoder, DecodingAppendsToWhatTheMessageHeld) {
    TmsMessage m;
    m.Recipients().AddAddress("old@x", "");
    DecodeInto(m, Text({"To: new@x", "", "b"}));
    EXPECT_EQ(m.Recipients().Count(), 2);
}

TEST(ArticleDecoder, FillsTheNewsFields) {
    TmsArticle a;
    DecodeInto(a, Text({"Path: news.example!not-for-mail", "From: Ann <ann@x>",
                        "Newsgroups: comp.lang.c,comp.std.c", "Message-ID: <1@x>", "To: nobody@x",
                        "Subject: Question", "", "body"}));
    EXPECT_EQ(a.Path(), "news.example!not-for-mail");
    EXPECT_EQ(a.NewsGroups(), "comp.lang.c,comp.std.c");
    EXPECT_EQ(a.MessageId(), "<1@x>");
    EXPECT_EQ(a.Sender().Address(), "ann@x");
    EXPECT_EQ(a.Subject(), "Question");
    EXPECT_EQ(a.Headers().Count(), 6);
    EXPECT_EQ(BodyOf(a), (std::vector<std::string>{"body"}));
}

TEST(MessageDecoder, WrongMessageClassIsRaised) {
    TMemoryStream stream;
    stream.Assign("From: a@x\r\n\r\nb\r\n");
    TmsArticle article;
    TmsMessageDecoder decoder(stream);
    decoder.Message = &article;
    EXPECT_THROW(decoder.Decode(), EConvertError);
}

}  // namespace
}  // namespace quillpost
