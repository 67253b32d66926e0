// Delivery to real SMTP servers that we did not write: Python's aiosmtpd
// (which stores what it receives), Postfix's smtp-sink, and Postfix's smtpd
// with Dovecot's SASL as a provider runs them. The servers are
// started by tests/scripts/smtp_real_servers.sh, which passes their ports in
// the environment; without them these tests skip.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
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
    std::string Deliver(TmsMessage& message, std::string* envelope = nullptr) {
        std::filesystem::path base = NextBase();
        RecordingSMTP smtp;
        smtp.TimeOut = 20;
        smtp.Server = "127.0.0.1:" + port_;
        smtp.SetMailMessage(&message);
        EXPECT_EQ(smtp.TrySend(), "");
        EXPECT_EQ(smtp.errors, std::vector<std::string>{});
        EXPECT_FALSE(smtp.Connected());
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
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 20));
        FixedMessage message;
        message.text = text;
        // The client ends the text with an empty line before the final period.
        EXPECT_EQ(Deliver(message), Unstuffed(text) + "\r\n");
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

}  // namespace
}  // namespace quillpost
