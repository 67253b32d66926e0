// The SMTP client against peers on the same loopback servers in the same run:
//  - a 10 MiB message to Postfix's smtp-sink, beside curl uploading the same
//    composed file to the same sink (wall time, best of 3);
//  - 500 small messages, one connection each and then all over one kept
//    connection (greeting with HELO, and with EHLO and so PIPELINING),
//    beside Python's smtplib sending the same texts to the same sink the same
//    two ways, taking turns (messages per second). A bare client (plain
//    blocking calls, no temporary file, no events, no time-outs) runs our
//    dialogues in the same turns, the pipelined one included: what the
//    machine allows any client, the scale against which the others are read;
//  - 8 clients on 8 threads, 2,000 messages each over kept pipelined
//    connections, beside 8 smtplib threads and 8 bare pipelined clients;
//  - 10 MiB by BDAT and by DATA to Postfix's smtpd (a private instance that
//    discards what it takes), taking turns, best of 5 each, beside the bare
//    client sending one BDAT chunk or DATA (the server's own difference);
//  - a 10 MiB message over STARTTLS to aiosmtpd, beside curl --ssl-reqd
//    sending the same file to the same server (wall time, best of 5 turns);
//  - the share of a small message's time over STARTTLS that goes to setting
//    the session up (connect, greeting, EHLO, STARTTLS, the handshake, EHLO
//    again), ours beside smtplib's, and what a message then takes over the
//    kept session;
//  - CPU time spent waiting 5 s for a server that never answers, beside a
//    Python socket waiting the same 5 s.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "message/message.h"
#include "peer_runner.h"
#include "platform/loopback_listener.h"
#include "smtp/smtp_client.h"
#include "util/errors.h"

namespace {

using namespace quillpost;
using bench::BackgroundProcess;
using bench::ConnectTo;
using bench::FreePort;
using bench::Greets;
using bench::PeerFolder;
using bench::Sink;
using Clock = std::chrono::steady_clock;

constexpr int kSmallMessages = 500;
constexpr int kSmallTurns = 9;
constexpr std::size_t kBigSize = 10 * 1024 * 1024;
constexpr int kTlsMessages = 30;
constexpr int kThreads = 8;
constexpr int kThreadMessages = 2000;

double Ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class TextMessage : public TmsMessage {
public:
    TextMessage() {
        Sender().SetAddress("sender@example.test");
        Recipients().AddAddress("rcpt@example.test", "");
    }
    void EncodeToStream(TStream& stream) override { stream.WriteText(text); }
    std::string text;
};

class Client : public TmsSMTP {
public:
    explicit Client(std::uint16_t port) {
        SetWinsockLoaded(true);
        TimeOut = 30;
        Server = "127.0.0.1:" + std::to_string(port);
    }
};

const std::string& BigText() {
    static const std::string text = [] {
        std::string s =
            "From: sender@example.test\r\nTo: rcpt@example.test\r\nSubject: big\r\n\r\n";
        for (int i = 0; s.size() < kBigSize; ++i)
            s += (i % 40 == 0 ? ".." : "") + std::string("Line ") + std::to_string(i) +
                 " of a ten mebibyte message body, plain text words to fill it.\r\n";
        return s;
    }();
    return text;
}

// The peer builds the same texts (kSmallTextPy).
std::string SmallText(int i) {
    return "From: sender@example.test\r\nTo: rcpt@example.test\r\nSubject: small " +
           std::to_string(i) + "\r\n\r\nA short message, number " + std::to_string(i) + ".\r\n";
}
const char kSmallTextPy[] =
    "def text(i):\n"
    "    return ('From: sender@example.test\\r\\nTo: rcpt@example.test\\r\\n'\n"
    "            'Subject: small %d\\r\\n\\r\\nA short message, number %d.\\r\\n' % (i, "
    "i)).encode()\n";

PeerFolder& Folder() {
    static PeerFolder folder("smtp_bench");
    return folder;
}

Sink& TheSink() {
    static Sink sink;
    return sink;
}

// aiosmtpd on a free loopback port for the whole run, STARTTLS required,
// with a certificate for 127.0.0.1 that the openssl command makes for this
// run (it is its own root: CAFile names it). Messages are taken and dropped.
class StartTlsServer {
public:
    StartTlsServer() {
        const std::string cert = (Folder().Path() / "cert.pem").string();
        const std::string key = (Folder().Path() / "key.pem").string();
        const std::string openssl =
            "openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj /CN=127.0.0.1"
            " -addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout " +
            PeerFolder::Quoted(key) + " -out " + PeerFolder::Quoted(cert) + " >/dev/null 2>&1";
        if (std::system(openssl.c_str()) != 0) return;
        const std::string script = Folder().Write("starttls_server.py", R"PY(
import signal, ssl, sys
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP

class Drop:
    async def handle_DATA(self, server, session, envelope):
        return "250 OK"

class StartTls(Controller):
    def factory(self):
        return SMTP(self.handler, decode_data=False, hostname="qp-bench", tls_context=ctx,
                    require_starttls=True, data_size_limit=64 * 1024 * 1024)

ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(sys.argv[2], sys.argv[3])
StartTls(Drop(), hostname="127.0.0.1", port=int(sys.argv[1])).start()
signal.pause()
)PY");
        port_ = FreePort();
        process_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/python3 " + PeerFolder::Quoted(script) + " " + std::to_string(port_) + " " +
            PeerFolder::Quoted(cert) + " " + PeerFolder::Quoted(key));
        if (Greets(port_)) ca_ = cert;
    }
    // Empty when the server is not running.
    const std::string& CaFile() const { return ca_; }
    std::uint16_t Port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    std::string ca_;
    std::unique_ptr<BackgroundProcess> process_;
};

