// Secure submission through the Mailer object against real servers: aiosmtpd
// with STARTTLS, TLS from the first byte, AUTH and SMTPUTF8
// (tests/servers/store_smtpd.py --certs), and our TLS peers for bad
// certificates and injected bytes (tests/servers/tls_line_server.py).
// tests/scripts/smtp_real_servers.sh starts them; without them these tests skip.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "environment.h"
#include "mailer/mailer.h"

namespace quillpost {
namespace {

using testing::Env;

int StoredMessages(const std::filesystem::path& folder) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        n += entry.path().extension() == ".eml";
    return n;
}

TEST(Submission, SessionsAndTheirFailures) {
    std::map<std::string, std::string> port = {{"store", Env("QP_AIOSMTPD_PORT")}};
    for (const char* list : {"QP_SUBMISSION_PEERS", "QP_TLS_PEERS"}) {
        std::istringstream in(Env(list));  // "name=port ..."
        for (std::string item; in >> item;)
            port[item.substr(0, item.find('='))] = item.substr(item.find('=') + 1);
    }
    const std::string ca = Env("QP_TLS_CA");
    const std::filesystem::path folder = Env("QP_SUBMISSION_DIR");
    if (ca.empty() || folder.empty() || port["store"].empty() || port["smtpinject"].empty())
        GTEST_SKIP() << "the submission servers are not running";
    // "store;implicit" to RemoteHost.
    auto hosts = [&](const std::string& peers) {
        const std::size_t semi = peers.find(';');
        std::string first = "127.0.0.1:" + port[peers.substr(0, semi)];
        if (semi == std::string::npos) return first;
        return first + ";127.0.0.1:" + port[peers.substr(semi + 1)];
    };
    // Sent: to a peer that keeps nothing; Stored: sent and kept by aiosmtpd.
    enum Result { Fails, Sent, Stored };
    auto with = [](std::int16_t security, std::int16_t auth,
                   std::function<void(TMailer&)> more = nullptr) {
        return [=](TMailer& m) {
            m.SetSecurity(security);
            m.SetAuthType(auth);
            if (more) more(m);
        };
    };
    const std::string utf8Rcpt = "j\xC3\xBCrgen@example.org";
    auto utf8Address = [&](TMailer& m) {
        m.SetCharSet(3);
        m.AddRecipient("", utf8Rcpt);
    };
    struct Case {
        const char* name;
        const char* peers;
        std::function<void(TMailer&)> setup;
        std::string outcome;  // a part of ConnectionInfo on success, of Response on failure
        Result result;
    } cases[] = {
        {"STARTTLS required, PLAIN with a UTF-8 password", "starttls", with(1, 2), "; AUTH PLAIN",
         Stored},
        {"STARTTLS when offered, LOGIN", "starttls", with(3, 3), "; AUTH LOGIN", Stored},
        {"automatic with a token is XOAUTH2", "starttls",
         with(1, 1, [](TMailer& m) { m.SetAccessToken("token-ok"); }), "; AUTH XOAUTH2", Stored},
        {"a refused token", "starttls", with(1, 4, [](TMailer& m) { m.SetAccessToken("expired"); }),
         "535 ", Fails},
        {"a wrong password", "starttls", with(1, 2, [](TMailer& m) { m.SetPassword("wrong"); }),
         "535 ", Fails},
        {"Security 0 with a log-on upgrades when STARTTLS is offered", "starttls", with(0, 2),
         "; AUTH PLAIN", Stored},
        {"the log-on's STARTTLS meets a certificate nobody here trusts", "starttls",
         with(0, 2, [](TMailer& m) { m.SetCAFile(""); }),
         "); STARTTLS was tried for the log-on (AllowClearTextAuth = True", Fails},
        {"clear text asked for by name meets a server that demands STARTTLS", "starttls",
         with(0, 2, [](TMailer& m) { m.SetAllowClearTextAuth(kWordTrue); }), "530 ", Fails},
        {"the system's roots do not know the test CA", "starttls",
         with(1, 0, [](TMailer& m) { m.SetCAFile(""); }), "certificate is not trusted", Fails},
        {"TLS from the first byte", "implicit", with(2, 2), "; AUTH PLAIN", Stored},
        {"an unchecked certificate is said so", "implicit",
         with(2, 0,
              [](TMailer& m) {
                  m.SetCAFile("");
                  m.SetVerifyCertificate(kWordFalse);
              }),
         "; certificate not verified", Stored},
        {"an expired certificate", "expired", with(2, 0), "has expired", Fails},
        {"a certificate for another host", "wronghost", with(2, 0),
         "does not match the host name 127.0.0.1", Fails},
        {"TLS to a plain port", "store", with(2, 0),
         "TLS expected on this port, the server spoke plain SMTP", Fails},
        {"STARTTLS to a TLS port", "implicit", with(1, 0, [](TMailer& m) { m.SetTimeOut(2); }),
         "Plain SMTP expected on this port", Fails},
        {"the second host after a TLS failure", "store;implicit", with(2, 2), "; AUTH PLAIN",
         Stored},
        {"lines injected with the 220 to STARTTLS are dropped", "smtpinject", with(1, 0), "TLSv1.",
         Sent},
        {"SMTPUTF8 offered", "utf8", utf8Address, "plain", Stored},
        {"SMTPUTF8 not offered", "store", utf8Address,
         "The address \"" + utf8Rcpt + "\" needs SMTPUTF8, which the server did not offer.", Fails},
        {"the session kept from a first send carries the next", "starttls",
         with(1, 2, [](TMailer& m) { m.SetKeepConnection(kWordTrue), m.SendMail(); }),
         "; AUTH PLAIN; reused", Stored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMailer m;
        m.SetRemoteHost(hosts(c.peers));
        m.SetFromAddress("ann@example.test");
        m.AddRecipient("Bob", "bob@example.test");
        m.SetSubject("submission");
        m.SetBodyText("Body");
        m.SetTimeOut(10);
        m.SetUserName("user");
        m.SetPassword("p\xC3\xA4ssw\xC3\xB6rd");
        m.SetCAFile(ca);
        c.setup(m);
        const int before = StoredMessages(folder);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(m.SendMail(), c.result != Fails) << m.Response();
        const std::string& said = c.result != Fails ? m.ConnectionInfo() : m.Response();
        EXPECT_NE(said.find(c.outcome), std::string::npos) << said;
        EXPECT_EQ(StoredMessages(folder), before + (c.result == Stored ? 1 : 0));
        // Every failure, the silent TLS port's included, is known within TimeOut.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(m.TimeOut() + 2));
    }
}

}  // namespace
}  // namespace quillpost
