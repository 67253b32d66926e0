#include "smtp/smtp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "platform/loopback_listener.h"
#include "platform/temp_file.h"
#include "script_server.h"
#include "smtp_test_support.h"
#include "temp_dir.h"
#include "util/errors.h"

namespace quillpost {
namespace {

using testing::FixedMessage;
using testing::RecordingSMTP;
using testing::ScriptServer;
using Lines = std::vector<std::string>;

// "HELO <host>" in an expected transcript stands for HELO with LocalHost.
Lines WithHost(Lines lines, const std::string& host) {
    for (std::string& l : lines)
        if (l == "HELO <host>") l = "HELO " + host;
    return lines;
}

const Lines kDelivered = {"HELO <host>",
                          "MAIL FROM:<sender@example.test>",
                          "RCPT TO:<rcpt@example.test>",
                          "DATA",
                          "<data>",
                          "QUIT"};

struct DialogueCase {
    const char* name;
    std::map<std::string, Lines> replies;
    std::function<void(FixedMessage&)> setup;
    std::string raised;  // "" when Send succeeds
    Lines transcript;
    Lines errors;  // what OnError saw
};

std::string Repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

TEST(SmtpDialogue, ScriptedServers) {
    const std::string p(1, ScriptServer::kPause);
    const std::string reset = "[10054] Connection reset by peer";
    const DialogueCase cases[] = {
        {"plain delivery", {}, nullptr, "", kDelivered, {}},
        {"multi-line greeting is read through its last line",
         {{"greeting", {"220-first\r\n" + p + "220-second\r\n" + p + "220 last\r\n"}}},
         nullptr,
         "",
         kDelivered,
         {}},
        {"HELO refused, bare HELO accepted, no OnError",
         {{"HELO", {"501 bad argument\r\n"}}},
         nullptr,
         "",
         {"HELO <host>", "HELO", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>",
          "DATA", "<data>", "QUIT"},
         {}},
        {"both HELOs refused",
         {{"HELO", {"501 bad argument\r\n", "502 not today\r\n"}}},
         nullptr,
         "socket: 502 not today",
         {"HELO <host>", "HELO", "QUIT"},
         {"502 not today"}},
        {"greeting refused",
         {{"greeting", {"554 go away\r\n"}}},
         nullptr,
         "socket: 554 go away",
         {"QUIT"},
         {"554 go away"}},
        {"a bare code ends a reply", {{"MAIL", {"250\r\n"}}}, nullptr, "", kDelivered, {}},
        {"two digits are not a reply",
         {{"MAIL", {"25\r\n"}}},
         nullptr,
         "socket: 25",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "<closed>"},
         {"25"}},
        {"four characters end a reply", {{"MAIL", {"250 \r\n"}}}, nullptr, "", kDelivered, {}},
        // A reply of the wrong kind leaves the server without QUIT.
        {"354 to MAIL",
         {{"MAIL", {"354 odd\r\n"}}},
         nullptr,
         "socket: 354 odd",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "<closed>"},
         {"354 odd"}},
        {"354 to the final period",
         {{".", {"354 again\r\n"}}},
         nullptr,
         "socket: 354 again",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>", "DATA",
          "<data>", "<closed>"},
         {"354 again"}},
        {"first HELO answered by 354: no second attempt",
         {{"HELO", {"354 odd\r\n"}}},
         nullptr,
         "socket: 354 odd",
         {"HELO <host>", "<closed>"},
         {"354 odd"}},
        {"a reply of 1001 lines",
         {{"MAIL", {Repeated("250-x\r\n", 1000) + "250 ok\r\n"}}},
         nullptr,
         "socket: Server reply too long: more than 1000 lines",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "<closed>"},
         {"Server reply too long: more than 1000 lines"}},
        {"a reply of more than 64 KiB",
         {{"MAIL", {Repeated("250-" + std::string(3996, 'x') + "\r\n", 17) + "250 ok\r\n"}}},
         nullptr,
         "socket: Server reply too long: more than 65536 bytes",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "<closed>"},
         {"Server reply too long: more than 65536 bytes"}},
        {"multi-line rejection carries its final line; QUIT, no DATA",
         {{"RCPT", {"550-one\r\n550 two\r\n"}}},
         nullptr,
         "socket: 550 two",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>", "QUIT"},
         {"550 two"}},
        {"second recipient rejected",
         {{"RCPT", {"250 ok\r\n", "550 no such user\r\n"}}},
         [](FixedMessage& m) { m.Recipients().AddAddress("nobody@example.test", ""); },
         "socket: 550 no such user",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>",
          "RCPT TO:<nobody@example.test>", "QUIT"},
         {"550 no such user"}},
        {"parties in the order recipients, CC, BCC, each as stored",
         {},
         [](FixedMessage& m) {
             m.Recipients().AddAddress("second@example.test", "Second");
             m.CC().AddAddress("", "No Address");
             m.CC().AddAddress("cc@example.test", "");
             m.BCC().AddAddress("rcpt@example.test", "");
         },
         "",
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>",
          "RCPT TO:<second@example.test>", "RCPT TO:<>", "RCPT TO:<cc@example.test>",
          "RCPT TO:<rcpt@example.test>", "DATA", "<data>", "QUIT"},
         {}},
        {"replies ending in LF or in CR CR LF",
         {{"greeting", {"220 hi\n"}}, {"HELO", {"250 ok\r\r\n"}}, {"MAIL", {"250-a\n250 b\r\r\n"}}},
         nullptr,
         "",
         kDelivered,
         {}},
        {"no party with an address: HELO and QUIT only",
         {},
         [](FixedMessage& m) {
             m.Recipients().Clear();
             m.BCC().AddAddress("", "Nobody");
         },
         "message: At least one Recipient, CC or BCC must be entered",
         {"HELO <host>", "QUIT"},
         {}},
        {"a line of 4097 bytes without a line feed",
         {{"MAIL", {"250 " + std::string(4093, 'x')}}},
         nullptr,
         "range: Range check error",
         // The rest of the reply is unread: no QUIT to read it as its answer.
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "<closed>"},
         {}},
        {"a line whose line feed is its 4097th byte",
         {{"MAIL", {"250 " + std::string(4091, 'x') + "\r\n"}}},
         nullptr,
         "",
         kDelivered,
         {}},
        {"server hangs up instead of answering MAIL",
         {{"MAIL", {ScriptServer::kClose}}},
         nullptr,
         "socket: " + reset,
         {"HELO <host>", "MAIL FROM:<sender@example.test>"},
         {reset}},
        {"server hangs up in the middle of a reply",
         {{"RCPT", {"250-first part\r\n" + p + ScriptServer::kClose}}},
         nullptr,
         "socket: " + reset,
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>"},
         {reset}},
        {"server hangs up instead of confirming the message",
         {{".", {ScriptServer::kClose}}},
         nullptr,
         "socket: " + reset,
         {"HELO <host>", "MAIL FROM:<sender@example.test>", "RCPT TO:<rcpt@example.test>", "DATA",
          "<data>"},
         {reset}},
        {"server hangs up instead of answering QUIT",
         {{"QUIT", {ScriptServer::kClose}}},
         nullptr,
         "",
         kDelivered,
         {}},
        // A reset is no worse than a close: the message is delivered, and a
        // refusal before it stays the reason.
        {"server resets instead of answering QUIT",
         {{"QUIT", {ScriptServer::kReset}}},
         nullptr,
         "",
         kDelivered,
         {}},
        {"greeting refused, then a reset instead of answering QUIT",
         {{"greeting", {"554 go away\r\n"}}, {"QUIT", {ScriptServer::kReset}}},
         nullptr,
         "socket: 554 go away",
         {"QUIT"},
         {"554 go away"}},
    };
    for (const DialogueCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer server;
        server.replies = c.replies;
        server.Start();
        FixedMessage message;
        if (c.setup) c.setup(message);
        RecordingSMTP smtp;
        smtp.Server = server.Server();
        smtp.SetMailMessage(&message);
        EXPECT_EQ(smtp.TrySend(), c.raised);
        EXPECT_FALSE(smtp.Connected());
        EXPECT_FALSE(smtp.HeloAttempt());
        EXPECT_EQ(server.Transcript(), WithHost(c.transcript, smtp.LocalHost()));
        // Whether a reset reaches OnError as well depends on how the
        // platform reports it; only the outcome is the rule.
        auto quit = c.replies.find("QUIT");
        if (quit != c.replies.end() && quit->second == Lines{ScriptServer::kReset} &&
            !smtp.errors.empty() && smtp.errors.back() == reset)
            smtp.errors.pop_back();
        EXPECT_EQ(smtp.errors, c.errors);
        bool sentData =
            std::find(c.transcript.begin(), c.transcript.end(), "<data>") != c.transcript.end();
        // The message text unchanged, then CR LF, then "." CR LF.
        EXPECT_EQ(server.Data(), sentData ? message.text + "\r\n.\r\n" : "");
    }
}

