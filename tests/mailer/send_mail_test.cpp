#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "mailer/mailer.h"
#include "platform/messenger.h"
#include "smtp/script_server.h"
#include "temp_dir.h"

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

// The server takes the message (with a bare code, or before answering QUIT
// with an error): the mail went out, so the call succeeds and the second host
// is not tried.
TEST(SendMail, AMessageTheServerAcceptedIsNeverSentTwice) {
    struct Case {
        const char* command;
        const char* reply;
        const char* response;
    };
    const Case cases[] = {{"QUIT", "421 closing badly\r\n", "421 closing badly"},
                          {".", "250\r\n", ""}};
    for (const Case& c : cases) {
        ScriptServer first, second;
        first.replies[c.command] = {c.reply};
        first.Start();
        second.Start();
        TMailer m;
        Ready(m, first.Server() + ";" + second.Server());
        EXPECT_TRUE(m.SendMail()) << c.command;
        EXPECT_EQ(m.Response(), c.response);
        EXPECT_EQ(Count(first.Transcript(), "DATA"), 1);
        second.Join();
        EXPECT_EQ(Count(second.Transcript(), "HELO"), 0);
    }
}

// One unsolicited line after the greeting puts every reply one command late:
// DATA is answered by the 250 meant for RCPT. Nothing may follow that.
TEST(SendMail, AServerOneReplyLateFailsTheSend) {
    ScriptServer server;
    server.replies["greeting"] = {"220 hi\r\n250 extra\r\n"};
    server.Start();
    TMailer m;
    Ready(m, server.Server());
    EXPECT_FALSE(m.SendMail());
    EXPECT_EQ(m.Response(), "250 ok");
    auto t = server.Transcript();
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[t.size() - 2], "DATA");
    EXPECT_EQ(t.back(), "<closed>");
    EXPECT_EQ(server.Data(), "");
}

