// Delivery to real SMTP servers that we did not write: Python's aiosmtpd
// (which stores what it receives), Postfix's smtp-sink, and Postfix's smtpd
// with Dovecot's SASL as a provider runs them. The servers are
// started by tests/scripts/smtp_real_servers.sh, which passes their ports in
// the environment; without them these tests skip.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "environment.h"
#include "smtp/smtp_client.h"
#include "smtp_test_support.h"
#include "util/stream.h"

namespace quillpost {
namespace {

using testing::FixedMessage;
using testing::RecordingSMTP;

using testing::Env;

// The text with the period stuffing of a composed message undone.
std::string Unstuffed(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(lineStart && text[i] == '.')) out += text[i];
        lineStart = text[i] == '\n';
    }
    return out;
}

std::string ReadFile(const std::filesystem::path& path) {
    TMemoryStream stream;
    stream.LoadFromFile(path.string());
    std::string bytes(static_cast<std::size_t>(stream.Size()), '\0');
    stream.SetPosition(0);
    if (!bytes.empty()) stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

// A client that keeps the dialogue: "> " before what it sent, "< " before
// what it read, in the order the session handled them. A command written
// before the reply to the one before it was read is a pipelined one.
class DialogueSMTP : public RecordingSMTP {
public:
    DialogueSMTP() {
        TimeOut = 20;
        OnLineSent = [this](TagSocket&, const std::string& line) {
            dialogue.push_back("> " + line);
        };
        OnLineReceived = [this](TagSocket&, const std::string& line) {
            dialogue.push_back("< " + line);
        };
    }
    // The first line sent that begins with Start, or "".
    std::string Sent(const std::string& start) const {
        for (const std::string& line : dialogue)
            if (line.starts_with("> " + start)) return line.substr(2);
        return "";
    }
    // Whether RCPT went out before MAIL was answered.
    bool Pipelined() const {
        for (std::size_t i = 0; i + 1 < dialogue.size(); ++i)
            if (dialogue[i].starts_with("> MAIL ")) return dialogue[i + 1].starts_with("> RCPT ");
        return false;
    }
    std::vector<std::string> dialogue;
};

// A message with its own Date and Message-ID, so a relay adds nothing but its
// Received line; leading periods and UTF-8 in the body.
std::string EightBitText(const std::string& subject, std::size_t bodyBytes = 0) {
    std::string text = "Date: Thu, 10 Dec 2026 00:00:00 +0000\r\nMessage-ID: <" +
                       std::to_string(std::hash<std::string>{}(subject)) +
                       "@client.test>\r\nFrom: sender@example.test\r\nTo: rcpt@example.test\r\n"
                       "Subject: " +
                       subject +
                       "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                       "Content-Transfer-Encoding: 8bit\r\n\r\n"
                       "..leading period\r\n...two\r\n..\r\nGr\xC3\xBC\xC3\x9F"
                       "e \xE2\x82\xAC \xF0\x9F\x93\xAC\r\n";
    while (text.size() < bodyBytes) text += "filler line to reach the size asked for\r\n";
    return text;
}

class StoringServer : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = Env("QP_AIOSMTPD_PORT");
        folder_ = Env("QP_AIOSMTPD_DIR");
        if (port_.empty() || folder_.empty()) GTEST_SKIP() << "aiosmtpd is not running";
    }

    std::filesystem::path NextBase() const {
        for (int n = 1; n < 10000; ++n) {
            char name[8];
            std::snprintf(name, sizeof name, "%04d", n);
            if (!std::filesystem::exists(folder_ / (std::string(name) + ".eml")))
                return folder_ / name;
        }
        return {};
    }

    // Sends Message and returns what the server stored as the message text.
    // With Esmtp the session greets with EHLO: aiosmtpd offers SIZE and
    // 8BITMIME but not PIPELINING, so nothing may be sent ahead.
    std::string Deliver(TmsMessage& message, std::string* envelope = nullptr, bool esmtp = false) {
        std::filesystem::path base = NextBase();
        DialogueSMTP smtp;
        smtp.Server = "127.0.0.1:" + port_;
        smtp.Settings.useEsmtp = esmtp;
        smtp.SetMailMessage(&message);
        EXPECT_EQ(smtp.TrySend(), "");
        EXPECT_EQ(smtp.errors, std::vector<std::string>{});
        EXPECT_FALSE(smtp.Connected());
        EXPECT_EQ(smtp.Sent("EHLO ").empty(), !esmtp);
        EXPECT_EQ(smtp.Sent("MAIL ").find(" SIZE=") != std::string::npos, esmtp);
        EXPECT_FALSE(smtp.Pipelined());
        if (envelope != nullptr) *envelope = ReadFile(base.string() + ".env");
        return ReadFile(base.string() + ".eml");
    }

    std::string port_;
    std::filesystem::path folder_;
};

