#include "message/message.h"

#include <gtest/gtest.h>

#include <sstream>

#include "message/article.h"
#include "message/component_stream.h"
#include "message/component_text.h"
#include "message/test_files.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

using testing::Load;
using testing::Save;

void Attach(TmsCustomMessage& m, const std::string& name, const std::string& type = "image/gif") {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(name);
    item->SetContentType(type);
    m.Attachments().Add(std::move(item));
}

TEST(MessageContentType, RuleTable) {
    using Files = std::vector<std::pair<std::string, std::string>>;  // name, type
    struct Case {
        int bodyLines;
        Files attachments;
        const char* expected;
    } cases[] = {
        {0, {}, "text/plain"},
        {2, {}, "text/plain"},
        {1, {{"a.gif", "image/gif"}}, "multipart/mixed"},
        {0, {{"a.gif", "Image/GIF"}}, "Image/GIF"},  // as the attachment stores it
        {0, {{"a.gif", "image/gif"}, {"b.gif", "image/gif"}}, "multipart/mixed"},
        {0,
         {{"C:\\x\\_ALT.txt", "text/plain"}, {"_alt.html", "text/html"}},
         "multipart/alternative"},
        {3, {{"/tmp/_Alt.1", ""}}, "multipart/alternative"},
        {1, {{"C:\\x\\_ALT.txt", "text/plain"}, {"other.txt", "text/plain"}}, "multipart/mixed"},
        {0, {{"C:\\_alt.d\\file.txt", "text/plain"}}, "text/plain"},  // only the directory
        {0, {{"_alternative.txt", "text/rtf"}}, "text/rtf"},
    };
    for (const auto& c : cases) {
        TmsMessage m;
        for (int i = 0; i < c.bodyLines; ++i) m.Body().Add("line");
        for (const auto& [name, type] : c.attachments) Attach(m, name, type);
        EXPECT_EQ(m.ContentType(), c.expected) << c.expected << " " << c.bodyLines;
    }
}

TEST(MessageContentType, StoredValueWhenTheRuleIsOff) {
    TmsMessage m;
    m.Body().Add("x");
    Attach(m, "a.gif");
    EXPECT_EQ(m.ContentType(), "multipart/mixed");
    m.SetDetermineContentType(false);
    m.Attachments().Clear();
    EXPECT_EQ(m.ContentType(), "multipart/mixed");  // the last computed value
    m.SetContentType("Text/HTML");
    EXPECT_EQ(m.ContentType(), "text/html");
    m.SetAttachments(m.Attachments());  // its own list, now empty
    EXPECT_EQ(m.ContentType(), "text/plain");

    TmsMessage uu;
    uu.SetEncoding(meUU);
    Attach(uu, "a.gif");
    EXPECT_EQ(uu.ContentType(), "");
    uu.SetDetermineContentType(false);
    EXPECT_EQ(uu.ContentType(), "");
}

TEST(MessageValidate, MailAndNewsCases) {
    struct Case {
        const char* sender;
        std::vector<std::string> to, cc, bcc;
        int expected;  // 0: passes
    } mail[] = {
        {"", {"a@x"}, {}, {}, msgSenderRequired},
        {"s@x", {}, {}, {}, msgRecipientRequired},
        {"s@x", {""}, {""}, {""}, msgRecipientRequired},
        {"s@x", {}, {}, {"b@x"}, 0},
        {"s@x", {"", ""}, {"c@x"}, {""}, 0},
    };
    auto expect = [](auto&& validate, int expected, int row) {
        try {
            validate();
            EXPECT_EQ(expected, 0) << "row " << row;
        } catch (const EMessageError& e) {
            EXPECT_EQ(e.what(), LoadMessage(static_cast<unsigned>(expected))) << "row " << row;
        }
    };
    int row = 0;
    for (const auto& c : mail) {
        TmsMessage m;
        m.Sender().SetAddress(c.sender);
        for (const auto& a : c.to) m.Recipients().AddAddress(a, "n");
        for (const auto& a : c.cc) m.CC().AddAddress(a, "n");
        for (const auto& a : c.bcc) m.BCC().AddAddress(a, "n");
        expect([&] { m.Validate(); }, c.expected, row++);
    }
    struct NewsCase {
        const char *sender, *groups, *subject;
        int expected;
    } news[] = {
        {"", "g", "s", msgSenderRequired},
        {"s@x", "", "Hi", msgNewsgroupRequired},
        {"s@x", "comp.mail", "", msgSubjectRequired},
        {"s@x", "comp.mail", "Hi", 0},
    };
    for (const auto& c : news) {
        TmsArticle a;
        a.Sender().SetAddress(c.sender);
        a.SetNewsGroups(c.groups);
        a.SetSubject(c.subject);
        expect([&] { a.Validate(); }, c.expected, row++);
    }
}

