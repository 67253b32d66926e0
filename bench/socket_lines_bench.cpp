// Reading reply lines over loopback: the socket component's ReadLine against
// Python's buffered socket reader (socket.makefile().readline()), both fed
// the same lines by the same in-process server in the same run; each side
// times its read loop only.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "net/socket.h"
#include "peer_runner.h"
#include "platform/loopback_listener.h"

namespace {

constexpr int kLines = 20000;

const std::string& Payload() {
    static const std::string payload = [] {
        std::string s;
        for (int i = 0; i < kLines; ++i)
            s += "250-mail.example.test reply line number " + std::to_string(i) +
                 " with some text\r\n";
        return s;
    }();
    return payload;
}

// Serves the payload once to the next connection, then closes.
std::thread Serve(quillpost::platform::LoopbackListener& listener) {
    return std::thread([&listener] {
        if (listener.Accept(10000)) {
            listener.Send(Payload());
            listener.CloseConnection();
        }
    });
}

class Reader : public quillpost::TagSocket {
public:
    Reader() { SetWinsockLoaded(true); }
    ~Reader() override { Close(); }

protected:
    void HandleLine(const std::string&) override {}
};

void BM_TagSocketReadLine(benchmark::State& state) {
    for (auto _ : state) {
        quillpost::platform::LoopbackListener listener;
        std::thread server = Serve(listener);
        Reader socket;
        socket.Server = "127.0.0.1:" + std::to_string(listener.Port());
        socket.Connect();
        socket.EstablishConnection();
        std::string line;
        int lines = 0;
        auto start = std::chrono::steady_clock::now();
        for (;;) {
            socket.ReadLine(line);
            if (line.empty()) break;
            ++lines;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        server.join();
        if (lines != kLines) state.SkipWithError("lines lost");
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Payload().size()));
}
BENCHMARK(BM_TagSocketReadLine)->UseManualTime()->Unit(benchmark::kMillisecond);

// The peer: Debian's python3 connects and reads the lines; it times only its
// read loop, which is what it reports back.
void BM_Python3Readline(benchmark::State& state) {
    for (auto _ : state) {
        quillpost::platform::LoopbackListener listener;
        std::thread server = Serve(listener);
        std::string out;
        quillpost::bench::PeerFolder("socket_lines_bench")
            .RunPython(
                "import socket, sys, time\n"
                "s = socket.create_connection(('127.0.0.1', int(sys.argv[1])))\n"
                "f = s.makefile('rb')\n"
                "t = time.perf_counter(); n = 0\n"
                "while f.readline(): n += 1\n"
                "print(time.perf_counter() - t, n)\n",
                {std::to_string(listener.Port())}, &out);
        double seconds = 0;
        int lines = 0;
        if (std::sscanf(out.c_str(), "%lf %d", &seconds, &lines) != 2)
            state.SkipWithError("python3");
        server.join();
        if (lines != kLines) state.SkipWithError("lines lost");
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Payload().size()));
}
BENCHMARK(BM_Python3Readline)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