TEST_F(StoringServer, StoresTheTextWithItsPeriodStuffingUndone) {
    std::string longLine(998, 'L');  // the longest line SMTP allows
    std::string eightBit;
    for (int c = 0x80; c <= 0xFF; ++c) eightBit += static_cast<char>(c);
    std::string big;
    for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
        big += (i % 50 == 0 ? ".." : "") + std::string("line ") + std::to_string(i) +
               " of a larger message body\r\n";
    // A size that is a whole number of the client's blocks.
    std::string blocks = "Subject: blocks\r\n\r\n";
    while (blocks.size() + 70 < 2047 * 3) blocks += std::string(68, 'b') + "\r\n";
    blocks += std::string(2047 * 3 - blocks.size() - 2, 'b') + "\r\n";
    const std::string texts[] = {
        "Subject: plain\r\n\r\nHello.\r\n",
        "Subject: periods\r\n\r\n..leading\r\n...two\r\n..\r\nmid.dle\r\n.. \r\n",
        "Subject: bytes\r\n\r\n" + eightBit + "\r\n" + longLine + "\r\n",
        "Subject: big\r\n\r\n" + big,
        blocks,
    };
    for (bool esmtp : {false, true}) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(text.substr(0, 20) + (esmtp ? " EHLO" : " HELO"));
            FixedMessage message;
            message.text = text;
            // The client ends the text with an empty line before the final period.
            EXPECT_EQ(Deliver(message, nullptr, esmtp), Unstuffed(text) + "\r\n");
        }
    }
}

TEST_F(StoringServer, ReceivesEveryPartyInTheEnvelope) {
    FixedMessage message;
    message.Recipients().AddAddress("second@example.test", "Second");
    message.CC().AddAddress("cc@example.test", "");
    message.BCC().AddAddress("hidden@example.test", "");
    std::string envelope;
    Deliver(message, &envelope);
    EXPECT_EQ(envelope,
              "MAIL FROM:sender@example.test\n"
              "RCPT TO:rcpt@example.test\nRCPT TO:second@example.test\n"
              "RCPT TO:cc@example.test\nRCPT TO:hidden@example.test\n");
}

TEST_F(StoringServer, StoresAComposedMessage) {
    TmsMessage message;
    message.Sender().SetAddress("sender@example.test");
    message.Sender().SetName("Sender Name");
    message.Recipients().AddAddress("rcpt@example.test", "Rcpt");
    message.BCC().AddAddress("hidden@example.test", "");
    message.SetSubject("composed");
    message.Body().Add("First line.");
    message.Body().Add(".A line that begins with a period.");
    TMemoryStream composed;
    message.EncodeToStream(composed);
    std::string text(static_cast<std::size_t>(composed.Size()), '\0');
    composed.SetPosition(0);
    composed.ReadBuffer(text.data(), text.size());
    std::string stored = Deliver(message);
    // Dates and boundaries differ between two compositions; compare the body.
    auto body = [](const std::string& t) { return t.substr(t.find("\r\n\r\n")); };
    EXPECT_EQ(body(stored), body(Unstuffed(text) + "\r\n"));
    EXPECT_EQ(stored.find("hidden@example.test"), std::string::npos);
}

class SinkServer : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = Env("QP_SMTPSINK_PORT");
        rejecting_ = Env("QP_SMTPSINK_REJECT_PORT");
        hangingUp_ = Env("QP_SMTPSINK_HANGUP_PORT");
        if (port_.empty()) GTEST_SKIP() << "smtp-sink is not running";
    }
    std::string port_, rejecting_, hangingUp_;
};

TEST_F(SinkServer, TakesMessagesOneAfterAnother) {
    FixedMessage message;
    message.text = "Subject: sink\r\n\r\n" + std::string(200000, 's') + "\r\n..x\r\n";
    RecordingSMTP smtp;
    smtp.TimeOut = 20;
    smtp.Server = "127.0.0.1:" + port_;
    smtp.SetMailMessage(&message);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(smtp.TrySend(), "");
        EXPECT_EQ(smtp.LastReply().substr(0, 3), "221");
    }
    EXPECT_EQ(smtp.errors, std::vector<std::string>{});
}