StartTlsServer& TheTlsServer() {
    static StartTlsServer server;
    return server;
}

// A client of the STARTTLS server that notes when its session is ready.
class TlsClient : public Client {
public:
    TlsClient() : Client(TheTlsServer().Port()) {
        Settings.security = TSmtpSettings::kStartTlsRequired;
        Settings.caFile = TheTlsServer().CaFile();
        // From STARTTLS out to the EHLO that follows the handshake.
        OnLineSent = [this](TagSocket&, const std::string& line) {
            if (line == "STARTTLS")
                startTls = Clock::now();
            else if (tlsUp < startTls)
                tlsUp = Clock::now();
        };
    }
    Clock::time_point startTls, tlsUp, ready;

protected:
    void Login() override {
        Client::Login();
        ready = Clock::now();
    }
};

// Messages per second of one way of sending, best turn, and the ratio of
// ours to the peer's within each turn.
struct Rates {
    double ours = 0, smtplib = 0, bare = 0;
    std::vector<double> turnRatios;
    double oursCpu = 1e9, smtplibCpu = 1e9;  // seconds for all messages, least of the turns
};

struct Figures {
    double oursBig = 0, curlBig = 0;  // seconds, best of 3
    // One connection per message; one kept connection with HELO, and with
    // EHLO (pipelined; its bare client sends the pipelined dialogue).
    Rates each, kept, keptEsmtp;
    std::vector<double> esmtpToHelo;          // ours kept EHLO / ours kept HELO, per turn
    Rates threads;                            // kThreads kept pipelined connections at once
    double bdatBig = 0, dataBig = 0;          // seconds to Postfix's smtpd, best of 5
    double bareBdatBig = 0, bareDataBig = 0;  // the same by the bare client
    bool bdatUsed = false;
    std::vector<double> keptToEach;           // ours kept / ours one connection each, per turn
    double oursWaitCpu = -1, pyWaitCpu = -1;  // CPU seconds over the 5 s wait
    double oursTlsBig = 0, curlTlsBig = 0;    // seconds, best of 3
    // Small messages over STARTTLS, means in seconds: the whole send, the
    // part of it until the session was ready, a send over a kept session.
    // The handshake: from STARTTLS through the EHLO sent over TLS.
    double oursTlsSend = 0, oursTlsSetUp = 0, oursTlsHandshake = 0, oursTlsKept = 0;
    double smtplibTlsSend = 0, smtplibTlsSetUp = 0, smtplibTlsHandshake = 0;
} figures;

void BM_BigMessageToSink_TmsSMTP(benchmark::State& state) {
    if (TheSink().Port() == 0) return state.SkipWithError("smtp-sink is not available");
    double best = 1e9;
    for (auto _ : state) {
        TextMessage message;
        message.text = BigText();
        Client smtp(TheSink().Port());
        smtp.SetMailMessage(&message);
        auto start = Clock::now();
        smtp.Send();
        double s = Seconds(start);
        state.SetIterationTime(s);
        best = std::min(best, s);
    }
    figures.oursBig = best;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BigText().size()));
}
BENCHMARK(BM_BigMessageToSink_TmsSMTP)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_BigMessageToSink_Curl(benchmark::State& state) {
    if (TheSink().Port() == 0) return state.SkipWithError("smtp-sink is not available");
    const std::string command =
        "curl -s -S --url smtp://127.0.0.1:" + std::to_string(TheSink().Port()) +
        " --mail-from sender@example.test --mail-rcpt rcpt@example.test --upload-file " +
        PeerFolder::Quoted(Folder().Write("big.eml", BigText()));
    double best = 1e9;
    for (auto _ : state) {
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0) return state.SkipWithError("curl failed");
        double s = Seconds(start);
        state.SetIterationTime(s);
        best = std::min(best, s);
    }
    figures.curlBig = best;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BigText().size()));
}
BENCHMARK(BM_BigMessageToSink_Curl)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Messages per second over kSmallMessages sends, and CPU seconds used: one
// client and one connection per message, as SendMail does by default, or one
// client keeping its connection, as SendMail does with KeepConnection.
double OursSmallRate(bool kept, bool esmtp, double* cpuSeconds) {
    std::clock_t cpu = std::clock();
    auto start = Clock::now();
    TextMessage message;
    std::unique_ptr<Client> smtp;
    for (int i = 0; i < kSmallMessages; ++i) {
        if (!kept || !smtp) {
            smtp = std::make_unique<Client>(TheSink().Port());
            smtp->KeepOpen = kept;
            smtp->Settings.useEsmtp = esmtp;
            smtp->SetMailMessage(&message);
        }
        message.text = SmallText(i);
        smtp->Send();
    }
    smtp->CloseSession();
    smtp.reset();
    double s = Seconds(start);
    *cpuSeconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    return kSmallMessages / s;
}