TEST(SendMail, FailuresBeforeAnyConnection) {
    struct Case {
        const char* name;
        std::function<void(TMailer&)> setup;
        std::string response;
    };
    testing::TempDir dir;
    const std::string missing = dir.PathOf("missing.pdf");
    const Case cases[] = {
        {"no sender", [](TMailer& m) { m.SetFromAddress(""); },
         "FromAddress Property cannot be blank."},
        {"no host", [](TMailer& m) { m.SetRemoteHost(""); }, "Server property is required"},
        {"injected subject", [](TMailer& m) { m.SetSubject("x\r\nBcc: e@x"); },
         "Subject contains a line break"},
        {"missing attachment", [&](TMailer& m) { m.AddAttachment(missing); }, ""},
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
}

// The EHLO dialogue on plain connections (TLS and SMTPUTF8 are tried against
// real servers): what goes out, what is refused, what ConnectionInfo says,
// and that no credential reaches the log or Response, even echoed by the server.
TEST(SendMail, EsmtpDialogues) {
    using Lines = std::vector<std::string>;
    const std::string offersAuth = "250-script\r\n250-AUTH LOGIN PLAIN XOAUTH2\r\n250 SIZE 9\r\n";
    const Lines sent = {"MAIL FROM:<ann@example.test>", "RCPT TO:<bob@example.test>", "DATA",
                        "<data>", "QUIT"};
    auto then = [&](Lines head) {
        head.insert(head.end(), sent.begin(), sent.end());
        return head;
    };
    const std::string noTls =
        "The server does not offer STARTTLS: the credentials are not sent without TLS "
        "(AllowClearTextAuth = True sends them in clear text, for a trusted local relay)";
    const std::string plain = "AUTH PLAIN AHUAcMOkc3M=",
                      xoauth2 = "AUTH XOAUTH2 dXNlcj11AWF1dGg9QmVhcmVyIHlhMjkudG9rAQE=";
    struct Case {
        std::int16_t security, auth;
        bool clearText;  // AllowClearTextAuth
        const char* token;
        std::map<std::string, Lines> replies;
        std::string response;  // "" when the send succeeds
        Lines transcript;
        std::string info;  // ConnectionInfo
    } cases[] = {
        // clang-format off
        {1, 0, false, "", {}, "The server does not offer STARTTLS", {"EHLO", "<closed>"}, "plain"},
        {3, 0, false, "", {{"EHLO", {"250-script\r\n250\r\n"}}}, "", then({"EHLO"}), "plain"},
        // No STARTTLS on offer: credentials go in clear only when asked for by name.
        {3, 1, false, "", {{"EHLO", {offersAuth}}}, noTls, {"EHLO", "<closed>"}, "plain"},
        {0, 1, false, "", {{"EHLO", {offersAuth}}}, noTls, {"EHLO", "<closed>"}, "plain"},
        {3, 2, true, "", {{"AUTH", {"235 ok\r\n"}}}, "", then({"EHLO", plain}),
         "plain; AUTH without TLS (PLAIN)"},
        // Automatic prefers PLAIN to LOGIN.
        // The SIZE offered is too small for the message: refused before MAIL.
        {0, 1, true, "", {{"EHLO", {offersAuth}}, {"AUTH", {"235 ok\r\n"}}},
         "The message is 295 bytes, the server accepts at most 9 (SIZE)", {"EHLO", plain, "QUIT"},
         "plain; AUTH without TLS (PLAIN)"},
        // LOGIN reads no prompt; the script keys the answers by their base64 in capitals.
        {0, 3, true, "", {{"AUTH", {"334 x\r\n"}}, {"DQ==", {"334 y\r\n"}}, {"CMOKC3M=", {"235 ok\r\n"}}},
         "", then({"EHLO", "AUTH LOGIN", "dQ==", "cMOkc3M="}), "plain; AUTH without TLS (LOGIN)"},
        // With a token automatic is XOAUTH2; a refusal comes as a challenge, then the 5xx.
        {0, 1, true, "ya29.tok", {{"EHLO", {offersAuth}}, {"AUTH", {"334 eyJzIjoiNDAxIn0=\r\n"}},
                             {"", {"535 bad token\r\n"}}},
         "535 bad token", {"EHLO", xoauth2, "", "QUIT"}, "plain"},
        // A server that echoes what it got: masked, the reply code kept.
        {0, 2, true, "", {{"AUTH", {"535-5.7.8 AUTH PLAIN AHUAcMOkc3M=\r\n535 rejected\r\n"}}},
         "535 rejected", {"EHLO", plain, "QUIT"}, "plain"},
        {0, 2, true, "", {{"AUTH", {"535 5.7.8 AUTH PLAIN AHUAcMOkc3M= rejected\r\n"}}},
         "535 5.7.8 AUTH PLAIN **** rejected", {"EHLO", plain, "QUIT"}, "plain"},
        {0, 3, true, "", {{"AUTH", {"334 x\r\n"}}, {"DQ==", {"334 y\r\n"}},
                          {"CMOKC3M=", {"535 cMOkc3M= (p\xC3\xA4ss) is wrong\r\n"}}},
         "535 **** (****) is wrong", {"EHLO", "AUTH LOGIN", "dQ==", "cMOkc3M=", "QUIT"}, "plain"},
        {0, 4, true, "ya29.tok", {{"AUTH", {"535 " + xoauth2 + " for ya29.tok\r\n"}}},
         "535 AUTH XOAUTH2 **** for ****", {"EHLO", xoauth2, "QUIT"}, "plain"},
        // A 5xx to EHLO falls back to HELO only when nothing is required.
        {3, 0, false, "", {{"EHLO", {"502 no\r\n"}}}, "", then({"EHLO", "HELO"}), "plain"},
        {0, 2, false, "", {{"EHLO", {"502 no\r\n"}}}, "502 no", {"EHLO", "QUIT"}, "plain"},
        // clang-format on
    };
    testing::TempDir dir;
    const std::string log = dir.PathOf("esmtp.log");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transcript.at(1) + " " + c.response);
        std::filesystem::remove(log);
        ScriptServer server;
        server.replies = c.replies;
        server.Start();
        TMailer m;
        Ready(m, server.Server());
        m.SetSMTPLog(log);
        m.SetSecurity(c.security);
        m.SetAuthType(c.auth);
        m.SetAllowClearTextAuth(c.clearText ? kWordTrue : kWordFalse);
        m.SetUserName("u");
        m.SetPassword("p\xC3\xA4ss");  // UTF-8 on the wire
        m.SetAccessToken(c.token);
        EXPECT_EQ(m.SendMail(), c.response.empty());
        EXPECT_EQ(m.Response(), c.response);
        EXPECT_EQ(m.ConnectionInfo(), c.info);
        Lines transcript = server.Transcript();
        for (std::string& line : transcript)
            if (line.rfind("EHLO ", 0) == 0 || line.rfind("HELO ", 0) == 0) line.resize(4);
        EXPECT_EQ(transcript, c.transcript);
        std::ifstream in(log, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const char* secret : {"AHUAcMOkc3M=", "dQ==", "cMOkc3M=", "dXNlcj11", "p\xC3\xA4ss"})
            EXPECT_EQ(text.find(secret), std::string::npos) << text;
        if (c.auth != 0 && c.response.empty()) {
            EXPECT_NE(text.find(c.auth == 3 ? "\n****" : "AUTH PLAIN ****"), std::string::npos)
                << text;
        }
    }
}

