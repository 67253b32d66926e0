#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "mailer/mailer.h"
#include "message/message.h"
#include "raised.h"
#include "util/errors.h"

namespace quillpost {
namespace {

// RSA: it signs on every platform (Windows has no Ed25519).
const std::string kKeyFile = std::string(QP_TEST_DATA_DIR) + "/dkim/rsa1024.pem";

TEST(DkimMembers, SettersTakeOnlyWhatTheirFieldCanHold) {
    using Setter = void (TMailer::*)(std::string_view);
    struct Case {
        Setter set;
        std::string value;
        const char* refused;  // the start of Response, or nullptr when taken
    } cases[] = {
        {&TMailer::SetDKIMDomain, "example.com", nullptr},
        {&TMailer::SetDKIMDomain, "", nullptr},
        {&TMailer::SetDKIMDomain, "example.com; s=evil", "DKIMDomain \"example.com; s=evil\""},
        {&TMailer::SetDKIMDomain, "-bad.example", "DKIMDomain"},
        {&TMailer::SetDKIMDomain, "k\xC3\xB6ln.example", "DKIMDomain"},
        {&TMailer::SetDKIMDomain, std::string(64, 'a') + ".example", "DKIMDomain"},
        {&TMailer::SetDKIMSelector, "2026.mail", nullptr},
        {&TMailer::SetDKIMSelector, "sel\r\nX: 1", "DKIMSelector \"sel\\r\\nX: 1\""},
        {&TMailer::SetDKIMKeyFile, "/etc/dkim/my key.pem", nullptr},
        {&TMailer::SetDKIMKeyFile, "a\nb", "DKIMKeyFile \"a\\nb\" holds a control character"},
        {&TMailer::SetDKIMHeaders, "From: To :Subject", nullptr},
        {&TMailer::SetDKIMHeaders, "To:Subject", "DKIMHeaders \"To:Subject\" does not name From"},
        {&TMailer::SetDKIMHeaders, "From:Sub ject", "DKIMHeaders \"From:Sub ject\" is not"},
        {&TMailer::SetDKIMHeaders, "From::To", "DKIMHeaders \"From::To\" is not"},
        {&TMailer::SetDKIMHeaders, "From\r\n:To", "DKIMHeaders \"From\\r\\n:To\" is not"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TMailer m;
        const std::string raised = testing::Raised([&] { (m.*c.set)(c.value); }, "");
        if (c.refused == nullptr) {
            EXPECT_EQ(raised, "");
            continue;
        }
        EXPECT_EQ(raised, "message: " + m.Response());
        EXPECT_EQ(m.Response().rfind(c.refused, 0), 0u) << m.Response();
    }
}

TMailer& Signing(TMailer& m, const std::string& from) {
    m.SetFromAddress(from);
    m.AddRecipient("", "bob@example.org");
    m.SetDKIMDomain("example.com");
    m.SetDKIMSelector("s1");
    m.SetDKIMKeyFile(kKeyFile);
    return m;
}

// A signed message carries a Message-ID on the From address's domain; the
// signature goes before the text, and MessageID reads the one written.
TEST(DkimMembers, SignedMessagesGetAMessageIdOnTheFromDomain) {
    for (const char* from : {"ann@example.com", "ann@[192.0.2.1]", "ann@k\xC3\xB6ln.example"}) {
        SCOPED_TRACE(from);
        TMailer m;
        Signing(m, from).SetCharSet(3);
        TMemoryStream out;
        m.ComposeMessage(out);
        const std::string domain = std::string(from).substr(4);
        EXPECT_TRUE(std::regex_match(m.MessageID(), std::regex("<[0-9]+\\.[0-9a-f]{32}@.*>")));
        EXPECT_EQ(m.MessageID().substr(m.MessageID().size() - domain.size() - 1), domain + ">");
        EXPECT_EQ(out.Bytes().rfind("DKIM-Signature: v=1;", 0), 0u);
        EXPECT_NE(out.Bytes().find("\r\nMessage-ID: " + m.MessageID() + "\r\n"), std::string::npos);
        const std::string first = m.MessageID();
        m.ComposeMessage(out);
        EXPECT_NE(m.MessageID(), first);
    }
}

TEST(DkimMembers, HalfASettingFailsInsteadOfSendingUnsigned) {
    TMailer m;
    Signing(m, "ann@example.com").SetDKIMSelector("");
    TmsMessage message;
    try {
        m.BuildMessage(message);
        ADD_FAILURE() << "built";
    } catch (const EMessageError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("DKIM: DKIMSelector is not set", 0), 0u);
    }
    TMailer plain;
    plain.SetFromAddress("ann@example.com");
    TmsMessage unsigned_;
    plain.BuildMessage(unsigned_);
    EXPECT_FALSE(unsigned_.Signer);
    EXPECT_TRUE(plain.MessageID().empty());
}

}  // namespace
}  // namespace quillpost