// Every field away from its default.
void Fill(TmsMessage& m) {
    m.SetTag(-42);
    m.Sender().SetName("Sam Sender");
    m.Sender().SetAddress("sam@example.test");
    m.SetSubject("Figures");
    m.SetCharSet(csISO8859);
    m.Headers().Add("X-One: 1");
    m.Headers().Add("\tcontinued");
    m.Body().Add("Hello,");
    m.Body().Add("");
    m.Recipients().AddAddress("r1@example.test", "R One");
    m.Recipients().AddAddress("r1@example.test", "R One");
    m.CC().AddAddress("c@example.test", "");
    m.BCC().AddAddress("b@example.test", "B");
    m.SetPriority(ptHigh);
    m.SetReturnReceipt(true);
}

void ExpectFilled(const TmsMessage& m) {
    EXPECT_EQ(m.Tag(), -42);
    EXPECT_EQ(m.Sender().Name(), "Sam Sender");
    EXPECT_EQ(m.Sender().Address(), "sam@example.test");
    EXPECT_EQ(m.Subject(), "Figures");
    EXPECT_EQ(m.CharSet(), csISO8859);
    EXPECT_EQ(m.Headers().Lines(), (StringVector{"X-One: 1", "\tcontinued"}));
    EXPECT_EQ(m.Body().Lines(), (StringVector{"Hello,", ""}));
    ASSERT_EQ(m.Recipients().Count(), 2);
    EXPECT_EQ(m.Recipients().Items(1).Name(), "R One");
    ASSERT_EQ(m.CC().Count() + m.BCC().Count(), 2);
    EXPECT_EQ(m.BCC().Items(0).Address(), "b@example.test");
    EXPECT_EQ(m.Priority(), ptHigh);
    EXPECT_TRUE(m.ReturnReceipt());
}

TEST(MessageAssign, DeepCopyAcrossClassesAndIncompatibleSources) {
    TmsMessage source;
    Fill(source);
    Attach(source, "a.gif");
    source.Attachments().Items(0).Data().WriteText("GIF89a");
    TmsMessage copy;
    copy.SetDetermineContentType(false);
    copy.Assign(source);
    ExpectFilled(copy);
    EXPECT_FALSE(copy.DetermineContentType());         // not copied
    EXPECT_EQ(copy.ContentType(), "multipart/mixed");  // what Source's rule gave
    copy.Attachments().Items(0).Data().Clear();
    copy.Recipients().Clear();
    EXPECT_EQ(source.Attachments().Items(0).Data().Bytes(), "GIF89a");
    EXPECT_EQ(source.Recipients().Count(), 2);

    copy.Assign(copy);
    EXPECT_EQ(copy.Attachments().Count(), 1);
    EXPECT_THROW(copy.Assign(TmsAddressList()), EConvertError);
    EXPECT_EQ(copy.Subject(), "Figures");

    TmsArticle article;
    article.SetNewsGroups("comp.mail.misc");
    article.SetSubject("News");
    article.Headers().Add("Path: a!b");
    copy.Assign(article);  // the shared part only
    EXPECT_EQ(copy.Subject(), "News");
    EXPECT_EQ(copy.Headers().Lines(), (StringVector{"Path: a!b"}));
    EXPECT_EQ(copy.Priority(), ptHigh);
    TmsArticle back;
    back.Assign(article);
    EXPECT_EQ(back.NewsGroups(), "comp.mail.misc");
    back.Assign(source);
    EXPECT_EQ(back.NewsGroups(), "comp.mail.misc");
    EXPECT_EQ(back.Subject(), "Figures");
}

TEST(MessageClear, EmptiesFieldsButKeepsOptions) {
    TmsMessage m;
    Fill(m);
    m.SetEncoding(meUU);
    Attach(m, "a.gif");
    m.SetDetermineContentType(false);
    m.Clear();
    EXPECT_EQ(m.Body().Count() + m.Headers().Count() + m.Attachments().Count(), 0);
    EXPECT_EQ(m.Recipients().Count() + m.CC().Count() + m.BCC().Count(), 0);
    EXPECT_EQ(m.Sender().Name() + m.Sender().Address() + m.Subject(), "");
    EXPECT_EQ(m.Encoding(), meMIME);
    EXPECT_EQ(m.CharSet(), csUSASCII);
    EXPECT_EQ(m.ContentType(), "");  // emptied, not "text/plain"
    EXPECT_FALSE(m.DetermineContentType());
    EXPECT_EQ(m.Priority(), ptHigh);
    EXPECT_TRUE(m.ReturnReceipt());
    TmsArticle a;
    a.SetNewsGroups("g");
    a.Clear();
    EXPECT_EQ(a.NewsGroups(), "");
}