TEST(SmtpDialogue, EventsComeInOrderAndMailSentFollowsEveryQuit) {
    {
        ScriptServer server;
        server.Start();
        FixedMessage message;
        RecordingSMTP smtp;
        smtp.Server = server.Server();
        smtp.SetMailMessage(&message);
        ASSERT_EQ(smtp.TrySend(), "");
        EXPECT_EQ(smtp.events, (Lines{"prepare", "sending", "progress 100", "progress 0", "sent"}));
        EXPECT_EQ(smtp.LastReply(), "221 bye");
    }
    {
        // A rejected recipient still ends in QUIT, and its answer is reported.
        ScriptServer server;
        server.replies["RCPT"] = {"550 no\r\n"};
        server.Start();
        FixedMessage message;
        RecordingSMTP smtp;
        smtp.Server = server.Server();
        smtp.SetMailMessage(&message);
        EXPECT_EQ(smtp.TrySend(), "socket: 550 no");
        EXPECT_EQ(smtp.events, (Lines{"prepare", "sending", "sent"}));
    }
}

TEST(SmtpDialogue, MissingServerOrMessage) {
    {
        RecordingSMTP smtp;
        FixedMessage message;
        smtp.SetMailMessage(&message);
        EXPECT_EQ(smtp.TrySend(), "socket: Server property is required");
        EXPECT_EQ(smtp.errors, Lines{"Server property is required"});
    }
    {
        ScriptServer server;
        server.Start();
        RecordingSMTP smtp;
        smtp.Server = server.Server();
        EXPECT_EQ(smtp.TrySend(), "socket: MailMessage property must be assigned");
        EXPECT_EQ(server.Transcript(), WithHost({"HELO <host>", "QUIT"}, smtp.LocalHost()));
        EXPECT_EQ(smtp.errors, Lines{"MailMessage property must be assigned"});
    }
    {
        // The message goes away while the client still refers to it.
        RecordingSMTP smtp;
        auto message = std::make_unique<FixedMessage>();
        smtp.SetMailMessage(message.get());
        message.reset();
        EXPECT_EQ(smtp.MailMessage(), nullptr);
    }
}

