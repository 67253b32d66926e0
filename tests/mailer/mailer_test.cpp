#include "mailer/mailer.h"

#include <gtest/gtest.h>

#include <functional>

#include "raised.h"
#include "util/errors.h"

namespace quillpost {
namespace {

TEST(MailerDefaults, NewObjectReadsBackItsCreationValues) {
    TMailer m;
    EXPECT_EQ(m.Encoding(), 0) << "stored 2 must read back as 0";
    EXPECT_EQ(m.StoredEncoding(), 2);
    EXPECT_EQ(m.CharSet(), 1);
    EXPECT_EQ(m.Priority(), 3);
    EXPECT_EQ(m.TimeOut(), 45);
    EXPECT_EQ(m.WordWrapLen(), 70);
    EXPECT_EQ(m.PGPTimeOut(), 45);
    EXPECT_EQ(m.WordWrap(), kWordFalse);
    EXPECT_EQ(m.UseMSMailHeaders(), kWordTrue);
    EXPECT_EQ(m.Live(), kWordTrue);
    EXPECT_EQ(m.Urgent(), kWordFalse);
    EXPECT_EQ(m.ConfirmRead(), kWordFalse);
    EXPECT_EQ(m.ReturnReceipt(), kWordFalse);
    EXPECT_EQ(TMailer::Version(), "2.2");
    for (const std::string* s : {&m.RemoteHost(), &m.Subject(), &m.FromName(), &m.FromAddress(),
                                 &m.ReplyTo(), &m.ContentType(), &m.SMTPLog(), &m.Response(),
                                 &m.PGPPath(), &m.PGPParams(), &m.DateTime()})
        EXPECT_TRUE(s->empty());
    EXPECT_EQ(m.Recipients().Count(), 0);
    EXPECT_TRUE(m.BodyLines().empty());
    EXPECT_TRUE(m.Attachments().empty());
    EXPECT_TRUE(m.ExtraHeaders().empty());
}

struct IntPut {
    const char* name;
    std::function<void(TMailer&, std::int16_t)> put;
    std::function<std::int32_t(const TMailer&)> get;
    std::int16_t value;
    std::int32_t expected;
};

TEST(MailerProperties, NumericPutRules) {
    auto enc = [](TMailer& m, std::int16_t v) { m.SetEncoding(v); };
    auto encGet = [](const TMailer& m) { return std::int32_t{m.Encoding()}; };
    auto prio = [](TMailer& m, std::int16_t v) { m.SetPriority(v); };
    auto prioGet = [](const TMailer& m) { return std::int32_t{m.Priority()}; };
    auto to = [](TMailer& m, std::int16_t v) { m.SetTimeOut(v); };
    auto toGet = [](const TMailer& m) { return m.TimeOutSeconds(); };
    auto cs = [](TMailer& m, std::int16_t v) { m.SetCharSet(v); };
    auto csGet = [](const TMailer& m) { return std::int32_t{m.CharSet()}; };
    auto wl = [](TMailer& m, std::int16_t v) { m.SetWordWrapLen(v); };
    auto wlGet = [](const TMailer& m) { return std::int32_t{m.WordWrapLen()}; };
    const IntPut cases[] = {
        {"Encoding 1 reads 1", enc, encGet, 1, 1},
        {"Encoding 2 reads 0", enc, encGet, 2, 0},
        {"Encoding 7 reads 0", enc, encGet, 7, 0},
        {"Encoding -1 reads 0", enc, encGet, -1, 0},
        {"Priority 5 kept", prio, prioGet, 5, 5},
        {"Priority 1 kept", prio, prioGet, 1, 1},
        {"Priority 0 ignored", prio, prioGet, 0, 3},
        {"Priority 6 ignored", prio, prioGet, 6, 3},
        {"Priority -3 ignored", prio, prioGet, -3, 3},
        {"TimeOut sign-extends", to, toGet, -1, -1},
        {"TimeOut max", to, toGet, 32767, 32767},
        {"TimeOut min", to, toGet, -32768, -32768},
        {"CharSet any value stored", cs, csGet, 99, 99},
        {"WordWrapLen 0 stored", wl, wlGet, 0, 0},
        {"WordWrapLen max stored", wl, wlGet, 32767, 32767},
    };
    for (const auto& c : cases) {
        TMailer m;
        c.put(m, c.value);
        EXPECT_EQ(c.get(m), c.expected) << c.name;
    }
}

TEST(MailerProperties, EncodingKeepsTheStoredValueForAssembly) {
    TMailer m;
    m.SetEncoding(7);
    EXPECT_EQ(m.StoredEncoding(), 7);
}

TEST(MailerProperties, NegativeWordWrapLenFailsAndKeepsValue) {
    TMailer m;
    m.SetWordWrapLen(12);
    for (std::int16_t bad : {std::int16_t{-1}, std::int16_t{-32768}}) {
        try {
            m.SetWordWrapLen(bad);
            FAIL() << "no range error for " << bad;
        } catch (const ERangeError& e) {
            EXPECT_STREQ(e.what(), "Range check error");
        }
        EXPECT_EQ(m.WordWrapLen(), 12);
    }
}

TEST(MailerProperties, BooleansAreStoredUnchanged) {
    TMailer m;
    // Any non-zero 16-bit value is true; the stored bits are returned as given.
    m.SetUrgent(1);
    m.SetWordWrap(0x7FFF);
    m.SetLive(0);
    m.SetConfirmRead(-2);
    m.SetReturnReceipt(kWordTrue);
    m.SetUseMSMailHeaders(0);
    EXPECT_EQ(m.Urgent(), 1);
    EXPECT_EQ(m.WordWrap(), 0x7FFF);
    EXPECT_EQ(m.Live(), 0);
    EXPECT_EQ(m.ConfirmRead(), -2);
    EXPECT_EQ(m.ReturnReceipt(), kWordTrue);
    EXPECT_EQ(m.UseMSMailHeaders(), 0);
    EXPECT_TRUE(IsTrue(m.Urgent()));
    EXPECT_FALSE(IsTrue(m.Live()));
}

TEST(MailerProperties, StringsAreStoredUnchanged) {
    TMailer m;
    const std::string host = "mail.example.test:2525; backup.example.test";
    m.SetRemoteHost(host);
    m.SetSubject(std::string(300, 's'));  // no cut at the object level
    m.SetPGPPath("  pgp.exe  ");
    m.SetPGPTimeOut(-5);
    EXPECT_EQ(m.RemoteHost(), host);
    EXPECT_EQ(m.Subject().size(), 300u);
    EXPECT_EQ(m.PGPPath(), "  pgp.exe  ");
    EXPECT_EQ(m.PGPTimeOut(), -5);
}

// Bytes a log-on mechanism cannot carry are refused where they enter: a NUL
// ends a field of PLAIN, 0x01 one of XOAUTH2 (and forges the next).
TEST(MailerProperties, CredentialsRefuseTheBytesTheirMechanismsCannotCarry) {
    using Setter = void (TMailer::*)(std::string_view);
    struct Case {
        Setter set;
        std::string value;
        const char* refused;  // the start of Response, or nullptr when taken
    } cases[] = {
        {&TMailer::SetUserName,
         "ann\x01"
         "auth=Bearer forged",
         "UserName contains the control byte 0x01"},
        {&TMailer::SetUserName, std::string("ann\0x", 5),
         "UserName contains the control byte 0x00"},
        {&TMailer::SetUserName, "ann\r\nQUIT", "UserName contains the control byte 0x0D"},
        {&TMailer::SetUserName, "ann\x7F", "UserName contains the control byte 0x7F"},
        {&TMailer::SetUserName, "j\xC3\xBCrgen@example.org", nullptr},
        {&TMailer::SetPassword, std::string("pa\0ss", 5),
         "Password contains the control byte 0x00"},
        {&TMailer::SetPassword, "p\x01\t\xC3\xA4ss word", nullptr},  // LOGIN and PLAIN carry these
        {&TMailer::SetAccessToken, "tok\x01\x01", "AccessToken contains the control byte 0x01"},
        {&TMailer::SetAccessToken, "tok\n", "AccessToken contains the control byte 0x0A"},
        {&TMailer::SetAccessToken, "ya29.a0-_~+/=", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TMailer m;
        m.SetUserName("old");
        const std::string raised = testing::Raised([&] { (m.*c.set)(c.value); }, "");
        if (c.refused == nullptr) {
            EXPECT_EQ(raised, "");
            continue;
        }
        EXPECT_EQ(raised, "message: " + m.Response());
        EXPECT_EQ(m.Response().rfind(c.refused, 0), 0u) << m.Response();
        EXPECT_EQ(m.Response().find(c.value), std::string::npos) << "the value is not repeated";
        EXPECT_EQ(m.UserName(), "old");
    }
}

// The ESMTP keywords go to the server as they read back, so every value is
// checked and normalised where it enters; a refused one keeps the old value.
struct KeywordMember {
    const char* name;
    void (TMailer::*set)(std::string_view);
    std::function<std::string(const TMailer&)> get;
    const char* before;  // a valid value set first
};
const KeywordMember kDisable{"DisableExtensions", &TMailer::SetDisableExtensions,
                             [](const TMailer& m) { return m.DisableExtensions(); }, "DSN"};
const KeywordMember kNotify{"DSNNotify", &TMailer::SetDSNNotify,
                            [](const TMailer& m) { return m.DSNNotify(); }, "DELAY"};
const KeywordMember kReturn{"DSNReturn", &TMailer::SetDSNReturn,
                            [](const TMailer& m) { return m.DSNReturn(); }, "FULL"};
const KeywordMember kEnvelopeId{"EnvelopeID", &TMailer::SetEnvelopeID,
                                [](const TMailer& m) { return m.EnvelopeID(); }, "old"};
const std::string kLongestId(100, '~');
const std::string kNotTaken = "; the value was not taken";
const std::string kNotAnExtension = ", which is not PIPELINING, SIZE, CHUNKING, 8BITMIME or DSN";
struct KeywordCase {
    const KeywordMember& member;
    std::string value;
    std::string result;  // what reads back, or the whole Response of a refusal
    bool refused;
};
const KeywordCase kKeywordCases[] = {
    {kDisable, " \t ", "", false},
    {kDisable, " pipelining ,\tSize,CHUNKING, 8bitmime ,dsn",
     "PIPELINING,SIZE,CHUNKING,8BITMIME,DSN", false},
    {kDisable, "dsn,chunking,size,CHUNKING", "SIZE,CHUNKING,DSN", false},
    {kDisable, "SIZE,,DSN", "DisableExtensions \"SIZE,,DSN\" has an empty entry" + kNotTaken, true},
    {kDisable, "SIZE,starttls",
     "DisableExtensions \"SIZE,starttls\" names \"starttls\"" + kNotAnExtension + kNotTaken, true},
    {kDisable, "SIZE DSN",
     "DisableExtensions \"SIZE DSN\" names \"SIZE DSN\"" + kNotAnExtension + kNotTaken, true},
    {kDisable, "DSN\r\n",
     "DisableExtensions \"DSN\\r\\n\" names \"DSN\\r\\n\"" + kNotAnExtension + kNotTaken, true},
    {kNotify, "delay, Failure ,success", "SUCCESS,FAILURE,DELAY", false},
    {kNotify, "never", "NEVER", false},
    {kNotify, "NEVER,never", "NEVER", false},
    {kNotify, "", "", false},
    {kNotify, "failure,NEVER",
     "DSNNotify \"failure,NEVER\" combines NEVER, which stands alone, with another value" +
         kNotTaken,
     true},
    {kNotify, "SUCCESS;FAILURE",
     "DSNNotify \"SUCCESS;FAILURE\" names \"SUCCESS;FAILURE\", which is not SUCCESS, FAILURE, "
     "DELAY or NEVER" +
         kNotTaken,
     true},
    {kReturn, " hdrs ", "HDRS", false},
    {kReturn, "HEADERS", "DSNReturn \"HEADERS\" is not FULL, HDRS or empty" + kNotTaken, true},
    {kEnvelopeId, "QP-1234+x=y", "QP-1234+x=y", false},
    {kEnvelopeId, kLongestId, kLongestId, false},
    {kEnvelopeId, kLongestId + "~",
     "EnvelopeID \"" + kLongestId +
         "~\" is longer than the 100 characters an envelope identifier "
         "may have" +
         kNotTaken,
     true},
    {kEnvelopeId, std::string(5000, 'x'),
     "EnvelopeID of 5000 bytes is longer than the 100 "
     "characters an envelope identifier may have" +
         kNotTaken,
     true},
    {kEnvelopeId, "a b",
     "EnvelopeID \"a b\" is not printable ASCII without blanks (0x21 to 0x7E) "
     "throughout" +
         kNotTaken,
     true},
    {kEnvelopeId, "id\r\nRSET",
     "EnvelopeID \"id\\r\\nRSET\" is not printable ASCII without "
     "blanks (0x21 to 0x7E) throughout" +
         kNotTaken,
     true},
    {kEnvelopeId, "caf\xC3\xA9",
     "EnvelopeID \"caf\xC3\xA9\" is not printable ASCII without blanks "
     "(0x21 to 0x7E) throughout" +
         kNotTaken,
     true},
};

TEST(MailerProperties, EnvelopeKeywordsAreNormalisedOrRefused) {
    for (const KeywordCase& c : kKeywordCases) {
        SCOPED_TRACE(std::string(c.member.name) + " " + c.value);
        TMailer m;
        (m.*c.member.set)(c.member.before);
        const std::string raised = testing::Raised([&] { (m.*c.member.set)(c.value); }, "");
        if (c.refused) {
            EXPECT_EQ(raised, "message: " + c.result);
            EXPECT_EQ(m.Response(), c.result);
            EXPECT_EQ(c.member.get(m), c.member.before);
        } else {
            EXPECT_EQ(raised, "");
            EXPECT_EQ(c.member.get(m), c.result);
        }
    }
}

TEST(MailerLists, BodyTextAppendsAndClearRemovesAll) {
    TMailer m;
    m.SetBodyText("first");
    m.SetBodyText("second\r\nline");
    ASSERT_EQ(m.BodyLines().size(), 2u);
    EXPECT_EQ(m.BodyLines()[1], "second\r\nline");
    m.ClearBodyText();
    EXPECT_TRUE(m.BodyLines().empty());
}

TEST(MailerLists, AddRecipientStoresAddressAndName) {
    TMailer m;
    EXPECT_TRUE(m.AddRecipient("Ann", "ann@example.test"));
    ASSERT_EQ(m.Recipients().Count(), 1);
    EXPECT_EQ(m.Recipients().Items(0).Name(), "Ann");
    EXPECT_EQ(m.Recipients().Items(0).Address(), "ann@example.test");
}

TEST(MailerLists, NamesAreCutAt255AndAddressesOverThePathLimitRefused) {
    TMailer m;
    const std::string domain = "@" + std::string(60, 'd') + "." + std::string(60, 'e') + ".test";
    EXPECT_TRUE(m.AddCC(std::string(300, 'n'), std::string(254 - domain.size(), 'a') + domain));
    EXPECT_EQ(m.CCs().Items(0).Address().size(), 254u);
    EXPECT_EQ(m.CCs().Items(0).Name().size(), 255u);
    EXPECT_FALSE(m.AddCC("", std::string(255 - domain.size(), 'a') + domain));
    EXPECT_EQ(m.CCs().Count(), 1);
}

TEST(MailerLists, ClearsTouchOnlyTheirOwnList) {
    TMailer m;
    auto fill = [&] {
        m.AddRecipient("a", "a@x");
        m.AddCC("c", "c@x");
        m.AddBCC("b", "b@x");
    };
    fill();
    m.ClearRecipients();
    EXPECT_EQ(m.Recipients().Count(), 0);
    EXPECT_EQ(m.CCs().Count(), 1);
    EXPECT_EQ(m.BCCs().Count(), 1);
    m.ClearCCs();
    EXPECT_EQ(m.CCs().Count(), 0);
    EXPECT_EQ(m.BCCs().Count(), 1);
    m.ClearBCCs();
    EXPECT_EQ(m.BCCs().Count(), 0);
    fill();
    fill();
    EXPECT_EQ(m.Recipients().Count(), 2) << "duplicates are kept";
    m.ClearAllRecipients();
    EXPECT_EQ(m.Recipients().Count() + m.CCs().Count() + m.BCCs().Count(), 0);
}

TEST(MailerLists, StringListsKeepOrderAndDuplicates) {
    TMailer m;
    EXPECT_TRUE(m.AddAttachment("c:\\a.txt"));
    EXPECT_TRUE(m.AddAttachment("c:\\a.txt"));
    EXPECT_TRUE(m.AddAttachment(""));  // not checked until the message is built
    EXPECT_TRUE(m.AddExtraHeader("X-One: 1"));
    EXPECT_TRUE(m.AddExtraHeader("X-One: 1"));
    EXPECT_FALSE(m.AddExtraHeader(""));
    EXPECT_EQ(m.Attachments(), (StringVector{"c:\\a.txt", "c:\\a.txt", ""}));
    EXPECT_EQ(m.ExtraHeaders().size(), 2u);
    m.ClearAttachments();
    m.ClearExtraHeaders();
    EXPECT_TRUE(m.Attachments().empty());
    EXPECT_TRUE(m.ExtraHeaders().empty());
}

}  // namespace
}  // namespace quillpost