// smtplib's own way over one connection sends no RSET between messages.
double SmtplibSmallRate(bool kept, double* cpuSeconds) {
    const std::string script = std::string("import smtplib, sys, time\n") + kSmallTextPy +
                               "port, n, kept = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3] "
                               "== 'kept'\n"
                               "texts = [text(i) for i in range(n)]\n"
                               "t = time.perf_counter(); c = time.process_time()\n"
                               "s = None\n"
                               "for i in range(n):\n"
                               "    if s is None:\n"
                               "        s = smtplib.SMTP('127.0.0.1', port)\n"
                               "        s.helo()\n"
                               "    s.sendmail('sender@example.test', ['rcpt@example.test'], "
                               "texts[i])\n"
                               "    if not kept:\n"
                               "        s.quit(); s = None\n"
                               "if s is not None: s.quit()\n"
                               "print(n / (time.perf_counter() - t), time.process_time() - c)\n";
    std::string out;
    double rate = 0;
    if (!Folder().RunPython(script,
                            {std::to_string(TheSink().Port()), std::to_string(kSmallMessages),
                             kept ? "kept" : "each"},
                            &out) ||
        std::sscanf(out.c_str(), "%lf %lf", &rate, cpuSeconds) != 2)
        return 0;
    return rate;
}

// A blocking connection that writes whole strings and reads whole replies.
class BareSession {
public:
    explicit BareSession(std::uint16_t port = TheSink().Port()) : fd_(ConnectTo(port)) {}
    ~BareSession() {
        if (fd_ >= 0) ::close(fd_);
    }
    BareSession(const BareSession&) = delete;
    BareSession& operator=(const BareSession&) = delete;

    bool Open() const { return fd_ >= 0; }
    // Reads Count replies; true when each was 2xx or 3xx.
    bool Replies(int count) {
        bool good = true;
        while (count > 0) {
            std::size_t end;
            while ((end = got_.find("\r\n")) == std::string::npos) {
                char buffer[4096];
                const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0) return false;
                got_.append(buffer, static_cast<std::size_t>(n));
            }
            good = good && (got_[0] == '2' || got_[0] == '3');
            if (end < 4 || got_[3] != '-') --count;
            got_.erase(0, end + 2);
        }
        return good;
    }
    bool Command(const std::string& text, int replies = 1) {
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(text.size()) &&
               Replies(replies);
    }

private:
    int fd_;
    std::string got_;
};

const char kEnvelope[] = "MAIL FROM:<sender@example.test>\r\nRCPT TO:<rcpt@example.test>\r\n";

// Our HELO dialogue and nothing else, one command at a time.
double BareClientRate(bool kept) {
    auto start = Clock::now();
    std::unique_ptr<BareSession> session;
    for (int i = 0; i < kSmallMessages; ++i) {
        bool ok = true;
        if (!session) {
            session = std::make_unique<BareSession>(TheSink().Port());
            ok = session->Open() && session->Replies(1) && session->Command("HELO bench\r\n");
        } else {
            ok = session->Command("RSET\r\n");
        }
        ok = ok && session->Command("MAIL FROM:<sender@example.test>\r\n") &&
             session->Command("RCPT TO:<rcpt@example.test>\r\n") && session->Command("DATA\r\n") &&
             session->Command(SmallText(i) + "\r\n.\r\n");
        if (ok && !kept) {
            ok = session->Command("QUIT\r\n");
            session.reset();
        }
        if (!ok) return 0;
    }
    if (session && !session->Command("QUIT\r\n")) return 0;
    return kSmallMessages / Seconds(start);
}

