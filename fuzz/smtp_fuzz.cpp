// libFuzzer target: an SMTP server that says anything. Its bytes, cut into
// pieces where the input has a 0xFF byte, reach a whole SendMail through an
// in-memory socket library that takes the system's place (this program
// supplies the platform's socket-library service itself). Nothing may crash
// or hang past the time-out, no text may follow a DATA that was not answered
// by 354, and SendMail may succeed only where the server's replies, taken in
// order, answered DATA with 354 and the final "." with a well-formed 2xx.
//
// The same input then answers an EHLO session whose greeting and EHLO reply
// this program gives: the first byte chooses which of PIPELINING, CHUNKING,
// SIZE (large or too small), DSN and 8BITMIME are offered, whether refused
// recipients are skipped and whether a second message follows over the kept
// session (RSET pipelined with the rest). The input's replies may come short,
// merged, missing or out of step with the pipelined commands; a send may
// succeed only where, reply matched to command in order, MAIL was taken, a
// recipient was (every one, unless refused ones are skipped), and DATA and
// its "." or every BDAT were; the refused recipients reported are exactly
// those whose RCPT was answered otherwise; a message over the offered SIZE
// fails before MAIL.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mailer/mailer.h"
#include "message/message.h"
#include "platform/socket_library.h"
#include "smtp/smtp_client.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

constexpr int kSocket = 1000;
constexpr std::int16_t kTimeOut = 2;

// The server: what it says, in pieces, and what the client sent it.
struct Peer {
    std::vector<std::string> pieces;
    std::size_t piece = 0;
    std::size_t offset = 0;
    std::string sent;
    int connects = 0;
} peer;

int FakeSocket(int, int, int) { return kSocket; }
int FakeConnect(int, const sockaddr*, socklen_t) {
    ++peer.connects;
    return 0;
}
int FakeClose(int) { return 0; }
int FakeFcntl(int, int, ...) { return 0; }
int FakeSetSockOpt(int, int, int, const void*, socklen_t) { return 0; }

int FakeGetSockOpt(int, int, int, void* value, socklen_t* size) {
    std::memset(value, 0, *size);
    return 0;
}

// The send queue cannot be told (as on Windows).
int FakeIoctl(int, unsigned long, ...) { return -1; }

int FakeGetHostName(char* name, std::size_t size) {
    std::strncpy(name, "client.test", size);
    return 0;
}

in_addr_t FakeInetAddr(const char* text) { return ::inet_addr(text); }

ssize_t FakeSend(int, const void* data, std::size_t count, int) {
    peer.sent.append(static_cast<const char*>(data), count);
    return static_cast<ssize_t>(count);
}

// One piece (or what is left of it) per call; the end of the input is the
// server hanging up.
ssize_t FakeRecv(int, void* buffer, std::size_t count, int) {
    if (peer.piece == peer.pieces.size()) return 0;
    const std::string& piece = peer.pieces[peer.piece];
    const std::size_t n = std::min(count, piece.size() - peer.offset);
    std::memcpy(buffer, piece.data() + peer.offset, n);
    peer.offset += n;
    if (peer.offset == piece.size()) {
        ++peer.piece;
        peer.offset = 0;
    }
    return static_cast<ssize_t>(n);
}

// The socket can always be written and always read (data or the hang-up).
int FakePoll(pollfd* fds, nfds_t count, int timeout) {
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
        fds[i].revents = fds[i].fd == kSocket ? fds[i].events & (POLLIN | POLLOUT) : 0;
        ready += fds[i].revents != 0;
    }
    // Only a wait for the next tick sleeps.
    return ready != 0 ? ready : ::poll(nullptr, 0, timeout);
}

// ---- the oracle ----

