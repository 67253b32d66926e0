#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "mailer/mailer.h"
#include "platform/messenger.h"
#include "smtp/script_server.h"

namespace quillpost {
namespace {

using testing::ScriptServer;

// A loopback port nothing listens on: the connection is refused at once.
constexpr const char* kRefused = "127.0.0.1:1";

TMailer& Ready(TMailer& m, const std::string& hosts) {
    m.SetRemoteHost(hosts);
    m.SetFromAddress("ann@example.test");
    m.AddRecipient("Bob", "bob@example.test");
    m.SetSubject("Hi");
    m.SetBodyText("Body");
    m.SetTimeOut(5);
    return m;
}

int Count(const std::vector<std::string>& transcript, const std::string& command) {
    int n = 0;
    for (const auto& line : transcript) n += line.rfind(command, 0) == 0;
    return n;
}

TEST(GetHost, EntriesBetweenCommasAndSemicolons) {
    struct Case {
        const char* hosts;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {"a;b,c", "a", "b"}, {"a; b", "a", " b"}, {";;a", "a", ""},
        {"", "", ""},        {"a", "a", ""},      {",a,,b:25,", "a", "b:25"},
    };
    for (const auto& c : cases) {
        TMailer m;
        m.SetRemoteHost(c.hosts);
        EXPECT_EQ(m.GetHost(0), c.first) << c.hosts;
        EXPECT_EQ(m.GetHost(1), c.second) << c.hosts;
    }
}

TEST(SendMail, DeliversThroughTheFirstHost) {
    ScriptServer server;
    server.Start();
    TMailer m;
    Ready(m, server.Server());
    EXPECT_TRUE(m.SendMail()) << m.Response();
    auto t = server.Transcript();
    EXPECT_EQ(Count(t, "MAIL FROM:<ann@example.test>"), 1);
    EXPECT_EQ(Count(t, "RCPT TO:<bob@example.test>"), 1);
    EXPECT_NE(server.Data().find("\r\nBody\r\n"), std::string::npos);
    EXPECT_TRUE(m.Response().empty());
}

TEST(SendMail, RetriesOnceThroughTheSecondHost) {
    ScriptServer second;
    second.Start();
    TMailer m;
    Ready(m, std::string(kRefused) + ";" + second.Server() + ";" + kRefused);
    EXPECT_TRUE(m.SendMail());
    EXPECT_EQ(m.Response(), "[10061] Connection refused") << "the first failure stays";
    EXPECT_EQ(Count(second.Transcript(), "DATA"), 1);
}

TEST(SendMail, BothHostsFailingReportsTheSecondFailure) {
    ScriptServer second;
    second.replies["RCPT"] = {"550 no such user\r\n"};
    second.Start();
    TMailer m;
    Ready(m, std::string(kRefused) + "," + second.Server());
    EXPECT_FALSE(m.SendMail());
    EXPECT_EQ(m.Response(), "550 no such user");
}

TEST(SendMail, NoRetryWithoutASecondEntry) {
    for (const char* hosts : {"127.0.0.1:1", "127.0.0.1:1; \t", "127.0.0.1:1;;"}) {
        TMailer m;
        Ready(m, hosts);
        EXPECT_FALSE(m.SendMail()) << hosts;
        EXPECT_EQ(m.Response(), "[10061] Connection refused") << hosts;
    }
}

TEST(SendMail, AMessageTheServerAcceptedIsNeverSentTwice) {
    // The server takes the message, then answers QUIT with an error: the mail
    // went out, so the call succeeds and the second host is not tried.
    ScriptServer first, second;
    first.replies["QUIT"] = {"421 closing badly\r\n"};
    first.Start();
    second.Start();
    TMailer m;
    Ready(m, first.Server() + ";" + second.Server());
    EXPECT_TRUE(m.SendMail());
    EXPECT_EQ(m.Response(), "421 closing badly");
    EXPECT_EQ(Count(first.Transcript(), "DATA"), 1);
    second.Join();
    EXPECT_EQ(Count(second.Transcript(), "HELO"), 0);
}

TEST(SendMail, FailuresBeforeAnyConnection) {
    struct Case {
        const char* name;
        std::function<void(TMailer&)> setup;
        std::string response;
    };
    auto dir = std::filesystem::temp_directory_path() / "qp_send_mail_test";
    std::filesystem::create_directories(dir);
    const std::string missing = (dir / "missing.pdf").string();
    const Case cases[] = {
        {"no sender", [](TMailer& m) { m.SetFromAddress(""); },
         "FromAddress Property cannot be blank."},
        {"no host", [](TMailer& m) { m.SetRemoteHost(""); }, "Server property is required"},
        {"injected subject", [](TMailer& m) { m.SetSubject("x\r\nBcc: e@x"); },
         "Subject contains a line break"},
        {"missing attachment", [&](TMailer& m) { m.AddAttachment(missing); }, ""},
        {"UTF-8 address without SMTPUTF8",
         [](TMailer& m) {
             m.SetCharSet(3);
             m.AddBCC("", "j\xC3\xBCrgen@example.org");
         },
         "The address \"j\xC3\xBCrgen@example.org\" needs SMTPUTF8, which the server did not "
         "offer."},
    };
    for (const auto& c : cases) {
        ScriptServer server;
        server.Start();
        TMailer m;
        Ready(m, c.name == std::string("no host") ? "" : server.Server());
        c.setup(m);
        EXPECT_FALSE(m.SendMail()) << c.name;
        if (!c.response.empty())
            EXPECT_EQ(m.Response(), c.response) << c.name;
        else
            EXPECT_NE(m.Response().find("missing.pdf"), std::string::npos) << m.Response();
        server.Join();
        EXPECT_EQ(Count(server.Transcript(), "HELO"), 0) << c.name << ": nothing may be sent";
    }
    std::filesystem::remove_all(dir);
}

TEST(SendMail, ALogThatCannotBeWrittenDoesNotUndoTheDelivery) {
    ScriptServer server;
    server.Start();
    TMailer m;
    Ready(m, server.Server());
    const auto log = std::filesystem::temp_directory_path() / "qp_no_such_dir" / "smtp.log";
    m.SetSMTPLog(log.string());
    EXPECT_TRUE(m.SendMail());
    EXPECT_FALSE(m.Response().empty());
    EXPECT_EQ(Count(server.Transcript(), "DATA"), 1);
}

TEST(SendMail, WritesTheTransactionLog) {
    ScriptServer server;
    server.Start();
    TMailer m;
    Ready(m, server.Server());
    const auto log = std::filesystem::temp_directory_path() / "qp_send_mail.log";
    std::filesystem::remove(log);
    m.SetSMTPLog(log.string());
    EXPECT_TRUE(m.SendMail());
    std::ifstream in(log, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("MAIL FROM:<ann@example.test>"), std::string::npos) << text;
    EXPECT_NE(text.find("250 queued"), std::string::npos) << text;
    in.close();
    std::filesystem::remove(log);
}

TEST(SendMail, TestModeHandsTheExactCommandLineToTheMessenger) {
    std::vector<std::string> commands;
    platform::SetMessengerForTests([&](const std::string& c) { commands.push_back(c); });
    TMailer m;
    m.SetLive(kWordFalse);
    m.SetFromName("ops");
    m.SetSubject("Hi");
    m.SetBodyText("Body");
    m.SetRemoteHost(kRefused);  // never consulted
    EXPECT_TRUE(m.SendMail());
    platform::SetMessengerForTests({});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], "NET SEND ops Subject: Hi\r\n\r\nBody\r\n");
    EXPECT_TRUE(m.Response().empty());
}

TEST(SendMail, PropertiesAndListsSurviveSending) {
    ScriptServer server;
    server.Start(2);
    TMailer m;
    Ready(m, server.Server());
    EXPECT_TRUE(m.SendMail());
    EXPECT_TRUE(m.SendMail()) << "sending twice sends twice";
    EXPECT_EQ(m.Recipients().Count(), 1);
    EXPECT_EQ(m.BodyLines().size(), 1u);
    EXPECT_EQ(Count(server.Transcript(), "DATA"), 2);
}

}  // namespace
}  // namespace quillpost