// Sends Message to Server with TimeOut; the seconds it took.
double TimedSend(RecordingSMTP& smtp, ScriptServer& server, FixedMessage& message,
                 std::int32_t timeOut, std::string& raised) {
    smtp.TimeOut = timeOut;
    smtp.Server = server.Server();
    smtp.SetMailMessage(&message);
    auto start = std::chrono::steady_clock::now();
    raised = smtp.TrySend();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(SmtpDialogue, AStalledServerTimesOutAndIsLeftWithoutQuit) {
    ScriptServer server;
    server.replies["RCPT"] = {ScriptServer::kStall};
    server.Start();
    FixedMessage message;
    RecordingSMTP smtp;
    std::string raised;
    double seconds = TimedSend(smtp, server, message, 2, raised);
    EXPECT_EQ(raised, "timeout: Operation timed out");
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 30.0);  // not the default minute
    EXPECT_FALSE(smtp.Connected());
    EXPECT_EQ(server.Transcript(), WithHost({"HELO <host>", "MAIL FROM:<sender@example.test>",
                                             "RCPT TO:<rcpt@example.test>", "<closed>"},
                                            smtp.LocalHost()));
    EXPECT_EQ(smtp.errors, Lines{"Operation timed out"});
}

// TimeOut bounds a whole reply, not each of its lines.
TEST(SmtpDialogue, AReplyTricklingInTimesOutAtTimeOut) {
    const std::string p(1, ScriptServer::kPause);
    ScriptServer server;
    server.replies["MAIL"] = {Repeated("250-more\r\n" + p, 10) + "250 ok\r\n"};
    server.Start();
    FixedMessage message;
    RecordingSMTP smtp;
    std::string raised;
    double seconds = TimedSend(smtp, server, message, 1, raised);
    EXPECT_EQ(raised, "timeout: Operation timed out");
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 2.9);
    EXPECT_EQ(server.Data(), "");
}

// Over a slow link most of the text is still queued in the system when the
// final "." is handed over: the wait for its answer must not run out while
// the server is still taking the text.
TEST(SmtpDialogue, TheTextStillFlowingIsNoTimeOut) {
    ScriptServer server;
    server.readRate = 256 * 1024;
    server.Start();
    FixedMessage message;
    message.text = Repeated(std::string(98, 'a') + "\r\n", 10 * 1024);
    RecordingSMTP smtp;
    std::string raised;
    double seconds = TimedSend(smtp, server, message, 2, raised);
    EXPECT_EQ(raised, "");
    EXPECT_GT(seconds, 3.0);
    EXPECT_TRUE(server.Data() == message.text + "\r\n.\r\n");
}

