#include "net/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "loopback_peer.h"
#include "net/winsock_binding.h"
#include "raised.h"
#include "temp_dir.h"
#include "test_socket.h"
#include "util/errors.h"
#include "util/stream.h"

namespace quillpost {
namespace {

using testing::LoopbackPeer;
using Clock = std::chrono::steady_clock;
using testing::Raised;
using testing::TestSocket;

TEST(SocketServer, HostAndPortFromServer) {
    struct Case {
        const char* server;
        const char* host;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"mailhost:2525", "mailhost", 2525},
        {"mailhost:abc", "mailhost", 0},
        {"mailhost:70000", "mailhost", 0},
        {"mailhost", "mailhost", 0},
        {"mailhost:", "mailhost", 0},
        {"h:-1", "h", 0},
        {"h:65535", "h", 65535},
        {"h:25:26", "h", 0},
        {"10.1.2.3:25", "10.1.2.3", 25},
    };
    for (const Case& c : cases) {
        TestSocket s;
        s.Server = c.server;
        EXPECT_EQ(s.HostFromServer(), c.host) << c.server;
        EXPECT_EQ(s.PortFromServer(), c.port) << c.server;
    }
}

// What the peer sends in one go, and the lines the reads return one by one:
// any line end, and a zero byte ends the text of a line but not the line.
TEST(Socket, ReadsReturnOneLineEachWhateverTheLineEnd) {
    using Lines = std::vector<std::string>;
    const std::pair<std::string, Lines> cases[] = {
        {"220 ready\r\n", {"220 ready"}},
        {"220 ready\n", {"220 ready"}},
        {"220 ready\r\r\n", {"220 ready"}},
        {"250-first\r\n250-second\n250 third\r\n", {"250-first", "250-second", "250 third"}},
        {std::string("250 a\0junk\r\n251 next\r\n", 22), {"250 a", "251 next"}},
    };
    for (const auto& [sent, lines] : cases) {
        LoopbackPeer peer;
        peer.Run([&](LoopbackPeer& p) {
            if (!p.Accept()) return;
            p.Send(sent);
            p.ReadUntilClosed();
        });
        TestSocket s;
        s.Open(peer.Server());
        EXPECT_TRUE(s.RemoteAddress().empty());  // a dotted address needs no lookup
        EXPECT_EQ(s.Port(), peer.Port());
        EXPECT_FALSE(s.LocalHost().empty());
        for (const std::string& line : lines) EXPECT_EQ(s.Read(), line);
        EXPECT_EQ(s.handled, lines);
        EXPECT_EQ(s.received, lines);
    }
}

// Lines that arrive in pieces and bursts, while earlier ones are still being
// read: no line may be lost or left waiting in the socket.
TEST(Socket, TricklingAndBurstingLinesAreAllRead) {
    constexpr int kLines = 300;
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        std::string pending;
        for (int i = 0; i < kLines; ++i) {
            pending += "250-line " + std::to_string(i) + "\r\n";
            if (i % 7 == 3) {
                // Split a line across two sends.
                p.Send(pending + "250-par");
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                pending = "t\r\n";
            } else if (i % 5 == 0) {
                p.Send(pending);
                pending.clear();
            }
        }
        p.Send(pending + "250 end\r\n");
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.TimeOut = 3;
    s.Open(peer.Server());
    int numbered = 0, parts = 0;
    for (int i = 0; i < 2 * kLines; ++i) {
        std::string line = s.Read();
        if (line == "250 end") break;
        if (line == "250-part") {
            ++parts;
        } else {
            EXPECT_EQ(line, "250-line " + std::to_string(numbered));
            ++numbered;
        }
    }
    EXPECT_EQ(numbered, kLines);
    EXPECT_EQ(parts, kLines / 7 + (kLines % 7 > 3 ? 1 : 0));
}

// The read notification for C arrives while B is still buffered: the read
// that returns B must not leave C unseen in the socket.
TEST(Socket, BytesArrivingWhileALineIsBufferedAreNotLeftWaiting) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.Send("250-A\r\n250-B\r\n");
        p.ReadUntil("GO\r\n");
        p.Send("250 C\r\n");
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.TimeOut = 2;
    s.Open(peer.Server());
    EXPECT_EQ(s.Read(), "250-A");
    s.SendLine("GO");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(s.Read(), "250-B");
    auto start = Clock::now();
    EXPECT_EQ(s.Read(), "250 C");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
}