// Our pipelined EHLO dialogue and nothing else over one connection: RSET
// (after the first message), MAIL, RCPT and DATA in one write.
bool BarePipelinedSends(int messages) {
    BareSession session;
    if (!session.Open() || !session.Replies(1) || !session.Command("EHLO bench\r\n")) return false;
    for (int i = 0; i < messages; ++i) {
        const std::string head = (i == 0 ? "" : "RSET\r\n") + std::string(kEnvelope) + "DATA\r\n";
        if (!session.Command(head, i == 0 ? 3 : 4) || !session.Command(SmallText(i) + "\r\n.\r\n"))
            return false;
    }
    return session.Command("QUIT\r\n");
}

double BarePipelinedRate() {
    auto start = Clock::now();
    return BarePipelinedSends(kSmallMessages) ? kSmallMessages / Seconds(start) : 0;
}

// The two sides take turns (the server is the slower part: a busy moment of
// the machine would otherwise fall on one side only); best of 5 each.
void BM_BigMessageOverStartTls_TmsSMTP_vs_Curl(benchmark::State& state) {
    if (TheTlsServer().CaFile().empty()) return state.SkipWithError("aiosmtpd is not available");
    const std::string curl =
        "curl -s -S --ssl-reqd --cacert " + PeerFolder::Quoted(TheTlsServer().CaFile()) +
        " --url smtp://127.0.0.1:" + std::to_string(TheTlsServer().Port()) +
        " --mail-from sender@example.test --mail-rcpt rcpt@example.test --upload-file " +
        PeerFolder::Quoted(Folder().Write("big.eml", BigText()));
    figures.oursTlsBig = figures.curlTlsBig = 1e9;
    for (auto _ : state) {
        TextMessage message;
        message.text = BigText();
        TlsClient smtp;
        smtp.SetMailMessage(&message);
        auto start = Clock::now();
        smtp.Send();
        double s = Seconds(start);
        figures.oursTlsBig = std::min(figures.oursTlsBig, s);
        state.SetIterationTime(s);
        start = Clock::now();
        if (std::system(curl.c_str()) != 0) return state.SkipWithError("curl failed");
        figures.curlTlsBig = std::min(figures.curlTlsBig, Seconds(start));
    }
    state.counters["curl_ms"] = figures.curlTlsBig * 1e3;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BigText().size()));
}
BENCHMARK(BM_BigMessageOverStartTls_TmsSMTP_vs_Curl)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// kTlsMessages small messages, each over a new STARTTLS session, then as
// many over one kept session; smtplib sends the same texts over new sessions.
void BM_SmallMessageOverStartTls_SetUpShare(benchmark::State& state) {
    if (TheTlsServer().CaFile().empty()) return state.SkipWithError("aiosmtpd is not available");
    for (auto _ : state) {
        TextMessage message;
        double send = 0, setUp = 0, handshake = 0;
        for (int i = 0; i < kTlsMessages; ++i) {
            message.text = SmallText(i);
            TlsClient smtp;
            smtp.SetMailMessage(&message);
            auto start = Clock::now();
            smtp.Send();
            send += Seconds(start);
            setUp += std::chrono::duration<double>(smtp.ready - start).count();
            handshake += std::chrono::duration<double>(smtp.tlsUp - smtp.startTls).count();
        }
        figures.oursTlsHandshake = handshake / kTlsMessages;
        figures.oursTlsSend = send / kTlsMessages;
        figures.oursTlsSetUp = setUp / kTlsMessages;
        TlsClient kept;
        kept.KeepOpen = true;
        kept.SetMailMessage(&message);
        kept.Send();
        auto start = Clock::now();
        for (int i = 0; i < kTlsMessages; ++i) {
            message.text = SmallText(i);
            kept.Send();
        }
        figures.oursTlsKept = Seconds(start) / kTlsMessages;
        kept.OnLineSent = nullptr;
        kept.CloseSession();
        std::string out;
        Folder().RunPython(std::string("import smtplib, ssl, sys, time\n") + kSmallTextPy +
                               "port, n, ca = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]\n"
                               "context = ssl.create_default_context(cafile=ca)\n"
                               "send = set_up = handshake = 0\n"
                               "for i in range(n):\n"
                               "    t = time.perf_counter()\n"
                               "    s = smtplib.SMTP('127.0.0.1', port)\n"
                               "    s.ehlo(); h = time.perf_counter()\n"
                               "    s.starttls(context=context); s.ehlo()\n"
                               "    handshake += time.perf_counter() - h\n"
                               "    set_up += time.perf_counter() - t\n"
                               "    s.sendmail('sender@example.test', ['rcpt@example.test'], "
                               "text(i))\n"
                               "    s.quit()\n"
                               "    send += time.perf_counter() - t\n"
                               "print(send / n, set_up / n, handshake / n)\n",
                           {std::to_string(TheTlsServer().Port()), std::to_string(kTlsMessages),
                            TheTlsServer().CaFile()},
                           &out);
        if (std::sscanf(out.c_str(), "%lf %lf %lf", &figures.smtplibTlsSend,
                        &figures.smtplibTlsSetUp, &figures.smtplibTlsHandshake) != 3)
            return state.SkipWithError("smtplib peer failed");
        state.SetIterationTime(figures.oursTlsSend);
    }
    state.counters["TmsSMTP_set_up_share"] = Ratio(figures.oursTlsSetUp, figures.oursTlsSend);
    state.counters["smtplib_set_up_share"] = Ratio(figures.smtplibTlsSetUp, figures.smtplibTlsSend);
}
BENCHMARK(BM_SmallMessageOverStartTls_SetUpShare)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One turn of one way of sending: ours, the peer's, the bare client's.
bool SmallTurn(bool kept, Rates& rates, double* ours) {
    double cpu = 0;
    *ours = OursSmallRate(kept, false, &cpu);
    rates.ours = std::max(rates.ours, *ours);
    rates.oursCpu = std::min(rates.oursCpu, cpu);
    double peer = SmtplibSmallRate(kept, &cpu);
    if (peer <= 0) return false;
    rates.smtplib = std::max(rates.smtplib, peer);
    rates.smtplibCpu = std::min(rates.smtplibCpu, cpu);
    rates.turnRatios.push_back(*ours / peer);
    rates.bare = std::max(rates.bare, BareClientRate(kept));
    if (!kept) return true;
    // The pipelined EHLO dialogue against the same turn's smtplib.
    Rates& esmtp = figures.keptEsmtp;
    const double pipelined = OursSmallRate(true, true, &cpu);
    esmtp.ours = std::max(esmtp.ours, pipelined);
    esmtp.oursCpu = std::min(esmtp.oursCpu, cpu);
    esmtp.smtplib = rates.smtplib;
    esmtp.smtplibCpu = rates.smtplibCpu;
    esmtp.turnRatios.push_back(pipelined / peer);
    esmtp.bare = std::max(esmtp.bare, BarePipelinedRate());
    figures.esmtpToHelo.push_back(pipelined / *ours);
    return true;
}

