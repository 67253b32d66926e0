// The SMTP client against peers on the same loopback servers in the same run:
//  - a 10 MiB message to Postfix's smtp-sink, beside curl uploading the same
//    composed file to the same sink (wall time, best of 3);
//  - 500 small messages, one connection each, beside Python's smtplib sending
//    the same texts to the same sink, taking turns (messages per second);
//    A bare client (plain blocking calls, no temporary file, no events, no
//    time-outs) runs the same dialogue in the same turns: what the machine
//    allows any client, the scale against which the other two are read;
//  - CPU time spent waiting 5 s for a server that never answers, beside a
//    Python socket waiting the same 5 s.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "message/message.h"
#include "platform/loopback_listener.h"
#include "smtp/smtp_client.h"
#include "util/errors.h"

namespace {

using namespace quillpost;
using Clock = std::chrono::steady_clock;

constexpr int kSmallMessages = 500;
constexpr int kSmallTurns = 9;
constexpr std::size_t kBigSize = 10 * 1024 * 1024;

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
    Client() {
        SetWinsockLoaded(true);
        TimeOut = 30;
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

std::string SmallText(int i) {
    return "From: sender@example.test\r\nTo: rcpt@example.test\r\nSubject: small " +
           std::to_string(i) + "\r\n\r\nA short message, number " + std::to_string(i) + ".\r\n";
}

std::filesystem::path WorkDir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "qp_smtp_bench";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

// Runs Command and returns its first line of output.
std::string FirstLine(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    char buffer[256] = {};
    std::string line = std::fgets(buffer, sizeof buffer, pipe) != nullptr ? buffer : "";
    pclose(pipe);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

std::uint16_t FreePort() {
    platform::LoopbackListener probe;
    return probe.Port();
}

// Postfix's smtp-sink on a free loopback port for the whole run.
class Sink {
public:
    Sink() {
        if (!std::filesystem::exists("/usr/sbin/smtp-sink")) return;
        port_ = FreePort();
        pid_ = FirstLine("sh -c 'timeout 600 /usr/sbin/smtp-sink -u nobody 127.0.0.1:" +
                         std::to_string(port_) + " 256 >/dev/null 2>&1 & echo $!'");
        // Ready once it answers.
        for (int i = 0; i < 100; ++i) {
            if (FirstLine("/usr/bin/python3 -c \"import socket; s=socket.create_connection(("
                          "'127.0.0.1'," +
                          std::to_string(port_) + ")); print(s.recv(100)[:3].decode())\" 2>&1") ==
                "220")
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        port_ = 0;
    }
    ~Sink() {
        if (!pid_.empty()) std::system(("kill " + pid_ + " 2>/dev/null").c_str());
    }
    std::uint16_t Port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    std::string pid_;
};

Sink& TheSink() {
    static Sink sink;
    return sink;
}

struct Figures {
    double oursBig = 0, curlBig = 0;       // seconds, best of 3
    double oursRate = 0, smtplibRate = 0;  // messages per second, best turn
    std::vector<double> turnRatios;        // ours / smtplib within each turn
    double bareRate = 0;                   // the bare client, best turn
    double oursCpuPerMessage = 0, smtplibCpuPerMessage = 0;
    double oursWaitCpu = -1, pyWaitCpu = -1;  // CPU seconds over the 5 s wait
} figures;

void BM_BigMessageToSink_TmsSMTP(benchmark::State& state) {
    if (TheSink().Port() == 0) return state.SkipWithError("smtp-sink is not available");
    double best = 1e9;
    for (auto _ : state) {
        TextMessage message;
        message.text = BigText();
        Client smtp;
        smtp.Server = "127.0.0.1:" + std::to_string(TheSink().Port());
        smtp.SetMailMessage(&message);
        auto start = Clock::now();
        smtp.Send();
        double s = std::chrono::duration<double>(Clock::now() - start).count();
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
    auto file = WorkDir() / "big.eml";
    WriteFile(file, BigText());
    const std::string command =
        "curl -s -S --url smtp://127.0.0.1:" + std::to_string(TheSink().Port()) +
        " --mail-from sender@example.test --mail-rcpt rcpt@example.test"
        " --upload-file '" +
        file.string() + "'";
    double best = 1e9;
    for (auto _ : state) {
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0) return state.SkipWithError("curl failed");
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(s);
        best = std::min(best, s);
    }
    figures.curlBig = best;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BigText().size()));
}
BENCHMARK(BM_BigMessageToSink_Curl)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Messages per second over N one-connection sends, and CPU seconds used.
double OursSmallRate(double* cpuSeconds) {
    std::clock_t cpu = std::clock();
    auto start = Clock::now();
    for (int i = 0; i < kSmallMessages; ++i) {
        TextMessage message;
        message.text = SmallText(i);
        Client smtp;  // one client and one connection per message, as SendMail does
        smtp.Server = "127.0.0.1:" + std::to_string(TheSink().Port());
        smtp.SetMailMessage(&message);
        smtp.Send();
    }
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    *cpuSeconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    return kSmallMessages / s;
}

double SmtplibSmallRate(double* cpuSeconds) {
    auto script = WorkDir() / "small.py";
    WriteFile(
        script,
        "import smtplib, sys, time\n"
        "port = int(sys.argv[1]); n = int(sys.argv[2])\n"
        "def text(i):\n"
        "    return ('From: sender@example.test\\r\\nTo: rcpt@example.test\\r\\n'\n"
        "            'Subject: small %d\\r\\n\\r\\nA short message, number %d.\\r\\n' % (i, i))\n"
        "texts = [text(i).encode() for i in range(n)]\n"
        "t = time.perf_counter(); c = time.process_time()\n"
        "for i in range(n):\n"
        "    s = smtplib.SMTP('127.0.0.1', port)\n"
        "    s.helo()\n"
        "    s.sendmail('sender@example.test', ['rcpt@example.test'], texts[i])\n"
        "    s.quit()\n"
        "print(n / (time.perf_counter() - t), time.process_time() - c)\n");
    FILE* pipe = popen(("/usr/bin/python3 '" + script.string() + "' " +
                        std::to_string(TheSink().Port()) + " " + std::to_string(kSmallMessages))
                           .c_str(),
                       "r");
    double rate = 0;
    if (pipe == nullptr) return 0;
    if (std::fscanf(pipe, "%lf %lf", &rate, cpuSeconds) != 2) rate = 0;
    pclose(pipe);
    return rate;
}

// The dialogue and nothing else, over blocking calls.
double BareClientRate() {
    auto start = Clock::now();
    for (int i = 0; i < kSmallMessages; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(TheSink().Port());
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // A reply is complete once what has arrived ends in a line end.
        auto reply = [fd] {
            std::string got;
            char buffer[4096];
            while (got.size() < 2 || got.compare(got.size() - 2, 2, "\r\n") != 0) {
                ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) return false;
                got.append(buffer, static_cast<std::size_t>(n));
            }
            return got[0] == '2' || got[0] == '3';
        };
        auto command = [&](const std::string& line) {
            return ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(line.size()) &&
                   reply();
        };
        bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
                  reply() && command("HELO bench\r\n") &&
                  command("MAIL FROM:<sender@example.test>\r\n") &&
                  command("RCPT TO:<rcpt@example.test>\r\n") && command("DATA\r\n") &&
                  command(SmallText(i) + "\r\n.\r\n") && command("QUIT\r\n");
        if (fd >= 0) ::close(fd);
        if (!ok) return 0;
    }
    return kSmallMessages / std::chrono::duration<double>(Clock::now() - start).count();
}

// The sides take turns, so a busy moment of the machine is shared out;
// each side's best turn is its figure.
void BM_SmallMessagesToSink_TmsSMTP_vs_smtplib(benchmark::State& state) {
    if (TheSink().Port() == 0) return state.SkipWithError("smtp-sink is not available");
    double oursCpu = 1e9, peerCpu = 1e9;
    for (auto _ : state) {
        double cpu = 0;
        double ours = OursSmallRate(&cpu);
        figures.oursRate = std::max(figures.oursRate, ours);
        oursCpu = std::min(oursCpu, cpu);
        double peer = SmtplibSmallRate(&cpu);
        if (peer <= 0) return state.SkipWithError("smtplib peer failed");
        figures.smtplibRate = std::max(figures.smtplibRate, peer);
        figures.turnRatios.push_back(ours / peer);
        figures.bareRate = std::max(figures.bareRate, BareClientRate());
        peerCpu = std::min(peerCpu, cpu);
        state.SetIterationTime(kSmallMessages / ours);
    }
    state.counters["TmsSMTP_msg_per_s"] = figures.oursRate;
    state.counters["smtplib_msg_per_s"] = figures.smtplibRate;
    state.counters["bare_msg_per_s"] = figures.bareRate;
    state.counters["TmsSMTP_cpu_us_per_msg"] = oursCpu * 1e6 / kSmallMessages;
    state.counters["smtplib_cpu_us_per_msg"] = peerCpu * 1e6 / kSmallMessages;
    figures.oursCpuPerMessage = oursCpu / kSmallMessages;
    figures.smtplibCpuPerMessage = peerCpu / kSmallMessages;
}
BENCHMARK(BM_SmallMessagesToSink_TmsSMTP_vs_smtplib)
    ->Iterations(kSmallTurns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A server that accepts and then says nothing until the client gives up.
void BM_SilentServerWait5s_TmsSMTP(benchmark::State& state) {
    for (auto _ : state) {
        platform::LoopbackListener listener;
        std::thread server([&] {
            if (listener.Accept(10000)) {
                bool closed = false;
                for (int i = 0; i < 200 && !closed; ++i) listener.Receive(50, &closed);
            }
        });
        TextMessage message;
        message.text = SmallText(0);
        Client smtp;
        smtp.TimeOut = 5;
        smtp.Server = "127.0.0.1:" + std::to_string(listener.Port());
        smtp.SetMailMessage(&message);
        std::clock_t cpu = std::clock();
        auto start = Clock::now();
        try {
            smtp.Send();
        } catch (const ETimedOutError&) {
        }
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        // The server thread sleeps in its reads; nearly all CPU time is ours.
        figures.oursWaitCpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
        state.SetIterationTime(wall);
        server.join();
    }
    state.counters["cpu_s"] = figures.oursWaitCpu;
}
BENCHMARK(BM_SilentServerWait5s_TmsSMTP)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_SilentServerWait5s_PythonSocket(benchmark::State& state) {
    for (auto _ : state) {
        platform::LoopbackListener listener;
        std::thread server([&] {
            if (listener.Accept(10000)) {
                bool closed = false;
                for (int i = 0; i < 200 && !closed; ++i) listener.Receive(50, &closed);
            }
        });
        std::string out = FirstLine(
            "/usr/bin/python3 -c \"import socket,time\n"
            "s=socket.create_connection(('127.0.0.1'," +
            std::to_string(listener.Port()) +
            "))\n"
            "s.settimeout(5)\n"
            "c=time.process_time()\n"
            "try: s.recv(100)\n"
            "except OSError: pass\n"
            "print(time.process_time()-c)\"");
        figures.pyWaitCpu = std::atof(out.c_str());
        state.SetIterationTime(5.0);
        server.join();
    }
    state.counters["cpu_s"] = figures.pyWaitCpu;
}
BENCHMARK(BM_SilentServerWait5s_PythonSocket)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

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
        figures.oursBig, figures.curlBig,
        figures.curlBig > 0 ? figures.oursBig / figures.curlBig : 0.0);
    std::printf(
        "  %d small messages, one connection each, best of %d turns: TmsSMTP %.0f msg/s, smtplib "
        "%.0f msg/s; ratio %.2f (target >= 1.4)\n",
        kSmallMessages, kSmallTurns, figures.oursRate, figures.smtplibRate,
        figures.smtplibRate > 0 ? figures.oursRate / figures.smtplibRate : 0.0);
    if (!figures.turnRatios.empty()) {
        auto ratios = figures.turnRatios;
        std::sort(ratios.begin(), ratios.end());
        std::printf("    ratio within each turn: lowest %.2f, median %.2f, highest %.2f\n",
                    ratios.front(), ratios[ratios.size() / 2], ratios.back());
    }
    std::printf(
        "    bare blocking client, same dialogue, same turns: %.0f msg/s; ratio to smtplib %.2f\n",
        figures.bareRate, figures.smtplibRate > 0 ? figures.bareRate / figures.smtplibRate : 0.0);
    std::printf("    CPU per message: TmsSMTP %.0f us, smtplib %.0f us\n",
                figures.oursCpuPerMessage * 1e6, figures.smtplibCpuPerMessage * 1e6);
    std::printf(
        "  CPU while waiting 5 s on a silent server: TmsSMTP %.3f s, python socket %.3f s"
        " (target < 0.1 s)\n",
        figures.oursWaitCpu, figures.pyWaitCpu);
    std::filesystem::remove_all(WorkDir());
    return 0;
}