TEST(Socket, TimeOutOfZeroSetsNoLimit) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        p.Send("220 late\r\n");
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.TimeOut = 0;
    s.Open(peer.Server());
    EXPECT_EQ(s.Read(), "220 late");
}

TEST(Socket, LineLimitIs4097BytesWithItsLineFeed) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.Send(std::string(4096, 'x') + "\n" + std::string(4097, 'y'));
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.Open(peer.Server());
    EXPECT_EQ(s.Read(), std::string(4096, 'x'));
    EXPECT_EQ(Raised([&] { s.Read(); }), "range: Range check error");
    // The failed read still reaches the line choke point, with an empty line.
    ASSERT_EQ(s.received.size(), 2u);
    EXPECT_EQ(s.received[1], "");
    EXPECT_TRUE(s.errors.empty());
}

TEST(Socket, PeerThatClosesEndsReadsWithAnEmptyLine) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.Send("221 bye\r\npartial without line end");
        p.Close();
    });
    TestSocket s;
    s.Open(peer.Server());
    EXPECT_EQ(s.Read(), "221 bye");
    EXPECT_EQ(s.Read(), "");
    EXPECT_TRUE(s.PeerClosed());
    EXPECT_EQ(s.Read(), "");  // and again, without waiting out the TimeOut
    EXPECT_TRUE(s.errors.empty());
    EXPECT_EQ(s.handled, std::vector<std::string>{"221 bye"});
}

TEST(Socket, StalledPeerTimesOutAndLeavesTheSocketClosed) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.Stall();
    });
    testing::TempDir dir;
    TestSocket s;
    s.LogFileName = dir.PathOf("stall.log");
    s.TimeOut = 1;
    int closing = 0;
    s.OnClosing = [&](TagSocket&) { ++closing; };
    s.Open(peer.Server());
    auto start = Clock::now();
    EXPECT_EQ(Raised([&] { s.Read(); }), "timeout: Operation timed out");
    auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
    EXPECT_LT(elapsed, std::chrono::seconds(20));  // not the default minute
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(closing, 1);
    EXPECT_EQ(s.errors, std::vector<std::string>{"Operation timed out"});
    // A read that fails before anything arrived logs nothing.
    EXPECT_TRUE(s.LogLines().empty());
    EXPECT_TRUE(s.received.empty());
    peer.Join();
}

TEST(Socket, ClosedPortIsRefusedAtOnce) {
    std::uint16_t port;
    {
        LoopbackPeer unused;
        port = unused.Port();
    }
    TestSocket s;
    s.TimeOut = 30;
    s.OnError = [&](TagSocket&, std::string& msg) {
        s.errors.push_back(msg), msg = "changed: " + msg;
    };
    s.Server = "127.0.0.1:" + std::to_string(port);
    s.Connect();
    auto start = Clock::now();
    EXPECT_EQ(Raised([&] { s.EstablishConnection(); }),
              "socket: changed: [10061] Connection refused");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));  // not the time-out
    EXPECT_EQ(s.errors, std::vector<std::string>{"[10061] Connection refused"});
}

TEST(Socket, UnknownHostNameIsReported) {
    TestSocket s;
    s.Server = "no-such-host.invalid:25";
    EXPECT_EQ(Raised([&] { s.Connect(); }), "socket: [11001] Host not found");
    EXPECT_EQ(s.errors, std::vector<std::string>{"[11001] Host not found"});
}

TEST(Socket, HostNameIsLookedUp) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.Send("220 localhost\r\n");
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.Open("localhost:" + std::to_string(peer.Port()));
    EXPECT_EQ(s.RemoteAddress(), "127.0.0.1");
    EXPECT_EQ(s.Read(), "220 localhost");
}