// The sides take turns, so a busy moment of the machine is shared out;
// each side's best turn is its figure.
void BM_SmallMessagesToSink_TmsSMTP_vs_smtplib(benchmark::State& state) {
    if (TheSink().Port() == 0) return state.SkipWithError("smtp-sink is not available");
    for (auto _ : state) {
        double each = 0, kept = 0;
        if (!SmallTurn(false, figures.each, &each) || !SmallTurn(true, figures.kept, &kept))
            return state.SkipWithError("smtplib peer failed");
        figures.keptToEach.push_back(kept / each);
        state.SetIterationTime(kSmallMessages / kept);
    }
    state.counters["kept_TmsSMTP_msg_per_s"] = figures.kept.ours;
    state.counters["kept_smtplib_msg_per_s"] = figures.kept.smtplib;
    state.counters["each_TmsSMTP_msg_per_s"] = figures.each.ours;
    state.counters["each_smtplib_msg_per_s"] = figures.each.smtplib;
}
BENCHMARK(BM_SmallMessagesToSink_TmsSMTP_vs_smtplib)
    ->Iterations(kSmallTurns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Messages per second of kThreads senders at once, each sending
// kThreadMessages over its own kept connection; 0 when one failed.
template <class Sender>
double ThreadedRate(Sender send) {
    std::atomic<bool> ok{true};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            if (!send()) ok = false;
        });
    for (std::thread& thread : threads) thread.join();
    return ok ? kThreads * kThreadMessages / Seconds(start) : 0;
}