TEST_F(SinkServer, ARejectedRecipientEndsWithTheServersLine) {
    if (rejecting_.empty()) GTEST_SKIP();
    FixedMessage message;
    RecordingSMTP smtp;
    smtp.Server = "127.0.0.1:" + rejecting_;
    smtp.SetMailMessage(&message);
    std::string raised = smtp.TrySend();
    ASSERT_EQ(raised.substr(0, 9), "socket: 4") << raised;
    EXPECT_EQ(smtp.errors, std::vector<std::string>{raised.substr(8)});
    // The events show the QUIT after the rejection was answered.
    EXPECT_EQ(smtp.events.back(), "sent");
    EXPECT_FALSE(smtp.Connected());
}

TEST_F(SinkServer, AServerThatHangsUpAfterDataFailsTheSend) {
    if (hangingUp_.empty()) GTEST_SKIP();
    FixedMessage message;
    RecordingSMTP smtp;
    smtp.Server = "127.0.0.1:" + hangingUp_;
    smtp.SetMailMessage(&message);
    EXPECT_EQ(smtp.TrySend(), "socket: [10054] Connection reset by peer");
    EXPECT_FALSE(smtp.Connected());
}

// Postfix's smtpd with Dovecot's SASL, relaying what it accepts to a store:
// the server users send to. Submission wants STARTTLS before AUTH; the other
// port speaks TLS from the first byte.
class PostfixSubmission : public ::testing::Test {
protected:
    void SetUp() override {
        submission_ = Env("QP_POSTFIX_SUBMISSION_PORT");
        implicit_ = Env("QP_POSTFIX_IMPLICIT_PORT");
        store_ = Env("QP_POSTFIX_STORE");
        ca_ = Env("QP_TLS_CA");
        if (submission_.empty() || store_.empty() || ca_.empty())
            GTEST_SKIP() << "Postfix with Dovecot is not running";
    }