TEST(Socket, SettingsCheckedAtConnect) {
    struct Case {
        const char* server;
        const char* service;
        const char* raised;
    };
    const Case cases[] = {
        {"", "smtp", "socket: Server property is required"},
        {"127.0.0.1", "", "socket: Service name is required"},
        {"127.0.0.1:abc", "", "socket: Service name is required"},
    };
    for (const Case& c : cases) {
        TestSocket s;
        s.Server = c.server;
        s.ServiceName = c.service;
        EXPECT_EQ(Raised([&] { s.Connect(); }), c.raised) << c.server;
        EXPECT_EQ(s.errors.size(), 1u);
    }
    TestSocket s;
    EXPECT_EQ(Raised([&] { s.Read(); }), "socket: You have to connect to the server first");
    EXPECT_EQ(Raised([&] { s.SendLine("NOOP"); }),
              "socket: You have to connect to the server first");
    EXPECT_TRUE(s.received.empty());
    EXPECT_TRUE(s.sent.empty());
}

TEST(Socket, ServiceNameGivesThePortAndAnUnknownOneTheDefault) {
    TestSocket known;
    known.Server = "127.0.0.1";
    known.ServiceName = "smtp";
    known.Connect();
    EXPECT_EQ(known.Port(), 25);

    // A failed service lookup falls back to DefaultPort, and the connection
    // it leads to works normally afterwards.
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.Send("220 default port\r\n");
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.ServiceName = "quillpost-no-such-service";
    s.DefaultPort = peer.Port();
    s.Open("127.0.0.1");
    EXPECT_EQ(s.Port(), peer.Port());
    EXPECT_EQ(s.Read(), "220 default port");
}

TEST(Socket, SendLineSendsCrLf) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.ReadUntilClosed();
    });
    TestSocket s;
    s.Open(peer.Server());
    s.SendLine("HELO me");
    s.SendLine("");
    s.SendLine("DATA");
    s.Close();
    peer.Join();
    EXPECT_EQ(peer.Received(), "HELO me\r\n\r\nDATA\r\n");
    EXPECT_EQ(s.sent, (std::vector<std::string>{"HELO me", "", "DATA"}));
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(Socket, SendStreamSendsTheExactBytesWithProgress) {
    struct Case {
        std::size_t size;
        std::vector<std::int32_t> progress;
    };
    const Case cases[] = {
        {5000, {41, 82, 100, 0}},
        {4094, {50, 100, 100, 0}},  // a multiple of the block ends with an empty one
        {1, {100, 0}},
        {0, {100, 0}},
        {2047 * 10 + 3, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100, 0}},
    };
    for (const Case& c : cases) {
        const std::string bytes =
            Pattern(c.size) + "\r\n.\r\n";  // dots and line ends go out as they are
        LoopbackPeer peer;
        peer.Run([](LoopbackPeer& p) {
            if (!p.Accept()) return;
            p.ReadUntilClosed();
        });
        TestSocket s;
        std::vector<std::int32_t> progress;
        s.OnProgress = [&](TagSocket&, std::int32_t perc) { progress.push_back(perc); };
        s.Open(peer.Server());
        TMemoryStream stream;
        stream.Assign(bytes.substr(0, c.size));
        stream.SetPosition(c.size / 2);  // sending starts from the beginning anyway
        s.SendStream(stream);
        s.Close();
        peer.Join();
        EXPECT_EQ(progress, c.progress) << c.size;
        EXPECT_TRUE(peer.Received() == bytes.substr(0, c.size)) << c.size;
    }
}

TEST(Socket, CancelFromAnEventEndsTheOperation) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.ReadUntilClosed();
    });
    TestSocket s;
    std::vector<std::string> trace;
    s.OnCancel = [&](TagSocket&) { trace.push_back("cancel"); };
    s.OnClosing = [&](TagSocket&) { trace.push_back("closing"); };
    s.OnClosed = [&](TagSocket&) { trace.push_back("closed"); };
    s.OnProgress = [&](TagSocket& sender, std::int32_t perc) {
        trace.push_back(std::to_string(perc));
        sender.Cancel();
    };
    s.Open(peer.Server());
    TMemoryStream stream;
    stream.Assign(Pattern(10000));
    EXPECT_EQ(Raised([&] { s.SendStream(stream); }), "canceled: Operation has been canceled");
    EXPECT_EQ(trace, (std::vector<std::string>{"20", "cancel", "closing", "closed"}));
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(s.errors, std::vector<std::string>{"Operation has been canceled"});
    peer.Join();
    EXPECT_TRUE(peer.Received() == Pattern(2047));
    // Cancelled state ends every later wait until ResetState.
    EXPECT_EQ(Raised([&] { s.Connect(), s.EstablishConnection(); }),
              "canceled: Operation has been canceled");
}