// The lines the client reads: a line feed ends one, the carriage returns
// before it go, a zero byte ends its text. An unfinished last line is none.
std::vector<std::string> ServerLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = bytes.find('\n', start)) != std::string::npos; start = lf + 1) {
        std::string line = bytes.substr(start, lf - start);
        line = line.substr(0, std::strlen(line.c_str()));
        while (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsCode(const std::string& line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

// The final line of each reply, in order: three digits, then a space or
// nothing. Anything else that is not a continuation line ends a reply that
// is no reply ("").
std::vector<std::string> Replies(const std::vector<std::string>& lines) {
    std::vector<std::string> replies;
    for (const std::string& line : lines) {
        if (line.size() >= 4 && line[3] == '-') continue;
        const bool final = IsCode(line) && (line.size() == 3 || line[3] == ' ');
        replies.push_back(final ? line.substr(0, 3) : "");
    }
    return replies;
}

// What the client sent, as commands; the message text counts as one, ".".
std::vector<std::string> Commands(const std::string& sent, bool& textSent) {
    std::vector<std::string> commands;
    textSent = false;
    std::size_t at = 0;
    while (at < sent.size()) {
        if (!commands.empty() && commands.back() == "DATA" &&
            sent.compare(at, 6, "QUIT\r\n") != 0 && sent.compare(at, 6, "RSET\r\n") != 0) {
            textSent = true;
            const std::size_t end = sent.find("\r\n.\r\n", at);
            if (end == std::string::npos) break;
            commands.push_back(".");
            at = end + 5;
            continue;
        }
        const std::size_t crlf = sent.find("\r\n", at);
        if (crlf == std::string::npos) break;
        commands.push_back(sent.substr(at, crlf - at));
        at = crlf + 2;
        // A chunk's bytes follow its command unread.
        if (commands.back().starts_with("BDAT "))
            at += std::strtoul(commands.back().c_str() + 5, nullptr, 10);
    }
    return commands;
}

// The reply to command I (the greeting is reply 0), or "" when none came.
std::string ReplyTo(const std::vector<std::string>& replies, std::size_t i) {
    return i + 1 < replies.size() ? replies[i + 1] : "";
}

// The input's bytes as pieces, cut where it has a 0xFF byte, added to
// Pieces; Said gets them all.
void Cut(const std::uint8_t* data, std::size_t size, std::vector<std::string>& pieces,
         std::string& said) {
    std::string piece;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF) {
            piece += static_cast<char>(data[i]);
            said += static_cast<char>(data[i]);
        } else if (!piece.empty()) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
}

// ---- the EHLO session ----

constexpr std::uint8_t kPipelining = 1, kChunking = 2, kSize = 4, kSmallSize = 8, kDsn = 16,
                       k8BitMime = 32, kSkipRefused = 64, kSecondMessage = 128;
// Below the size of the message sent.
constexpr int kSmallLimit = 16;

class FixedText : public quillpost::TmsMessage {
public:
    FixedText() {
        Sender().SetAddress("ann@example.test");
        Recipients().AddAddress("bob@example.test", "");
        Recipients().AddAddress("cy@example.test", "");
    }
    void EncodeToStream(quillpost::TStream& stream) override {
        stream.WriteText("Subject: Fuzz\r\n\r\nBody \xC3\xA4\r\n..dot\r\n");
    }
};

std::string EhloReply(std::uint8_t flags) {
    std::string reply = "250-fuzz.test\r\n";
    if (flags & kPipelining) reply += "250-PIPELINING\r\n";
    if (flags & kChunking) reply += "250-CHUNKING\r\n";
    if (flags & kSize)
        reply += "250-SIZE " + std::to_string(flags & kSmallSize ? kSmallLimit : 1000000) + "\r\n";
    if (flags & kDsn) reply += "250-DSN\r\n";
    if (flags & k8BitMime) reply += "250-8BITMIME\r\n";
    return reply + "250 HELP\r\n";
}

// What one send asked of the server, read from the commands and the replies.
struct Transaction {
    bool mailTaken = false, dataTaken = false, dotTaken = false, textUnasked = false;
    bool chunked = false, chunksTaken = true;
    std::size_t rcpts = 0, rcptsTaken = 0;
};

// The transaction from command First (a MAIL) up to the next MAIL.
Transaction Read(const std::vector<std::string>& commands, const std::vector<std::string>& replies,
                 std::size_t first) {
    Transaction t;
    auto good = [&](std::size_t i) { return ReplyTo(replies, i).starts_with("2"); };
    t.mailTaken = good(first);
    for (std::size_t i = first + 1; i < commands.size() && !commands[i].starts_with("MAIL "); ++i) {
        const std::string& c = commands[i];
        if (c.starts_with("RCPT ")) {
            ++t.rcpts;
            t.rcptsTaken += good(i);
        } else if (c == "DATA") {
            t.dataTaken = ReplyTo(replies, i) == "354";
            t.textUnasked = i + 1 < commands.size() && commands[i + 1] == "." && !t.dataTaken;
        } else if (c == ".") {
            t.dotTaken = good(i);
        } else if (c.starts_with("BDAT ")) {
            t.chunked = true;
            t.chunksTaken = t.chunksTaken && good(i);
        }
    }
    return t;
}

bool MaySucceed(const Transaction& t, bool skipRefused) {
    const bool recipients = t.rcptsTaken > 0 && (skipRefused || t.rcptsTaken == t.rcpts);
    const bool text = t.chunked ? t.chunksTaken : t.dataTaken && t.dotTaken;
    return t.mailTaken && recipients && text;
}

// One send over Smtp; true when it succeeded.
bool TrySend(quillpost::TmsSMTP& smtp) {
    try {
        smtp.Send();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The replies after the greeting and the EHLO reply come from Data.
void EsmtpSession(std::uint8_t flags, const std::uint8_t* data, std::size_t size) {
    peer = Peer{};
    peer.pieces = {"220 fuzz.test ESMTP\r\n", EhloReply(flags)};
    std::string said;
    Cut(data, size, peer.pieces, said);
    FixedText message;
    quillpost::TmsSMTP smtp;
    smtp.SetWinsockLoaded(true);
    smtp.Server = "127.0.0.1:25";
    smtp.TimeOut = kTimeOut;
    smtp.Settings.useEsmtp = true;
    smtp.Envelope.skipRefusedRecipients = (flags & kSkipRefused) != 0;
    if (flags & kDsn) smtp.Envelope.dsnNotify = "FAILURE";
    smtp.KeepOpen = (flags & kSecondMessage) != 0;
    smtp.SetMailMessage(&message);
    const auto start = std::chrono::steady_clock::now();
    bool sent[2] = {TrySend(smtp), false};
    std::size_t refused[2] = {smtp.RefusedRecipients().size(), 0};
    if (sent[0] && smtp.KeepOpen) {
        sent[1] = TrySend(smtp);
        refused[1] = smtp.RefusedRecipients().size();
    }
    // A kept session's QUIT may be refused too.
    try {
        smtp.CloseSession();
    } catch (const std::exception&) {
    }
    // Every wait ends with a reply or the hang-up; a few TimeOuts at most
    // (below libFuzzer's own limit).
    Check(std::chrono::steady_clock::now() - start < std::chrono::seconds(8 * kTimeOut));

    bool textSent = false;
    const std::vector<std::string> commands = Commands(peer.sent, textSent);
    const std::vector<std::string> replies =
        Replies(ServerLines("220 fuzz.test ESMTP\r\n" + EhloReply(flags) + said));
    std::vector<std::size_t> mails;
    for (std::size_t i = 0; i < commands.size(); ++i)
        if (commands[i].starts_with("MAIL ")) mails.push_back(i);
    if ((flags & kSize) && (flags & kSmallSize)) Check(!sent[0] && mails.empty());
    // A session begun again (after a refused RSET) has replies of its own:
    // only the first message's are matched then.
    const std::size_t checked =
        peer.connects == 1 ? mails.size() : std::min<std::size_t>(1, mails.size());
    for (std::size_t k = 0; k < checked; ++k) {
        const Transaction t = Read(commands, replies, mails[k]);
        Check(!t.textUnasked);
        if (k < 2 && sent[k]) {
            Check(MaySucceed(t, (flags & kSkipRefused) != 0));
            Check(refused[k] == t.rcpts - t.rcptsTaken);
        }
    }
    for (int k = 0; k < 2; ++k) Check(!sent[k] || mails.size() > static_cast<std::size_t>(k));
}

}  // namespace

// The platform's socket-library service, in memory.
namespace quillpost::platform {

const char* DefaultSocketLibraryName() { return "in-memory"; }
LibraryHandle LoadSocketLibrary(const std::string&) { return &peer; }
void FreeSocketLibrary(LibraryHandle) {}

void* FindLibraryProc(LibraryHandle, const char* name) {
    struct Entry {
        const char* name;
        void* proc;
    };
    static const Entry kProcs[] = {
        {"socket", reinterpret_cast<void*>(&FakeSocket)},
        {"connect", reinterpret_cast<void*>(&FakeConnect)},
        {"send", reinterpret_cast<void*>(&FakeSend)},
        {"recv", reinterpret_cast<void*>(&FakeRecv)},
        {"close", reinterpret_cast<void*>(&FakeClose)},
        {"poll", reinterpret_cast<void*>(&FakePoll)},
        {"fcntl", reinterpret_cast<void*>(&FakeFcntl)},
        {"ioctl", reinterpret_cast<void*>(&FakeIoctl)},
        {"setsockopt", reinterpret_cast<void*>(&FakeSetSockOpt)},
        {"getsockopt", reinterpret_cast<void*>(&FakeGetSockOpt)},
        {"gethostname", reinterpret_cast<void*>(&FakeGetHostName)},
        {"inet_addr", reinterpret_cast<void*>(&FakeInetAddr)},
    };
    for (const Entry& e : kProcs)
        if (std::strcmp(e.name, name) == 0) return e.proc;
    return nullptr;
}

}  // namespace quillpost::platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    peer = Peer{};
    std::string said;
    Cut(data, size, peer.pieces, said);

    quillpost::TMailer mailer;
    mailer.SetRemoteHost("127.0.0.1:25");
    mailer.SetFromAddress("ann@example.test");
    mailer.AddRecipient("Bob", "bob@example.test");
    mailer.SetSubject("Fuzz");
    mailer.SetBodyText("Body");
    mailer.SetTimeOut(kTimeOut);
    const auto start = std::chrono::steady_clock::now();
    const bool sent = mailer.SendMail();
    // Each of at most seven replies within its TimeOut.
    Check(std::chrono::steady_clock::now() - start < std::chrono::seconds(7 * kTimeOut + 2));

    bool textSent = false;
    const std::vector<std::string> commands = Commands(peer.sent, textSent);
    const std::vector<std::string> replies = Replies(ServerLines(said));
    const std::size_t none = commands.size();
    std::size_t dataAt = none, dotAt = none;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i] == "DATA") dataAt = i;
        if (commands[i] == ".") dotAt = i;
    }
    if (textSent || sent) Check(dataAt != none && ReplyTo(replies, dataAt) == "354");
    if (sent) Check(dotAt != none && ReplyTo(replies, dotAt)[0] == '2');

    if (size > 0) EsmtpSession(data[0], data + 1, size - 1);
    return 0;
}