bool OursKeptPipelined() {
    try {
        TextMessage message;
        Client smtp(TheSink().Port());
        smtp.KeepOpen = true;
        smtp.Settings.useEsmtp = true;
        smtp.SetMailMessage(&message);
        for (int i = 0; i < kThreadMessages; ++i) {
            message.text = SmallText(i);
            smtp.Send();
        }
        smtp.CloseSession();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// smtplib's own way: EHLO, then sendmail over the kept connection.
double SmtplibThreadedRate() {
    const std::string script = std::string("import smtplib, sys, threading, time\n") +
                               kSmallTextPy +
                               "port, threads, n = (int(a) for a in sys.argv[1:4])\n"
                               "texts = [text(i) for i in range(n)]\n"
                               "def run():\n"
                               "    s = smtplib.SMTP('127.0.0.1', port)\n"
                               "    s.ehlo()\n"
                               "    for t in texts:\n"
                               "        s.sendmail('sender@example.test', "
                               "['rcpt@example.test'], t)\n"
                               "    s.quit()\n"
                               "workers = [threading.Thread(target=run) for _ in range(threads)]\n"
                               "start = time.perf_counter()\n"
                               "for w in workers: w.start()\n"
                               "for w in workers: w.join()\n"
                               "print(threads * n / (time.perf_counter() - start))\n";
    std::string out;
    if (!Folder().RunPython(script,
                            {std::to_string(TheSink().Port()), std::to_string(kThreads),
                             std::to_string(kThreadMessages)},
                            &out))
        return 0;
    return std::atof(out.c_str());
}

// Ours, smtplib's and the bare client's threads take turns; best of 2.
void BM_ThreadsToSink_TmsSMTP_vs_smtplib(benchmark::State& state) {
    if (TheSink().Port() == 0) return state.SkipWithError("smtp-sink is not available");
    Rates& r = figures.threads;
    for (auto _ : state) {
        const double ours = ThreadedRate(OursKeptPipelined);
        const double peer = SmtplibThreadedRate();
        if (ours <= 0 || peer <= 0) return state.SkipWithError("a sender failed");
        r.ours = std::max(r.ours, ours);
        r.smtplib = std::max(r.smtplib, peer);
        r.turnRatios.push_back(ours / peer);
        r.bare = std::max(r.bare, ThreadedRate([] { return BarePipelinedSends(kThreadMessages); }));
        state.SetIterationTime(kThreads * kThreadMessages / ours);
    }
    state.counters["TmsSMTP_msg_per_s"] = r.ours;
    state.counters["smtplib_msg_per_s"] = r.smtplib;
}
BENCHMARK(BM_ThreadsToSink_TmsSMTP_vs_smtplib)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Postfix's smtpd from tests/servers on a private instance for the whole run;
// its "discard" service takes a message and throws it away. Needs root.
class PostfixSmtpd {
public:
    PostfixSmtpd() {
        const std::string ready = (Folder().Path() / "postfix.ready").string();
        process_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/python3 " +
            PeerFolder::Quoted(std::string(QP_SOURCE_DIR) + "/tests/servers/esmtp_postfix.py") +
            " --lifetime 900 --ready-file " + PeerFolder::Quoted(ready));
        for (int i = 0; i < 300 && port_ == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            FILE* file = std::fopen(ready.c_str(), "r");
            if (file == nullptr) continue;
            char line[1024] = {};
            const char* got = std::fgets(line, sizeof line, file);
            std::fclose(file);
            if (const char* at = got ? std::strstr(line, " discard=") : nullptr)
                port_ = static_cast<std::uint16_t>(std::atoi(at + 9));
        }
        if (port_ != 0 && !Greets(port_)) port_ = 0;
    }
    std::uint16_t Port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    std::unique_ptr<BackgroundProcess> process_;
};

// Seconds to send the big message to Postfix by BDAT or (CHUNKING left
// out) by DATA; notes whether BDAT went out.
double PostfixBigSend(std::uint16_t port, bool chunking) {
    TextMessage message;
    message.text = BigText();
    Client smtp(port);
    smtp.Settings.useEsmtp = true;
    if (!chunking) smtp.Settings.disabledExtensions = {"CHUNKING"};
    bool bdat = false;
    smtp.OnLineSent = [&bdat](TagSocket&, const std::string& line) {
        bdat = bdat || line.starts_with("BDAT ");
    };
    smtp.SetMailMessage(&message);
    const auto start = Clock::now();
    smtp.Send();
    const double s = Seconds(start);
    if (chunking) figures.bdatUsed = bdat;
    return s;
}

// The bare client's send of the big message to Postfix: one BDAT chunk of
// the stored bytes (the same as DATA stores), or DATA; seconds, 0 on failure.
double BarePostfixBigSend(std::uint16_t port, bool chunking) {
    static const std::string stored = [] {
        std::string out;
        bool lineStart = true;
        for (char c : BigText()) {
            if (!(lineStart && c == '.')) out += c;
            lineStart = c == '\n';
        }
        return out + "\r\n";
    }();
    const auto start = Clock::now();
    BareSession session(port);
    bool ok = session.Open() && session.Replies(1) && session.Command("EHLO bench\r\n") &&
              session.Command(kEnvelope, 2);
    if (chunking)
        ok = ok && session.Command("BDAT " + std::to_string(stored.size()) + " LAST\r\n" + stored);
    else
        ok = ok && session.Command("DATA\r\n") && session.Command(BigText() + "\r\n.\r\n");
    ok = ok && session.Command("QUIT\r\n");
    return ok ? Seconds(start) : 0;
}

void BM_BigMessageToPostfix_Bdat_vs_Data(benchmark::State& state) {
    static PostfixSmtpd postfix;
    if (postfix.Port() == 0) return state.SkipWithError("Postfix's smtpd is not available");
    figures.bdatBig = figures.dataBig = figures.bareBdatBig = figures.bareDataBig = 1e9;
    for (auto _ : state) {
        const double bdat = PostfixBigSend(postfix.Port(), true);
        figures.bdatBig = std::min(figures.bdatBig, bdat);
        figures.dataBig = std::min(figures.dataBig, PostfixBigSend(postfix.Port(), false));
        figures.bareBdatBig =
            std::min(figures.bareBdatBig, BarePostfixBigSend(postfix.Port(), true));
        figures.bareDataBig =
            std::min(figures.bareDataBig, BarePostfixBigSend(postfix.Port(), false));
        state.SetIterationTime(bdat);
    }
    state.counters["data_ms"] = figures.dataBig * 1e3;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BigText().size()));
}
BENCHMARK(BM_BigMessageToPostfix_Bdat_vs_Data)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A server that accepts and then says nothing until the client gives up.
class SilentServer {
public:
    SilentServer()
        : thread_([this] {
              if (listener_.Accept(10000)) {
                  bool closed = false;
                  for (int i = 0; i < 200 && !closed; ++i) listener_.Receive(50, &closed);
              }
          }) {}
    ~SilentServer() { thread_.join(); }
    std::uint16_t Port() const { return listener_.Port(); }

private:
    platform::LoopbackListener listener_;
    std::thread thread_;
};