TEST(Socket, CancelBeforeConnectingStopsTheConnection) {
    TestSocket s;
    s.OnOpen = [](TagSocket& sender) { sender.Cancel(); };
    s.Server = "127.0.0.1:1";
    s.Connect();
    EXPECT_EQ(Raised([&] { s.EstablishConnection(); }), "canceled: Operation has been canceled");
}

TEST(Socket, TransactionLogHoldsEveryLineInOrder) {
    testing::TempDir dir;
    const std::string log = dir.PathOf("session.log");
    {
        LoopbackPeer peer;
        peer.Run([](LoopbackPeer& p) {
            if (!p.Accept()) return;
            p.Send("220 hello\r\n");
            p.ReadUntil("HELO me\r\n");
            p.Send("250 hi\r\n");
            p.ReadUntil("secret body\r\n");
            p.Send("250 queued\r\n");
            p.Close();
        });
        TestSocket s;
        s.LogFileName = log;
        s.Open(peer.Server());
        EXPECT_EQ(s.Read(), "220 hello");
        s.SendLine("HELO me");
        EXPECT_EQ(s.Read(), "250 hi");
        TMemoryStream body;
        body.Assign("secret body\r\n");
        s.SendStream(body);
        EXPECT_EQ(s.Read(), "250 queued");
        EXPECT_EQ(s.Read(), "");
        EXPECT_FALSE(std::filesystem::exists(log));  // written at destruction
    }
    EXPECT_EQ(
        ReadWholeFile(log),
        "220 hello\r\nHELO me\r\n250 hi\r\nSuppressing the message body.\r\n250 queued\r\n\r\n");
}

// Held writes: what is discarded never leaves, what is released leaves whole
// and in order (a bigger text than the gathering limit included), and its
// lines are reported only once they are out; a read releases a hold.
TEST(Socket, HeldWritesLeaveInOrderAndAreReportedOnceSent) {
    const std::string big(TagSocket::kHoldLimit + 5000, 'b');
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.ReadUntil("END\r\n");
        p.Send("250 ok\r\n");
        p.ReadUntilClosed();
    });
    TestSocket s;
    std::vector<int> progress;
    s.OnProgress = [&](TagSocket&, std::int32_t perc) { progress.push_back(perc); };
    s.Open(peer.Server());
    s.HoldWrites();
    s.SendLine("never sent");
    s.DropHeldWrites();
    s.HoldWrites();
    TMemoryStream text;
    text.Assign(big + "\r\n");
    s.SendStream(text);
    s.SendLine("");
    s.SendLine("END");
    EXPECT_TRUE(s.sent.empty());
    EXPECT_EQ(s.Read(), "250 ok");
    EXPECT_EQ(s.sent, (std::vector<std::string>{"", "END"}));
    EXPECT_EQ(progress.back(), 0);
    s.Close();
    peer.Join();
    EXPECT_EQ(peer.Received(), big + "\r\n\r\nEND\r\n");
}

// A peer that talks without end cannot make the log grow without end: its
// head and tail stay, with one line for what was left out between.
TEST(Socket, TheLogKeepsItsHeadAndTail) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        if (!p.Accept()) return;
        p.ReadUntilClosed();
    });
    testing::TempDir dir;
    TestSocket s;
    s.LogFileName = dir.PathOf("long.log");
    s.Open(peer.Server());
    const int count = 4 * TagSocket::kLogPartLimit / 1000;
    s.HoldWrites();  // few large writes: quick also under Wine
    for (int i = 0; i < count; ++i) s.SendLine(std::to_string(i) + std::string(998, 'x'));
    s.ReleaseWrites();
    s.LogFileName.clear();
    const StringVector log = s.LogLines();
    ASSERT_LT(log.size(), count * 2u / 3);
    EXPECT_EQ(log.front().rfind("0x", 0), 0u);
    EXPECT_EQ(log.back().rfind(std::to_string(count - 1) + "x", 0), 0u);
    const std::size_t kept = log.size() - 1;
    EXPECT_EQ(
        std::count(log.begin(), log.end(), "[" + std::to_string(count - kept) + " lines left out]"),
        1);
}

