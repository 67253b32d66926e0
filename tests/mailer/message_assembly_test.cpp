#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "mailer/mailer.h"
#include "message/message.h"
#include "temp_dir.h"
#include "util/errors.h"

namespace quillpost {
namespace {

TMailer& Basic(TMailer& m) {
    m.SetFromAddress("from@x.test");
    m.SetDateTime("Tue, 01 Dec 2026 10:00:00 GMT");
    return m;
}

StringVector Built(const TMailer& m) {
    TmsMessage msg;
    m.BuildMessage(msg);
    return msg.Headers().Lines();
}

TEST(BuildMessage, MapsTheStateOntoTheMessage) {
    struct Case {
        std::int16_t encoding, charSet, priority;
        TMsgEncoding wantEncoding;
        TCharSet wantCharSet;
        TPriority wantPriority;
        const char* msMail;
    };
    const Case cases[] = {
        {2, 1, 3, meMIME, csUSASCII, ptNormal, "X-MSMail-Priority: Normal"},
        {1, 2, 1, meUU, csISO8859, ptHigh, "X-MSMail-Priority: High"},
        {7, 0, 5, meUU, csUSASCII, ptLow, "X-MSMail-Priority: Low"},
        {2, 2, 2, meMIME, csISO8859, ptNormal, "X-MSMail-Priority: Normal"},
        {2, 2, 4, meMIME, csISO8859, ptNormal, "X-MSMail-Priority: Normal"},
    };
    for (const auto& c : cases) {
        TMailer m;
        Basic(m);
        m.SetEncoding(c.encoding);
        m.SetCharSet(c.charSet);
        m.SetPriority(c.priority);
        TmsMessage msg;
        m.BuildMessage(msg);
        EXPECT_EQ(msg.Encoding(), c.wantEncoding);
        EXPECT_EQ(msg.CharSet(), c.wantCharSet);
        EXPECT_EQ(msg.Priority(), c.wantPriority);
        EXPECT_NE(std::find(msg.Headers().begin(), msg.Headers().end(), c.msMail),
                  msg.Headers().end())
            << c.priority;
    }
}

TEST(BuildMessage, CopiesPartiesSenderAndSubject) {
    TMailer m;
    Basic(m).SetFromName("Fred");
    m.SetSubject(std::string(300, 's'));
    m.AddRecipient("Ann", "ann@x");
    m.AddRecipient("Ann", "ann@x");
    m.AddCC("", "cc@x");
    m.AddBCC("Hidden", "bcc@x");
    TmsMessage msg;
    m.BuildMessage(msg);
    EXPECT_EQ(msg.Sender().Address(), "from@x.test");
    EXPECT_EQ(msg.Sender().Name(), "Fred");
    EXPECT_EQ(msg.Subject().size(), 255u);
    ASSERT_EQ(msg.Recipients().Count(), 2);
    EXPECT_EQ(msg.Recipients().Items(1).Name(), "Ann");
    EXPECT_EQ(msg.CC().Items(0).Address(), "cc@x");
    EXPECT_EQ(msg.BCC().Items(0).Name(), "Hidden");
}

TEST(BuildMessage, GeneratedHeadersFollowTheExtraOnesInOrder) {
    TMailer m;
    Basic(m);
    m.AddExtraHeader("X-First: 1");
    m.AddExtraHeader("X-Second: 2");
    m.SetUrgent(kWordTrue);
    m.SetConfirmRead(1);  // any non-zero value is true
    m.SetReplyTo("reply@x");
    m.SetPriority(1);
    StringVector h = Built(m);
    ASSERT_EQ(h.size(), 8u);
    EXPECT_EQ(h[0], "X-First: 1");
    EXPECT_EQ(h[1], "X-Second: 2");
    EXPECT_EQ(h[2], "Priority: urgent");
    EXPECT_EQ(h[3], "Date: Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(h[4], "X-Confirm-Reading-To: <from@x.test>");
    EXPECT_EQ(h[5], "X-MSMail-Priority: High");
    EXPECT_EQ(h[6], "Reply-To: reply@x");
    EXPECT_EQ(h[7].rfind("X-mailer: ASP Quillpost Component 2.2 (", 0), 0u) << h[7];
    EXPECT_EQ(h[7].back(), ')');
    EXPECT_EQ(h[7].find_first_of("\r\n"), std::string::npos);
}

TEST(BuildMessage, OptionalHeadersAreLeftOutWhenOff) {
    TMailer m;
    m.SetFromAddress("from@x.test");
    m.SetUseMSMailHeaders(kWordFalse);
    StringVector h = Built(m);
    ASSERT_EQ(h.size(), 2u);
    // The generated date is RFC 822 text in GMT.
    EXPECT_EQ(h[0].rfind("Date: ", 0), 0u);
    EXPECT_EQ(h[0].substr(h[0].size() - 4), " GMT");
    EXPECT_EQ(h[1].rfind("X-mailer: ", 0), 0u);
}

TEST(BuildMessage, ReturnReceiptAndEmptyFromAddress) {
    TMailer m;
    Basic(m).SetReturnReceipt(-2);
    TmsMessage msg;
    m.BuildMessage(msg);
    EXPECT_TRUE(msg.ReturnReceipt());

    TMailer empty;
    TmsMessage none;
    try {
        empty.BuildMessage(none);
        FAIL();
    } catch (const EEmptyFromAddress& e) {
        EXPECT_STREQ(e.what(), "FromAddress Property cannot be blank.");
    }
}

TEST(BuildMessage, LineBreaksOutsideFoldsAreRefusedByName) {
    using Set = void (TMailer::*)(std::string_view);
    struct Case {
        const char* what;
        Set set;
    };
    const Case cases[] = {
        {"Subject", &TMailer::SetSubject},   {"FromName", &TMailer::SetFromName},
        {"ReplyTo", &TMailer::SetReplyTo},   {"ContentType", &TMailer::SetContentType},
        {"DateTime", &TMailer::SetDateTime},
    };
    const char* bad[] = {"a\r\nBcc: evil@x", "a\nb", "a\rb", "a\r\n", "a\n b", "a\r\n\r\n b"};
    for (const auto& c : cases) {
        for (const char* text : bad) {
            TMailer m;
            Basic(m);
            (m.*c.set)(text);
            TmsMessage msg;
            try {
                m.BuildMessage(msg);
                ADD_FAILURE() << c.what << " accepted [" << text << "]";
            } catch (const EMessageError& e) {
                EXPECT_EQ(std::string(e.what()), std::string(c.what) + " contains a line break");
            }
        }
        // A reply address is no free text: it is checked as an address.
        if (c.set == &TMailer::SetReplyTo) continue;
        TMailer m;
        Basic(m);
        (m.*c.set)("folded\r\n continued\r\n\tand more");
        TmsMessage msg;
        EXPECT_NO_THROW(m.BuildMessage(msg)) << c.what;
    }
}

TEST(BuildMessage, ContentTypeAppliesOnlyWithoutAttachments) {
    testing::TempDir dir;
    const std::string file = dir.Write("a.txt", "attached\r\n");

    TMailer m;
    Basic(m).SetContentType("Text/HTML");
    m.SetBodyText("<b>hi</b>");
    TmsMessage plain;
    m.BuildMessage(plain);
    EXPECT_FALSE(plain.DetermineContentType());
    EXPECT_EQ(plain.ContentType(), "text/html");

    m.AddAttachment(file);
    TmsMessage mixed;
    m.BuildMessage(mixed);
    EXPECT_TRUE(mixed.DetermineContentType());
    EXPECT_EQ(mixed.ContentType(), "multipart/mixed");
    ASSERT_EQ(mixed.Attachments().Count(), 1);
    EXPECT_EQ(mixed.Attachments().Items(0).Data().Bytes(), "attached\r\n");
}

TEST(BuildMessage, UnreadableAttachmentFailsTheAssemblyNamingTheFile) {
    testing::TempDir dir;
    const std::string good = dir.Write("good.txt", "x");
    TMailer m;
    Basic(m);
    m.AddAttachment(good);
    m.AddAttachment(dir.PathOf("missing.bin"));
    m.AddAttachment(good);
    TmsMessage msg;
    try {
        m.BuildMessage(msg);
        FAIL() << "a missing attachment must not be skipped silently";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos) << e.what();
    }
}

struct BodyCase {
    const char* name;
    bool wrap;
    std::int16_t width;
    StringVector entries;
    StringVector lines;
};

TEST(BuildBody, Table) {
    const BodyCase cases[] = {
        {"one entry one line", false, 70, {"hello"}, {"hello"}},
        {"empty entry, no wrap", false, 70, {""}, {""}},
        {"inner breaks split", false, 70, {"a\r\n.\r\nb"}, {"a", ".", "b"}},
        {"lone CR and LF split", false, 70, {"a\rb\nc\r\n"}, {"a", "b", "c", ""}},
        {"wrap at width", true, 10, {"aaaa bbbb cccc"}, {"aaaa bbbb", "cccc"}},
        {"blank line survives", true, 70, {"x\r\n\r\ny"}, {"x", "", "y"}},
        {"entry of one CR LF", true, 70, {"\r\n"}, {"", ""}},
        {"empty entry, wrap", true, 70, {""}, {}},
        {"long word hard cut", true, 4, {"abcdefghij"}, {"abcd", "efgh", "ij"}},
        {"width 0 does not wrap", true, 0, {"aaaa bbbb\r\ncc"}, {"aaaa bbbb", "cc"}},
        {"lone LF starts a paragraph", true, 70, {"\nabc"}, {"", "abc"}},
        {"lone CR inside", true, 70, {"ab\rcd"}, {"ab", "cd"}},
        {"entries append", true, 70, {"a", "b"}, {"a", "b"}},
    };
    for (const auto& c : cases) {
        TMailer m;
        m.SetWordWrap(c.wrap ? kWordTrue : kWordFalse);
        m.SetWordWrapLen(c.width);
        for (const auto& e : c.entries) m.SetBodyText(e);
        TStrings body;
        body.Add("stale");
        m.BuildBody(body);
        EXPECT_EQ(body.Lines(), c.lines) << c.name;
    }
}

TEST(BuildBody, TestModeTextKeepsEntriesWhole) {
    TMailer m;
    m.SetBodyText("Body");
    m.SetBodyText("a\r\nb");
    EXPECT_EQ(m.BuildBodyText(), "Body\r\na\r\nb\r\n");
    m.SetWordWrap(kWordTrue);
    m.SetWordWrapLen(3);
    m.ClearBodyText();
    m.SetBodyText("ab cd");
    EXPECT_EQ(m.BuildBodyText(), "ab\r\ncd\r\n");
}

}  // namespace
}  // namespace quillpost
