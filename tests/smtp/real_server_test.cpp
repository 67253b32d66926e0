// Delivery to real SMTP servers that we did not write: Python's aiosmtpd
// (which stores what it receives) and Postfix's smtp-sink. The servers are
// started by tests/scripts/smtp_real_servers.sh, which passes their ports in
// the environment; without them these tests skip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "smtp/smtp_client.h"
#include "smtp_test_support.h"
#include "util/stream.h"

namespace quillpost {
namespace {

using testing::FixedMessage;
using testing::RecordingSMTP;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

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

}  // namespace
}  // namespace quillpost