    // The stored message whose subject is Subject; Postfix relays it a moment
    // after it accepted it.
    std::string Arrived(const std::string& subject) const {
        for (int attempt = 0; attempt < 100; ++attempt) {
            for (const auto& entry : std::filesystem::directory_iterator(store_)) {
                if (entry.path().extension() != ".eml") continue;
                std::string text = ReadFile(entry.path());
                if (text.find("Subject: " + subject + "\r\n") != std::string::npos) return text;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }

    std::string submission_, implicit_, store_, ca_;
};

TEST_F(PostfixSubmission, SubmitsWithTlsAndAuth) {
    const std::string utf8Password = "p\xC3\xA4ssw\xC3\xB6rd-\xE2\x82\xAC";
    struct Case {
        const char* name;
        bool implicitPort;
        std::int16_t security, auth;
        const char *user, *password;
        std::string response;  // the start of what the send raised; "" when delivered
        std::string info;      // the end of ConnectionInfo
    } cases[] = {
        {"STARTTLS, automatic AUTH", false, 1, 1, "qpuser", "qp-secret", "", "; AUTH PLAIN"},
        {"STARTTLS, LOGIN with a UTF-8 password", false, 1, 3, "qputf8", utf8Password.c_str(), "",
         "; AUTH LOGIN"},
        {"implicit TLS, PLAIN", true, 2, 2, "qpuser", "qp-secret", "", "; AUTH PLAIN"},
        {"a wrong password", true, 2, 1, "qpuser", "wrong", "socket: 535 ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Unique across the native and the Windows runs, which share the store.
        const std::string subject =
            std::string(c.name) + " " +
            std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
        FixedMessage message;
        message.text = "Subject: " + subject + "\r\n\r\nThrough Postfix.\r\n";
        RecordingSMTP smtp;
        smtp.TimeOut = 20;
        smtp.Server = "127.0.0.1:" + (c.implicitPort ? implicit_ : submission_);
        smtp.Settings.security = c.security;
        smtp.Settings.authType = c.auth;
        smtp.Settings.userName = c.user;
        smtp.Settings.password = c.password;
        smtp.Settings.caFile = ca_;
        smtp.SetMailMessage(&message);
        const std::string raised = smtp.TrySend();
        EXPECT_EQ(raised.substr(0, c.response.size()), c.response) << raised;
        if (!c.response.empty()) continue;
        EXPECT_EQ(raised, "");
        const std::string info = smtp.ConnectionInfo();
        EXPECT_EQ(info.substr(0, 4), "TLSv") << info;
        EXPECT_TRUE(info.size() > c.info.size() && info.ends_with(c.info)) << info;
        // Postfix notes in its Received line that the client used TLS and AUTH.
        const std::string arrived = Arrived(subject);
        EXPECT_NE(arrived.find(" with ESMTPSA id "), std::string::npos) << arrived;
        EXPECT_NE(arrived.find("\r\n\r\nThrough Postfix.\r\n"), std::string::npos) << arrived;
    }
}

// Postfix's smtpd with its extensions, on ports for the default, a small
// message_size_limit and no PIPELINING, relaying to a store.
class PostfixEsmtp : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string ports = Env("QP_POSTFIX_ESMTP_PORTS");
        store_ = Env("QP_POSTFIX_ESMTP_STORE");
        if (ports.empty() || store_.empty()) GTEST_SKIP() << "Postfix's smtpd is not running";
        for (const char* name : {"esmtp", "small", "nopipelining"}) {
            const std::size_t at = ports.find(std::string(name) + "=");
            if (at != std::string::npos)
                ports_[name] = ports.substr(at + std::strlen(name) + 1,
                                            ports.find(' ', at) - at - std::strlen(name) - 1);
        }
    }

    // A send of a FixedMessage with Text, to Recipients, on the service.
    std::string Send(DialogueSMTP& smtp, const std::string& service, const std::string& text,
                     const std::vector<std::string>& recipients = {"rcpt@example.test"}) {
        FixedMessage message;
        message.text = text;
        message.Recipients().Clear();
        for (const std::string& address : recipients) message.Recipients().AddAddress(address, "");
        smtp.Server = "127.0.0.1:" + ports_[service];
        smtp.Settings.useEsmtp = true;
        smtp.SetMailMessage(&message);
        return smtp.TrySend();
    }

    // What arrived with Subject, without the Received line Postfix put first.
    std::string Arrived(const std::string& subject) const {
        for (int attempt = 0; attempt < 100; ++attempt) {
            for (const auto& entry : std::filesystem::directory_iterator(store_)) {
                if (entry.path().extension() != ".eml") continue;
                std::string text = ReadFile(entry.path());
                if (text.find("\r\nSubject: " + subject + "\r\n") == std::string::npos) continue;
                std::size_t at = 0;
                if (text.starts_with("Received: ")) do
                        at = text.find("\r\n", at) + 2;
                    while (text[at] == ' ' || text[at] == '\t');
                return text.substr(at);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }

    // Unique across the native and the Windows runs, which share the store.
    static std::string Subject(const std::string& name) {
        return name + " " +
               std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
    }

    std::map<std::string, std::string> ports_;
    std::filesystem::path store_;
};

// Each extension Postfix offers is used, and each one DisableExtensions names
// is not; the text arrives byte for byte by BDAT and by DATA.
TEST_F(PostfixEsmtp, UsesEachExtensionUnlessDisabled) {
    const std::vector<std::string> all = {"PIPELINING", "SIZE", "CHUNKING", "8BITMIME", "DSN"};
    struct Case {
        const char* name;
        std::vector<std::string> disabled;
        bool pipelined, size, chunking, eightBit, dsn;
    } cases[] = {
        {"all offered", {}, true, true, true, true, true},
        {"no PIPELINING", {"PIPELINING"}, false, true, true, true, true},
        {"no SIZE", {"SIZE"}, true, false, true, true, true},
        {"no CHUNKING", {"CHUNKING"}, true, true, false, true, true},
        // An eight-bit text may go by BDAT only as BODY=8BITMIME.
        {"no 8BITMIME", {"8BITMIME"}, true, true, false, false, true},
        {"no DSN", {"DSN"}, true, true, true, true, false},
        {"none", all, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string subject = Subject(c.name);
        const std::string text = EightBitText(subject);
        DialogueSMTP smtp;
        smtp.Settings.disabledExtensions = c.disabled;
        smtp.Envelope.dsnNotify = "FAILURE,DELAY";
        smtp.Envelope.dsnReturn = "HDRS";
        smtp.Envelope.envelopeId = "qp+1";
        ASSERT_EQ(Send(smtp, "esmtp", text), "");
        const std::string mail = smtp.Sent("MAIL "), rcpt = smtp.Sent("RCPT ");
        EXPECT_EQ(smtp.Pipelined(), c.pipelined);
        const std::size_t size = mail.find(" SIZE=");
        EXPECT_EQ(size != std::string::npos, c.size) << mail;
        if (size != std::string::npos) {
            // The declared size is at least the message's, and no more than its
            // stuffed form with the end.
            const long declared = std::atol(mail.c_str() + size + 6);
            EXPECT_GE(declared, static_cast<long>(Unstuffed(text).size())) << mail;
            EXPECT_LE(declared, static_cast<long>(text.size() + 5)) << mail;
        }
        EXPECT_EQ(mail.find(" BODY=8BITMIME") != std::string::npos, c.eightBit) << mail;
        EXPECT_EQ(smtp.Sent("BDAT ").empty(), !c.chunking);
        EXPECT_EQ(smtp.Sent("DATA").empty(), c.chunking);
        EXPECT_EQ(smtp.Sent("BDAT ").ends_with(" LAST"), c.chunking) << smtp.Sent("BDAT ");
        EXPECT_EQ(mail.find(" RET=HDRS ENVID=qp+2B1") != std::string::npos, c.dsn) << mail;
        EXPECT_EQ(rcpt.ends_with(" NOTIFY=FAILURE,DELAY ORCPT=rfc822;rcpt@example.test"), c.dsn)
            << rcpt;
        // BDAT carries the same bytes DATA stores, its closing empty line too.
        EXPECT_EQ(Arrived(subject), Unstuffed(text) + "\r\n");
    }
}

// Refused recipients, one command at a time and pipelined: alone, any
// refusal fails the send; SkipRefusedRecipients goes on while one is taken.
TEST_F(PostfixEsmtp, ReportsTheRecipientsARestrictionRefused) {
    const std::string refusal =
        "554 5.7.1 <refused@example.test>: Recipient address rejected: no such user here";
    struct Case {
        std::vector<std::string> recipients;
        bool skip;
        bool delivered;
    } cases[] = {
        {{"refused@example.test"}, false, false},
        {{"refused@example.test"}, true, false},
        {{"refused@example.test", "rcpt@example.test"}, false, false},
        {{"refused@example.test", "rcpt@example.test"}, true, true},
        {{"rcpt@example.test", "refused@example.test", "second@example.test"}, true, true},
    };
    for (bool pipelining : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.recipients.size()) + (c.skip ? " skip" : "") +
                         (pipelining ? " pipelined" : ""));
            const std::string subject = Subject("refusal");
            DialogueSMTP smtp;
            if (!pipelining) smtp.Settings.disabledExtensions = {"PIPELINING"};
            smtp.Envelope.skipRefusedRecipients = c.skip;
            const std::string raised = Send(smtp, "esmtp", EightBitText(subject), c.recipients);
            EXPECT_EQ(smtp.Pipelined(), pipelining);
            if (!c.delivered) {
                EXPECT_EQ(raised.substr(0, 12), "socket: 554 ") << raised;
                continue;
            }
            EXPECT_EQ(raised, "");
            ASSERT_EQ(smtp.RefusedRecipients().size(), 1u);
            EXPECT_EQ(smtp.RefusedRecipients()[0].address, "refused@example.test");
            EXPECT_EQ(smtp.RefusedRecipients()[0].reply, refusal);
            EXPECT_NE(Arrived(subject), "");
        }
    }
}

// With SIZE the limit is known before MAIL; without it Postfix refuses the
// text after it came.
TEST_F(PostfixEsmtp, AMessageOverTheSizeLimitFailsBeforeMail) {
    const std::string text = EightBitText(Subject("too large"), 3 * 8192);
    DialogueSMTP declared;
    const std::string raised = Send(declared, "small", text);
    EXPECT_EQ(declared.Sent("MAIL "), "");
    EXPECT_NE(raised.find("8192"), std::string::npos) << raised;
    // Both sizes: the limit, and the message's (stuffed or not).
    bool messageSize = false;
    for (std::size_t at = 0; at < raised.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(raised[at]))) continue;
        const std::size_t n = std::strtoul(raised.c_str() + at, nullptr, 10);
        messageSize = messageSize || (n >= Unstuffed(text).size() && n <= text.size() + 5);
        while (at < raised.size() && std::isdigit(static_cast<unsigned char>(raised[at]))) ++at;
    }
    EXPECT_TRUE(messageSize) << raised;
    DialogueSMTP undeclared;
    undeclared.Settings.disabledExtensions = {"SIZE"};
    EXPECT_EQ(Send(undeclared, "small", text).substr(0, 12), "socket: 552 ");
    EXPECT_NE(undeclared.Sent("MAIL "), "");
}

// Where PIPELINING is not offered nothing is sent ahead (Postfix would note
// "improper command pipelining" in its log, which the script checks).
TEST_F(PostfixEsmtp, SendsNothingAheadWherePipeliningIsNotOffered) {
    const std::string subject = Subject("one at a time");
    DialogueSMTP smtp;
    EXPECT_EQ(Send(smtp, "nopipelining", EightBitText(subject),
                   {"rcpt@example.test", "second@example.test"}),
              "");
    EXPECT_FALSE(smtp.Pipelined());
    EXPECT_EQ(Arrived(subject), Unstuffed(EightBitText(subject)) + "\r\n");
}

}  // namespace
}  // namespace quillpost