TEST(SmtpDialogue, CancelFromAProgressHandlerEndsTheDataPhase) {
    ScriptServer server;
    server.Start();
    FixedMessage message;
    message.text = std::string(100000, 'a') + "\r\n";
    RecordingSMTP smtp;
    smtp.Server = server.Server();
    smtp.SetMailMessage(&message);
    int progress = 0;
    smtp.OnProgress = [&](TagSocket& s, std::int32_t) {
        if (++progress == 3) s.Cancel();
    };
    EXPECT_EQ(smtp.TrySend(), "canceled: Operation has been canceled");
    EXPECT_EQ(progress, 3);
    EXPECT_FALSE(smtp.Connected());
    EXPECT_EQ(smtp.errors, Lines{"Operation has been canceled"});
    Lines t = server.Transcript();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), "<closed>");
    EXPECT_EQ(std::find(t.begin(), t.end(), "QUIT"), t.end());
}

TEST(SmtpDialogue, TheSameClientSendsAgainAfterAFailure) {
    // The first server refuses the connection, the second takes the message.
    std::uint16_t closedPort;
    {
        platform::LoopbackListener gone;
        closedPort = gone.Port();
    }
    ScriptServer server;
    server.Start();
    FixedMessage message;
    RecordingSMTP smtp;
    smtp.SetMailMessage(&message);
    smtp.Server = "127.0.0.1:" + std::to_string(closedPort);
    EXPECT_EQ(smtp.TrySend(), "socket: [10061] Connection refused");
    smtp.Server = server.Server();
    EXPECT_EQ(smtp.TrySend(), "");
    EXPECT_EQ(server.Transcript(), WithHost(kDelivered, smtp.LocalHost()));
}

TEST(SmtpDialogue, TheLogHoldsEveryLineAndAMarkerForTheText) {
    testing::TempDir dir;
    const std::string path = dir.PathOf("smtp.log");
    ScriptServer server;
    server.replies["greeting"] = {"220-one\r\n220 two\r\n"};
    server.replies["HELO"] = {"501 no\r\n"};
    server.Start();
    std::string host;
    {
        FixedMessage message;
        RecordingSMTP smtp;
        smtp.LogFileName = path;
        smtp.Server = server.Server();
        smtp.SetMailMessage(&message);
        ASSERT_EQ(smtp.TrySend(), "");
        host = smtp.LocalHost();
    }  // destruction writes the log
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "220-one\r\n220 two\r\nHELO " + host +
                        "\r\n501 no\r\nHELO\r\n250 ok\r\n"
                        "MAIL FROM:<sender@example.test>\r\n250 ok\r\n"
                        "RCPT TO:<rcpt@example.test>\r\n250 ok\r\n"
                        "DATA\r\n354 go ahead\r\n"
                        "Suppressing the message body.\r\n\r\n.\r\n250 queued\r\n"
                        "QUIT\r\n221 bye\r\n");
}

// Each send composes into a temporary file of its own: none is left after a
// send that worked or failed, and one that cannot be made fails the send
// after the message has been validated, before the envelope, ending in QUIT.
TEST(SmtpDialogue, TheTemporaryFileOfEachSend) {
    namespace fs = std::filesystem;
    const testing::TempDir parent;
    const fs::path dir = fs::path(parent.PathOf("temp")) / "";
    fs::create_directories(dir);
    platform::SetTempDirectoryOverride(dir.string());
    auto filesLeft = [&] { return std::distance(fs::directory_iterator(dir), {}); };
    FixedMessage message;
    RecordingSMTP smtp;
    smtp.SetMailMessage(&message);
    // One send against a fresh server answering RCPT with Rcpt.
    auto send = [&](const std::string& rcpt, Lines* transcript) {
        ScriptServer server;
        if (!rcpt.empty()) server.replies["RCPT"] = {rcpt};
        server.Start();
        smtp.Server = server.Server();
        std::string raised;
        try {
            raised = smtp.TrySend();
        } catch (const EInOutError& e) {
            raised = std::string("io: ") + e.what();
        }
        if (transcript != nullptr) *transcript = server.Transcript();
        return raised;
    };
    EXPECT_EQ(send("", nullptr), "");
    EXPECT_EQ(filesLeft(), 0);
    EXPECT_EQ(send("550 no\r\n", nullptr), "socket: 550 no");
    EXPECT_EQ(filesLeft(), 0);

    fs::remove_all(dir);  // nowhere to make the file now
    Lines transcript;
    std::string raised = send("", &transcript);
    EXPECT_EQ(raised.rfind("io: Cannot create file " + dir.string(), 0), 0u) << raised;
    EXPECT_FALSE(smtp.Connected());
    EXPECT_EQ(transcript, WithHost({"HELO <host>", "QUIT"}, smtp.LocalHost()));
    // A message that is not fit to send says so first.
    message.Recipients().Clear();
    EXPECT_EQ(send("", nullptr), "message: At least one Recipient, CC or BCC must be entered");
    platform::SetTempDirectoryOverride({});
    EXPECT_FALSE(fs::exists(dir));
}

}  // namespace
}  // namespace quillpost