void BM_SilentServerWait5s_TmsSMTP(benchmark::State& state) {
    for (auto _ : state) {
        SilentServer server;
        TextMessage message;
        message.text = SmallText(0);
        Client smtp(server.Port());
        smtp.TimeOut = 5;
        smtp.SetMailMessage(&message);
        std::clock_t cpu = std::clock();
        auto start = Clock::now();
        try {
            smtp.Send();
        } catch (const ETimedOutError&) {
        }
        double wall = Seconds(start);
        // The server thread sleeps in its reads; nearly all CPU time is ours.
        figures.oursWaitCpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
        state.SetIterationTime(wall);
    }
    state.counters["cpu_s"] = figures.oursWaitCpu;
}
BENCHMARK(BM_SilentServerWait5s_TmsSMTP)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_SilentServerWait5s_PythonSocket(benchmark::State& state) {
    for (auto _ : state) {
        SilentServer server;
        std::string out;
        Folder().RunPython(
            "import socket, sys, time\n"
            "s = socket.create_connection(('127.0.0.1', int(sys.argv[1])))\n"
            "s.settimeout(5)\n"
            "c = time.process_time()\n"
            "try: s.recv(100)\n"
            "except OSError: pass\n"
            "print(time.process_time() - c)\n",
            {std::to_string(server.Port())}, &out);
        figures.pyWaitCpu = std::atof(out.c_str());
        state.SetIterationTime(5.0);
    }
    state.counters["cpu_s"] = figures.pyWaitCpu;
}
BENCHMARK(BM_SilentServerWait5s_PythonSocket)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Lowest, median and highest of per-turn ratios.
void PrintSpread(const char* what, std::vector<double> ratios) {
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    std::printf("    %s within each turn: lowest %.2f, median %.2f, highest %.2f\n", what,
                ratios.front(), ratios[ratios.size() / 2], ratios.back());
}