TEST(Socket, LogThatCannotBeWrittenIsReportedByWriteLog) {
    testing::TempDir dir;
    TestSocket s;
    s.LogFileName = dir.PathOf("no-such-dir/session.log");
    EXPECT_THROW(s.WriteLog(), EInOutError);
}

// A binding that lacks one entry point, or fails its Nth lookup: every path
// through a session must end in the binding's own error, without OnError,
// and leave a socket that Close can shut.
class FailingBinding : public TagWinsock {
public:
    int failAt = -1;
    int calls = 0;
    std::string missing;
    std::string failed;  // the name the Nth lookup asked for
    void* GetProc(const char* name) override {
        ++calls;
        if (calls == failAt) failed = name;
        if (name == missing || calls == failAt)
            return TagWinsock::GetProc("quillpostMissingEntryPoint");
        return TagWinsock::GetProc(name);
    }
};

TEST(Socket, MissingEntryPointIsRaisedWithoutOnError) {
    FailingBinding binding;
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) { p.Accept(); });
    TestSocket s(&binding);
    s.Server = peer.Server();
    s.Connect();
    binding.missing = "connect";
    EXPECT_EQ(Raised([&] { s.EstablishConnection(); }),
              "dll: Function quillpostMissingEntryPoint not found");
    EXPECT_TRUE(s.errors.empty());

    TagWinsock unloaded;
    TestSocket t(&unloaded);
    t.SetWinsockLoaded(false);
    unloaded.Unload();
    t.Server = peer.Server();
    // Not a user any more, so the library can go; every call then refuses.
    EXPECT_EQ(Raised([&] { t.Connect(); }), "dll: Winsock is not loaded");
    EXPECT_TRUE(t.errors.empty());
}

TEST(Socket, FailureAtEveryLibraryCallLeavesAClosableSocket) {
    LoopbackPeer peer;
    peer.Run([](LoopbackPeer& p) {
        for (int i = 0; i < 300 && p.Accept(); ++i) {
            p.Send("220 hi\r\n");
            p.ReadUntil("QUIT\r\n");
            p.Send("221 bye\r\n");
            p.Close();
        }
    });
    std::set<std::string> failed;
    // Fails the Nth call, or every call of one name; true when the session
    // made fewer calls and went through.
    auto attempt = [&](int n, const std::string& name) {
        FailingBinding binding;
        binding.failAt = n;
        binding.missing = name;
        TestSocket s(&binding);
        std::string outcome = Raised([&] {
            s.Open(peer.Server());
            EXPECT_EQ(s.Read(), "220 hi");
            TMemoryStream body;
            body.Assign("x\r\n");
            s.SendStream(body);
            s.SendLine("QUIT");
            EXPECT_EQ(s.Read(), "221 bye");
            s.Close();
        });
        if (outcome != "(nothing raised)") {
            failed.insert(name.empty() ? binding.failed : name);
            EXPECT_EQ(outcome, "dll: Function quillpostMissingEntryPoint not found") << n;
            EXPECT_TRUE(s.errors.empty()) << n;
        }
        binding.failAt = -1;
        binding.missing.clear();
        s.Close();
        EXPECT_FALSE(s.Connected()) << n;
        // Done once the session runs out of calls before the Nth; a failed
        // call the socket can do without (an option) raises nothing.
        return name.empty() && binding.failed.empty();
    };
    bool completed = false;
    for (int n = 1; n <= 300 && !completed; ++n) completed = attempt(n, "");
    EXPECT_TRUE(completed);
    // Each call that sets the socket up, waits, reads (the read that tells
    // data from a close included) and closes can be made to fail. How many
    // waits and reads a session makes depends on timing, so a call made once
    // can fall between two runs of the count: it is then failed by name.
    const std::set<std::string> posix = {"socket", "fcntl", "connect", "poll",
                                         "recv",   "send",  "close"};
    const std::set<std::string> winsock = {"socket", "WSAAsyncSelect", "connect",
                                           "recv",   "send",           "closesocket"};
    const bool windows = TagWinsock().LibraryName().ends_with(".dll");
    for (const std::string& name : windows ? winsock : posix)
        if (!failed.count(name)) attempt(0, name);
    peer.Join();
    for (const std::string& name : windows ? winsock : posix)
        EXPECT_EQ(failed.count(name), 1u) << name << " of " << ::testing::PrintToString(failed);
}

}  // namespace
}  // namespace quillpost
