// The EHLO session with the extensions a server offers, against the scripted
// server: what goes out in which write, what a refusal does to the rest, and
// which recipients were refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "script_server.h"
#include "smtp/smtp_client.h"
#include "smtp_test_support.h"
#include "temp_dir.h"

namespace quillpost {
namespace {

using testing::FixedMessage;
using testing::RecordingSMTP;
using testing::ScriptServer;
using Lines = std::vector<std::string>;
using Replies = std::map<std::string, Lines>;

// An EHLO reply offering Extensions (each "KEYWORD params").
std::string Offering(const Lines& extensions) {
    std::string reply = "250-script";
    for (const std::string& e : extensions) reply += "\r\n250-" + e;
    return reply + "\r\n250 HELP\r\n";
}

// Replies with an EHLO offering Extensions, and More.
Replies Offers(const Lines& extensions, Replies more = {}) {
    more["EHLO"] = {Offering(extensions), Offering(extensions)};
    return more;
}

// The transcript with the local host name taken out of EHLO and HELO.
Lines WithoutHost(Lines lines, const std::string& host) {
    for (std::string& l : lines)
        for (const char* hello : {"EHLO ", "HELO "}) {
            const std::string named = hello + host;
            if (l.rfind(named, 0) == 0) l.replace(0, named.size(), std::string(hello, 4));
        }
    return lines;
}

const char kMail[] = "MAIL FROM:<sender@example.test>";
const char kRcpt[] = "RCPT TO:<rcpt@example.test>";
// FixedMessage's text as stored: one doubled period taken off, and the
// empty line that the end of DATA adds.
const std::size_t kStoredSize = 39;

struct EsmtpCase {
    const char* name;
    Replies replies;
    std::function<void(FixedMessage&, TmsSMTP&)> setup;
    std::string raised;  // "" when every send succeeds
    Lines transcript;    // commands that arrived together joined by " + "
    Lines refused;       // "address<TAB>reply" of the last send
    int sends = 1;       // over one kept session
    std::string logged;  // a line the log must hold
    int rcpts = -1;      // RCPTs sent in the last send; -1: one per recipient
};

void TwoMore(FixedMessage& m, TmsSMTP&) {
    m.Recipients().AddAddress("nobody@example.test", "");
    m.Recipients().AddAddress("third@example.test", "");
}

void Skipping(FixedMessage& m, TmsSMTP& s) {
    TwoMore(m, s);
    s.Envelope.skipRefusedRecipients = true;
}

TEST(EsmtpDialogue, ExtensionsOfferedAndReplies) {
    const std::string group3 = std::string(kMail) + " + " + kRcpt +
                               " + RCPT TO:<nobody@example.test> + RCPT TO:<third@example.test>";
    const Lines refusedMiddle = {"nobody@example.test\t550 no such user"};
    const Replies middleRefused = {{"RCPT", {"250 ok\r\n", "550 no such user\r\n", "250 ok\r\n"}}};
    auto eightBit = [](FixedMessage& m, TmsSMTP&) { m.text += "Gr\xC3\xBC\xC3\x9F\r\n"; };
    auto dsn = [](FixedMessage& m, TmsSMTP& s) {
        s.Envelope.dsnNotify = "SUCCESS,FAILURE";
        s.Envelope.dsnReturn = "HDRS";
        s.Envelope.envelopeId = "id+1 =x";
        m.Recipients().Items(0).SetAddress("r+x@example.test");
    };
    const EsmtpCase cases[] = {
        {"nothing offered: one command at a time",
         Offers({}),
         nullptr,
         "",
         {"EHLO", kMail, kRcpt, "DATA", "<data>", "QUIT"},
         {}},
        {"a 5xx to EHLO falls back to HELO",
         {{"EHLO", {"502 unknown\r\n"}}},
         nullptr,
         "",
         {"EHLO", "HELO", kMail, kRcpt, "DATA", "<data>", "QUIT"},
         {}},
        {"PIPELINING: the envelope and DATA in one write",
         Offers({"PIPELINING"}),
         nullptr,
         "",
         {"EHLO", std::string(kMail) + " + " + kRcpt + " + DATA", "<data>", "QUIT"},
         {}},
        {"kept session: RSET goes with the next envelope",
         Offers({"PIPELINING"}),
         nullptr,
         "",
         {"EHLO", std::string(kMail) + " + " + kRcpt + " + DATA", "<data>",
          std::string("RSET + ") + kMail + " + " + kRcpt + " + DATA", "<data>", "QUIT"},
         {},
         2},
        {"kept session whose RSET is refused: a new session sends the message",
         Offers({"PIPELINING"}, {{"RSET", {"421 closing\r\n"}}}),
         nullptr,
         "",
         {"EHLO", std::string(kMail) + " + " + kRcpt + " + DATA", "<data>",
          std::string("RSET + ") + kMail + " + " + kRcpt + " + DATA", "<closed>", "EHLO",
          std::string(kMail) + " + " + kRcpt + " + DATA", "<data>", "QUIT"},
         {},
         2},
        {"refused MAIL: the RCPT replies are read, MAIL's fails the send",
         Offers({"PIPELINING"}, {{"MAIL", {"550 sender refused\r\n"}},
                                 {"RCPT", {"503 MAIL first\r\n"}},
                                 {"DATA", {"503 no recipients\r\n"}}}),
         nullptr,
         "socket: 550 sender refused",
         {"EHLO", std::string(kMail) + " + " + kRcpt + " + DATA", "QUIT"},
         {}},
        {"refused middle RCPT, pipelined: its reply fails the send; 354 is hung up on",
         Offers({"PIPELINING"}, middleRefused),
         TwoMore,
         "socket: 550 no such user",
         {"EHLO", group3 + " + DATA", "<closed>"},
         refusedMiddle},
        // A hostile server: a reply cut short or of the wrong kind within a
        // group ends the session without QUIT, whatever is still unread.
        {"a group's reply cut short by hanging up",
         Offers({"PIPELINING"},
                {{"RCPT",
                  {"250-half\r\n" + std::string(1, ScriptServer::kPause) + ScriptServer::kClose}}}),
         nullptr,
         "socket: [10054] Connection reset by peer",
         {"EHLO", std::string(kMail) + " + " + kRcpt},
         {}},
        {"a 354 to MAIL within a group",
         Offers({"PIPELINING"}, {{"MAIL", {"354 odd\r\n"}}}),
         nullptr,
         "socket: 354 odd",
         {"EHLO", std::string(kMail) + " + " + kRcpt + " + DATA", "<closed>"},
         {}},
        {"refused middle RCPT, one at a time: QUIT after it",
         Offers({}, middleRefused),
         TwoMore,
         "socket: 550 no such user",
         {"EHLO", kMail, kRcpt, "RCPT TO:<nobody@example.test>", "QUIT"},
         refusedMiddle,
         1,
         "",
         2},
        {"refused middle RCPT skipped: delivered to the others",
         Offers({"PIPELINING"}, middleRefused),
         Skipping,
         "",
         {"EHLO", group3 + " + DATA", "<data>", "QUIT"},
         refusedMiddle},
        {"every RCPT refused: DATA's 554 is read and no text sent; the last refusal says why",
         Offers({"PIPELINING"}, {{"RCPT", {"550 a\r\n", "551 b\r\n", "552 c\r\n"}},
                                 {"DATA", {"554 no valid recipients\r\n"}}}),
         Skipping,
         "socket: 552 c",
         {"EHLO", group3 + " + DATA", "QUIT"},
         {"rcpt@example.test\t550 a", "nobody@example.test\t551 b", "third@example.test\t552 c"}},
        {"every RCPT refused, yet DATA gets 354: hung up on, nothing delivered",
         Offers({"PIPELINING"}, {{"RCPT", {"550 a\r\n"}}}),
         nullptr,
         "socket: 550 a",
         {"EHLO", std::string(kMail) + " + " + kRcpt + " + DATA", "<closed>"},
         {"rcpt@example.test\t550 a"}},
        {"every RCPT refused one at a time, skipping: no DATA",
         Offers({}, {{"RCPT", {"550 a\r\n"}}}),
         [](FixedMessage&, TmsSMTP& s) { s.Envelope.skipRefusedRecipients = true; },
         "socket: 550 a",
         {"EHLO", kMail, kRcpt, "QUIT"},
         {"rcpt@example.test\t550 a"}},
        {"SIZE declared with the stored size",
         Offers({"SIZE 1000"}),
         nullptr,
         "",
         {"EHLO", std::string(kMail) + " SIZE=" + std::to_string(kStoredSize), kRcpt, "DATA",
          "<data>", "QUIT"},
         {}},
        {"a message over the SIZE limit fails before MAIL",
         Offers({"SIZE 38", "PIPELINING"}),
         nullptr,
         "socket: The message is 39 bytes, the server accepts at most 38 (SIZE)",
         {"EHLO", "QUIT"},
         {},
         1,
         "",
         0},
        {"CHUNKING: the stored text in one last chunk, after the envelope",
         Offers({"CHUNKING", "PIPELINING"}),
         nullptr,
         "",
         {"EHLO", std::string(kMail) + " + " + kRcpt, "BDAT 39 LAST", "QUIT"},
         {}},
        {"a refused chunk fails the send, QUIT follows",
         Offers({"CHUNKING"}, {{"BDAT", {"552 too much\r\n"}}}),
         nullptr,
         "socket: 552 too much",
         {"EHLO", kMail, kRcpt, "BDAT 39 LAST", "QUIT"},
         {}},
        {"8BITMIME not declared for a seven-bit text",
         Offers({"8BITMIME"}),
         nullptr,
         "",
         {"EHLO", kMail, kRcpt, "DATA", "<data>", "QUIT"},
         {}},
        {"8BITMIME declared for an eight-bit text",
         Offers({"8BITMIME"}),
         eightBit,
         "",
         {"EHLO", std::string(kMail) + " BODY=8BITMIME", kRcpt, "DATA", "<data>", "QUIT"},
         {}},
        {"an eight-bit text goes by DATA where it cannot be declared for BDAT",
         Offers({"CHUNKING"}),
         eightBit,
         "",
         {"EHLO", kMail, kRcpt, "DATA", "<data>", "QUIT"},
         {}},
        {"DSN offered: RET, ENVID, NOTIFY and ORCPT in xtext",
         Offers({"DSN"}),
         dsn,
         "",
         {"EHLO", std::string(kMail) + " RET=HDRS ENVID=id+2B1+20+3Dx",
          "RCPT TO:<r+x@example.test> NOTIFY=SUCCESS,FAILURE ORCPT=rfc822;r+2Bx@example.test",
          "DATA", "<data>", "QUIT"},
         {}},
        {"DSN not offered: left out, and the log says so",
         Offers({}),
         dsn,
         "",
         {"EHLO", kMail, "RCPT TO:<r+x@example.test>", "DATA", "<data>", "QUIT"},
         {},
         1,
         "The server does not offer DSN: NOTIFY, RET and ENVID are left out."},
        {"every extension disabled: the plain dialogue",
         Offers({"PIPELINING", "SIZE 10", "CHUNKING", "8BITMIME", "DSN"}),
         [&](FixedMessage& m, TmsSMTP& s) {
             eightBit(m, s);
             dsn(m, s);
             s.Settings.disabledExtensions = {"PIPELINING", "SIZE", "CHUNKING", "8BITMIME", "DSN"};
         },
         "",
         {"EHLO", kMail, "RCPT TO:<r+x@example.test>", "DATA", "<data>", "QUIT"},
         {}},
    };
    for (const EsmtpCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        ScriptServer server;
        server.replies = c.replies;
        server.grouped = true;
        server.Start(2);
        FixedMessage message;
        RecordingSMTP smtp;
        smtp.Settings.useEsmtp = true;
        smtp.LogFileName = dir.PathOf("smtp.log");
        smtp.Server = server.Server();
        smtp.SetMailMessage(&message);
        if (c.setup) c.setup(message, smtp);
        std::string raised;
        for (int i = 0; i < c.sends && raised.empty(); ++i) {
            smtp.KeepOpen = i + 1 < c.sends;
            raised = smtp.TrySend();
        }
        EXPECT_EQ(raised, c.raised);
        EXPECT_FALSE(smtp.Connected());
        Lines refused;
        for (const auto& r : smtp.RefusedRecipients())
            refused.push_back(r.address + "\t" + r.reply);
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(smtp.RecipientCount(), c.rcpts < 0 ? message.Recipients().Count() : c.rcpts);
        if (!c.logged.empty()) {
            const StringVector log = smtp.LogLines();
            EXPECT_NE(std::find(log.begin(), log.end(), c.logged), log.end());
        }
        EXPECT_EQ(WithoutHost(server.Transcript(), smtp.LocalHost()), c.transcript);
        if (c.raised.empty()) {
            EXPECT_EQ(server.Stored(), "Subject: fixed\r\n\r\nHello.\r\n.dot line\r\n" +
                                           message.text.substr(38) + "\r\n");
        }
    }
}

// A random composed text: lines of printable, eight-bit and period bytes,
// periods at line starts doubled as the encoder does.
std::string RandomStuffedText(std::mt19937& gen, std::size_t lines) {
    std::uniform_int_distribution<int> length(0, 120), kind(0, 9), byte(0x20, 0xFF);
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        std::string line;
        for (int n = length(gen); n > 0; --n) {
            const int k = kind(gen);
            line += k == 0 ? '.' : static_cast<char>(byte(gen));
        }
        if (!line.empty() && line[0] == '.') line.insert(0, ".");
        text += line + "\r\n";
    }
    return text;
}

// Whatever the text, BDAT stores what DATA stores, and SIZE declares it.
TEST(EsmtpDialogue, ChunksStoreWhatDataStores) {
    std::mt19937 gen(20261209);
    for (const std::size_t lines : {0u, 1u, 7u, 300u, 40000u}) {
        SCOPED_TRACE(lines);
        FixedMessage message;
        message.text = RandomStuffedText(gen, lines);
        message.LeadingLines = {"X-Leading: one", "X-Leading: two"};
        std::string stored[2];
        for (const bool chunked : {false, true}) {
            ScriptServer server;
            if (chunked) server.replies = Offers({"CHUNKING", "PIPELINING", "SIZE"});
            server.Start();
            RecordingSMTP smtp;
            smtp.TimeOut = 20;
            smtp.Settings.useEsmtp = chunked;
            smtp.Server = server.Server();
            smtp.SetMailMessage(&message);
            ASSERT_EQ(smtp.TrySend(), "");
            stored[chunked] = server.Stored();
            if (chunked) {
                const Lines t = server.Transcript();
                ASSERT_GE(t.size(), 2u);
                EXPECT_EQ(t[1], std::string(kMail) + " SIZE=" + std::to_string(stored[1].size()));
            }
        }
        EXPECT_EQ(stored[0].size(), stored[1].size());
        EXPECT_TRUE(stored[0] == stored[1]);
        EXPECT_EQ(stored[0].rfind("X-Leading: one\r\nX-Leading: two\r\n", 0), 0u);
    }
}

}  // namespace
}  // namespace quillpost