TEST(MessageStream, RoundTripInOrderAndReloadingTheFiles) {
    testing::MimeTableOverride table;
    testing::TempDir dir;
    TmsMessage m;
    Fill(m);
    m.SetDetermineContentType(false);
    m.SetContentType("Multipart/Mixed");
    m.Attachments().AddFile(dir.Write("notes.txt", "first text\r\n"));
    m.Attachments().AddFile(dir.Write("pic.gif", std::string("GIF\0\x01", 5)));
    m.Attachments().Items(1).SetContentType("image/special");
    const std::string bytes = Save(m);
    std::size_t at = 0;
    for (const char* name :
         {"Tag", "Attachments.Items", "ContentType", "Sender.Name", "Sender.Address", "Subject",
          "csISO8859", "Headers.Strings", "Body.Strings", "DetermineContentType",
          "Recipients.Items", "ReturnReceipt", "ptHigh", "CC.Items", "BCC.Items"}) {
        at = bytes.find(name, at);
        ASSERT_NE(at, std::string::npos) << name;
    }
    EXPECT_EQ(bytes.find("Encoding"), std::string::npos);  // meMIME is the default
    EXPECT_EQ(bytes.find("first text"), std::string::npos);

    dir.Write("notes.txt", "second text");  // loading takes the files as they are now
    TmsMessage back;
    Load(bytes, back);
    ExpectFilled(back);
    EXPECT_FALSE(back.DetermineContentType());
    EXPECT_EQ(back.ContentType(), "multipart/mixed");
    ASSERT_EQ(back.Attachments().Count(), 2);
    EXPECT_EQ(back.Attachments().Items(0).Data().Bytes(), "second text");
    EXPECT_EQ(back.Attachments().Items(0).TransferEncoding(), teQuotedPrintable);
    EXPECT_EQ(back.Attachments().Items(1).Data().Bytes(), std::string("GIF\0\x01", 5));
    EXPECT_EQ(back.Attachments().Items(1).ContentType(), "image/special");

    std::filesystem::remove(dir.PathOf("pic.gif"));
    try {
        Load(bytes, back);
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.PathOf("pic.gif")), std::string::npos) << e.what();
    }
}

TEST(MessageStream, DefaultsAndOddValues) {
    TmsMessage fresh;
    EXPECT_EQ(Save(fresh).find("ContentType"), std::string::npos);

    TmsMessage cleared;  // an empty stored type differs from the creation value
    cleared.SetDetermineContentType(false);
    cleared.Clear();
    Load(Save(cleared), fresh);
    EXPECT_EQ(fresh.ContentType(), "");

    TmsArticle a;
    a.SetNewsGroups(std::string(300, 'g'));  // a long text, not cut
    a.SetMessageId("<id@x>");
    TmsArticle article;
    Load(Save(a), article);
    EXPECT_EQ(article.NewsGroups(), std::string(300, 'g'));
    EXPECT_EQ(article.MessageId(), "");  // not published
    EXPECT_THROW(Load(Save(a), fresh), EReadError);

    auto withIdent = [](const char* prop, const char* ident) {
        std::ostringstream out;
        ComponentWriter w(out);
        w.WriteSignature();
        w.WritePropName("TmsMessage");
        w.WritePropName(prop);
        w.WriteIdent(ident);
        w.WriteEndOfProperties();
        return out.str();
    };
    EXPECT_THROW(Load(withIdent("Priority", "ptUrgent"), fresh), EReadError);
    EXPECT_THROW(Load(withIdent("Encoding", "ptHigh"), fresh), EReadError);
    EXPECT_THROW(Load(withIdent("Sender.Phone", "x"), fresh), EReadError);
    Load(withIdent("Priority", "ptLow"), fresh);
    EXPECT_EQ(fresh.Priority(), ptLow);
}

// Both directions are built in now: an empty text is an empty message.
TEST(MessageCodecs, EmptyTextDecodesToAnEmptyMessage) {
    TmsMessage m;
    TmsArticle a;
    TMemoryStream s;
    m.DecodeFromStream(s);
    a.DecodeFromStream(s);
    EXPECT_TRUE(m.Body().Empty());
    EXPECT_EQ(m.Attachments().Count(), 0);
    EXPECT_EQ(a.Headers().Count(), 0);
}

}  // namespace
}  // namespace quillpost