void PrintRates(const char* way, const Rates& r, double target) {
    std::printf(
        "  %d small messages, %s, best of %d turns: TmsSMTP %.0f msg/s, smtplib %.0f msg/s; "
        "ratio %.2f (target >= %.1f)\n",
        kSmallMessages, way, kSmallTurns, r.ours, r.smtplib, Ratio(r.ours, r.smtplib), target);
    PrintSpread("ratio", r.turnRatios);
    std::printf(
        "    bare blocking client, our dialogue, same turns: %.0f msg/s, ratio to smtplib %.2f "
        "(the "
        "machine's limit for ours); TmsSMTP at %.2f of it\n",
        r.bare, Ratio(r.bare, r.smtplib), Ratio(r.ours, r.bare));
    std::printf("    CPU per message: TmsSMTP %.0f us, smtplib %.0f us\n",
                r.oursCpu * 1e6 / kSmallMessages, r.smtplibCpu * 1e6 / kSmallMessages);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nSummary (same run, same loopback servers):\n");
    std::printf(
        "  10 MiB to smtp-sink, best of 3: TmsSMTP %.3f s, curl %.3f s; ratio %.2f"
        " (target <= 1.2)\n",
        figures.oursBig, figures.curlBig, Ratio(figures.oursBig, figures.curlBig));
    PrintRates("one connection each", figures.each, 1.4);
    PrintRates("over one kept connection", figures.kept, 1.5);
    std::printf(
        "    kept connection against one connection each: TmsSMTP %.2f (target >= 4); bare client "
        "%.2f (the machine's limit)\n",
        Ratio(figures.kept.ours, figures.each.ours), Ratio(figures.kept.bare, figures.each.bare));
    PrintSpread("kept / each", figures.keptToEach);
    PrintRates("over one kept EHLO connection, pipelined", figures.keptEsmtp, 2.0);
    std::printf("    kept EHLO against kept HELO: TmsSMTP %.2f (target >= 1.5)\n",
                Ratio(figures.keptEsmtp.ours, figures.kept.ours));
    PrintSpread("EHLO / HELO", figures.esmtpToHelo);
    const Rates& t = figures.threads;
    std::printf(
        "  %d threads x %d small messages over kept connections, best of 2: TmsSMTP (EHLO, "
        "pipelined) %.0f msg/s, smtplib %.0f msg/s; ratio %.2f\n"
        "    bare pipelined clients on as many threads: %.0f msg/s (the machine's limit); TmsSMTP "
        "at %.2f of it\n",
        kThreads, kThreadMessages, t.ours, t.smtplib, Ratio(t.ours, t.smtplib), t.bare,
        Ratio(t.ours, t.bare));
    PrintSpread("ratio", t.turnRatios);
    std::printf(
        "  10 MiB to Postfix's smtpd (discarding), best of 5: BDAT %.3f s%s, DATA %.3f s; DATA "
        "time / BDAT time %.2f\n",
        figures.bdatBig, figures.bdatUsed ? "" : " (BDAT not used: not offered or not built)",
        figures.dataBig, Ratio(figures.dataBig, figures.bdatBig));
    std::printf(
        "    bare blocking client, one BDAT chunk: %.3f s, DATA %.3f s; DATA time / BDAT time %.2f "
        "(the server's own difference)\n",
        figures.bareBdatBig, figures.bareDataBig, Ratio(figures.bareDataBig, figures.bareBdatBig));
    std::printf(
        "  10 MiB over STARTTLS to aiosmtpd, best of 5 turns: TmsSMTP %.3f s, curl --ssl-reqd "
        "%.3f s; ratio %.2f (target <= 1.2)\n",
        figures.oursTlsBig, figures.curlTlsBig, Ratio(figures.oursTlsBig, figures.curlTlsBig));
    std::printf(
        "  a small message over a new STARTTLS session to aiosmtpd, mean of %d: TmsSMTP %.2f ms, "
        "%.0f%% of it setting the session up, %.0f%% STARTTLS and the handshake; smtplib %.2f ms, "
        "%.0f%%, %.0f%%\n",
        kTlsMessages, figures.oursTlsSend * 1e3,
        100 * Ratio(figures.oursTlsSetUp, figures.oursTlsSend),
        100 * Ratio(figures.oursTlsHandshake, figures.oursTlsSend), figures.smtplibTlsSend * 1e3,
        100 * Ratio(figures.smtplibTlsSetUp, figures.smtplibTlsSend),
        100 * Ratio(figures.smtplibTlsHandshake, figures.smtplibTlsSend));
    std::printf("    the same over one kept STARTTLS session: TmsSMTP %.2f ms per message\n",
                figures.oursTlsKept * 1e3);
    std::printf(
        "  CPU while waiting 5 s on a silent server: TmsSMTP %.3f s, python socket %.3f s"
        " (target < 0.1 s)\n",
        figures.oursWaitCpu, figures.pyWaitCpu);
    // Rates over rates, so above 1 is ours ahead. The small-message ratios
    // are the median of each turn's: the sides of one turn share the
    // machine's moment, while two sides' best turns may not.
    std::printf("ratio kept_vs_smtplib %.2f\n", Median(figures.keptEsmtp.turnRatios));
    std::printf("ratio kept_esmtp_vs_kept_helo %.2f\n", Median(figures.esmtpToHelo));
    std::printf("ratio kept_esmtp_vs_bare_pipelined %.2f\n",
                Ratio(figures.keptEsmtp.ours, figures.keptEsmtp.bare));
    std::printf("ratio threads_vs_smtplib %.2f\n", Median(t.turnRatios));
    std::printf("ratio threads_vs_bare_pipelined %.2f\n", Ratio(t.ours, t.bare));
    std::printf("ratio bdat_vs_data %.2f\n", Ratio(figures.dataBig, figures.bdatBig));
    std::printf("ratio bdat_vs_data_bare %.2f\n", Ratio(figures.bareDataBig, figures.bareBdatBig));
    return 0;
}