// What a send says of the recipients the server refused: RefusedRecipients
// one line each, however the reply was written; Response a count when the
// message still went out, the session's failure when it did not. The next
// send starts with an empty list.
TEST(SendMail, RefusedRecipientsAndResponseSayWhoWasRefused) {
    const std::string ok = "250 ok\r\n";
    struct Case {
        const char* name;
        bool skip, esmtp;               // SkipRefusedRecipients, UseESMTP
        std::vector<std::string> rcpt;  // replies to bob, cat and dan
        bool sent;
        std::string response, refused;
    } cases[] = {
        {"none refused", true, true, {}, true, "", ""},
        {"two of three, one at a time",
         true,
         false,
         {"550 5.1.1 no such user\r\n", ok, "451-busy\r\n451 try \x1b[2J\tlater\r\n"},
         true,
         "2 of 3 recipients refused",
         "bob@example.test\t550 5.1.1 no such user\r\ndan@example.test\t451 try  [2J later"},
        {"one of three, pipelined",
         true,
         true,
         {ok, "550 unknown\r\n", ok},
         true,
         "1 of 3 recipients refused",
         "cat@example.test\t550 unknown"},
        {"all refused",
         true,
         true,
         {"550 a\r\n", "550 b\r\n", "550 c\r\n"},
         false,
         "550 c",
         "bob@example.test\t550 a\r\ncat@example.test\t550 b\r\ndan@example.test\t550 c"},
        {"not skipped: the first refusal fails the send",
         false,
         false,
         {ok, "550 unknown\r\n"},
         false,
         "550 unknown",
         "cat@example.test\t550 unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer server;
        server.replies["RCPT"] = c.rcpt;
        server.replies["EHLO"] = {"250-script\r\n250 PIPELINING\r\n"};
        server.Start(2);
        TMailer m;
        Ready(m, server.Server());
        m.AddCC("", "cat@example.test");
        m.AddBCC("", "dan@example.test");
        m.SetSkipRefusedRecipients(ToWordBool(c.skip));
        m.SetUseESMTP(ToWordBool(c.esmtp));
        EXPECT_EQ(m.SendMail(), c.sent);
        EXPECT_EQ(m.Response(), c.response);
        EXPECT_EQ(m.RefusedRecipients(), c.refused);
        // The script's replies are used up: everyone is accepted now. The
        // count goes with its send; a failure's text stays, as it always has.
        m.SetSkipRefusedRecipients(kWordFalse);
        EXPECT_TRUE(m.SendMail()) << m.Response();
        EXPECT_EQ(m.RefusedRecipients(), "");
        EXPECT_EQ(m.Response(), c.sent ? "" : c.response);
    }
}

TEST(SendMail, ALogThatCannotBeWrittenDoesNotUndoTheDelivery) {
    ScriptServer server;
    server.Start();
    TMailer m;
    Ready(m, server.Server());
    testing::TempDir dir;
    m.SetSMTPLog(dir.PathOf("no_such_dir/smtp.log"));
    EXPECT_TRUE(m.SendMail());
    EXPECT_FALSE(m.Response().empty());
    EXPECT_EQ(Count(server.Transcript(), "DATA"), 1);
}

TEST(SendMail, WritesTheTransactionLog) {
    ScriptServer server;
    server.Start();
    TMailer m;
    Ready(m, server.Server());
    testing::TempDir dir;
    const std::string log = dir.PathOf("smtp.log");
    m.SetSMTPLog(log);
    EXPECT_TRUE(m.SendMail());
    std::ifstream in(log, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("MAIL FROM:<ann@example.test>"), std::string::npos) << text;
    EXPECT_NE(text.find("250 queued"), std::string::npos) << text;
}

// The first word of each command the server heard, space-separated.
std::string Words(const std::vector<std::string>& transcript) {
    std::string out;
    for (const auto& line : transcript)
        out += (out.empty() ? "" : " ") + line.substr(0, line.find_first_of(" :"));
    return out;
}

// KeepConnection: which connections carried which messages, as the two
// servers heard it, over a sequence of steps ending with the object's release.
TEST(SendMail, AKeptConnectionCarriesTheNextMessageAfterRset) {
    using Step = std::function<void(TMailer&, const std::string& other)>;
    const Step send = [](TMailer& m, const std::string&) {
        EXPECT_TRUE(m.SendMail()) << m.Response();
    };
    const Step close = [](TMailer& m, const std::string&) { m.CloseConnection(); };
    const Step toOther = [](TMailer& m, const std::string& other) { m.SetRemoteHost(other); };
    const Step keepOff = [](TMailer& m, const std::string&) { m.SetKeepConnection(kWordFalse); };
    const Step sendOnAnotherThread = [](TMailer& m, const std::string&) {
        std::thread([&] {
            EXPECT_TRUE(m.SendMail()) << m.Response();
            m.CloseConnection();
        }).join();
    };
    const Step utf8Bcc = [](TMailer& m, const std::string&) {
        m.SetCharSet(3);
        m.AddBCC("", "j\xC3\xBCrgen@example.org");
    };
    const Step esmtp = [](TMailer& m, const std::string&) {
        m.SetUseESMTP(kWordTrue);
        m.SetDisableExtensions("SIZE,CHUNKING");
    };
    const Step sameSet = [](TMailer& m, const std::string&) {
        m.SetDisableExtensions("chunking , size");
    };
    const Step notices = [](TMailer& m, const std::string&) {
        m.SetDSNNotify("FAILURE");
        m.SetSkipRefusedRecipients(kWordTrue);
    };
    const std::string sent = "HELO MAIL RCPT DATA <data>", again = "RSET MAIL RCPT DATA <data>";
    using Replies = std::map<std::string, std::vector<std::string>>;
    const Replies closeAtRset = {{"RSET", {ScriptServer::kClose}}};
    const Replies smtpUtf8 = {{"EHLO", {"250-script\r\n250 SMTPUTF8\r\n"}}};
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Replies replies;
        std::string first, second, info;  // info: ConnectionInfo at the end
    };
    // clang-format off
    const Case cases[] = {
        {"reused, closed on release", {send, send, send}, {}, sent + " " + again + " " + again + " QUIT", "", "plain; reused"},
        {"CloseConnection, then anew", {send, close, send}, {}, sent + " QUIT " + sent + " QUIT", "", "plain"},
        {"closed by the server: reopened", {send, send}, closeAtRset, sent + " RSET " + sent + " QUIT", "", "plain"},
        {"another host", {send, toOther, send}, {}, sent + " QUIT", sent + " QUIT", "plain"},
        {"turned off: the next send ends it", {send, keepOff, send}, {}, sent + " " + again + " QUIT", "", "plain; reused"},
        {"another thread cannot wait on it", {send, sendOnAnotherThread}, {}, sent + " <closed> " + sent + " QUIT", "", "plain"},
        {"HELO learned no SMTPUTF8", {send, utf8Bcc, send}, smtpUtf8, sent + " QUIT EHLO MAIL RCPT RCPT DATA <data> QUIT", "", "plain"},
        {"ESMTP asked for: a new session", {send, esmtp, send}, {}, sent + " QUIT EHLO MAIL RCPT DATA <data> QUIT", "", "plain"},
        {"the same extensions written otherwise: the same session", {esmtp, send, sameSet, send}, {}, "EHLO MAIL RCPT DATA <data> RSET MAIL RCPT DATA <data> QUIT", "", "plain; reused"},
        {"envelope options: the same session", {send, notices, send}, {}, sent + " " + again + " QUIT", "", "plain; reused"},
    };
    // clang-format on
    for (const Case& c : cases) {
        ScriptServer first, second;
        first.replies = c.replies;
        first.Start(2);
        second.Start();
        {
            TMailer m;
            Ready(m, first.Server());
            m.SetKeepConnection(kWordTrue);
            for (const Step& step : c.steps) step(m, second.Server());
            EXPECT_EQ(m.ConnectionInfo(), c.info) << c.name;
        }
        EXPECT_EQ(Words(first.Transcript()), c.first) << c.name;
        EXPECT_EQ(Words(second.Transcript()), c.second) << c.name;
    }
}

TEST(SendMail, EachSendOverAKeptConnectionWritesItsOwnLog) {
    ScriptServer server;
    server.Start();
    testing::TempDir dir;
    TMailer m;
    Ready(m, server.Server());
    m.SetKeepConnection(kWordTrue);
    std::string logs[2];
    for (std::string& log : logs) {
        m.SetSMTPLog(dir.PathOf("smtp.log"));
        EXPECT_TRUE(m.SendMail());
        std::ifstream in(dir.PathOf("smtp.log"), std::ios::binary);
        log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(logs[0].rfind("220 script ready\r\nHELO ", 0), 0u) << logs[0];
    EXPECT_EQ(logs[1].rfind("RSET\r\n250 ok\r\nMAIL FROM:", 0), 0u) << logs[1];
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
