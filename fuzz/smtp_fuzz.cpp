// libFuzzer target: an SMTP server that says anything. Its bytes, cut into
// pieces where the input has a 0xFF byte, reach a whole SendMail through an
// in-memory socket library that takes the system's place (this program
// supplies the platform's socket-library service itself). Nothing may crash
// or hang past the time-out, no text may follow a DATA that was not answered
// by 354, and SendMail may succeed only where the server's replies, taken in
// order, answered DATA with 354 and the final "." with a well-formed 2xx.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mailer/mailer.h"
#include "platform/socket_library.h"

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
} peer;

int FakeSocket(int, int, int) { return kSocket; }
int FakeConnect(int, const sockaddr*, socklen_t) { return 0; }
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
            sent.compare(at, 6, "QUIT\r\n") != 0) {
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
    }
    return commands;
}

// The reply to command I (the greeting is reply 0), or "" when none came.
std::string ReplyTo(const std::vector<std::string>& replies, std::size_t i) {
    return i + 1 < replies.size() ? replies[i + 1] : "";
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
    std::string piece;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF) {
            piece += static_cast<char>(data[i]);
            said += static_cast<char>(data[i]);
        } else if (!piece.empty()) {
            peer.pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) peer.pieces.push_back(piece);

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
    return 0;
}
