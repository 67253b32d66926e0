// Throughput of the uuencode line codec, the line stream and the temporary
// file stream, beside Debian's python3 doing the same work in the same run
// (binascii for the codec, bytes.splitlines for the lines, a tempfile for the
// file round trip).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "encoding/line_stream.h"
#include "encoding/temp_file_stream.h"
#include "encoding/uucode.h"
#include "peer_runner.h"

namespace {

using namespace quillpost;

constexpr std::size_t kDataSize = 8 << 20;

const std::string& Data() {
    static const std::string data = [] {
        std::mt19937 rng(1);
        std::string s(kDataSize, '\0');
        for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
        return s;
    }();
    return data;
}

const std::vector<std::string>& EncodedLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> v;
        for (std::size_t i = 0; i < Data().size(); i += 45)
            v.push_back(EncodeUULine(std::string_view(Data()).substr(i, 45)));
        return v;
    }();
    return lines;
}

// Mail-like text: 76-character lines ending in CR LF.
const std::string& Text() {
    static const std::string text = [] {
        std::string t;
        while (t.size() < kDataSize) t += std::string(76, 'm') + "\r\n";
        return t;
    }();
    return text;
}

void EncodeUU(benchmark::State& state) {
    std::string_view data = Data();
    for (auto _ : state) {
        std::size_t total = 0;
        for (std::size_t i = 0; i < data.size(); i += 45)
            total += EncodeUULine(data.substr(i, 45)).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void DecodeUU(benchmark::State& state) {
    const auto& lines = EncodedLines();
    for (auto _ : state) {
        std::size_t total = 0;
        for (const auto& line : lines) total += DecodeUULine(line).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().size()));
}

void LineStreamRead(benchmark::State& state) {
    TMemoryStream source;
    source.Assign(Text());
    TLineStream lines(source);
    std::string line;
    for (auto _ : state) {
        lines.Reset();
        std::size_t count = 0;
        for (lines.NextLine(line); !lines.AtEnd(); lines.NextLine(line)) ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}

// Written line by line as the composer does, read back in the socket's blocks.
void TempFileRoundTrip(benchmark::State& state) {
    const std::string line = std::string(76, 't') + "\r\n";
    const std::size_t lines = kDataSize / line.size();
    for (auto _ : state) {
        TTempFileStream s;
        for (std::size_t i = 0; i < lines; ++i) s.WriteText(line);
        s.SetPosition(0);
        char block[2047];
        std::size_t total = 0;
        while (std::size_t n = s.Read(block, sizeof block)) total += n;
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * lines * line.size()));
}

BENCHMARK(EncodeUU)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeUU)->Unit(benchmark::kMillisecond);
BENCHMARK(LineStreamRead)->Unit(benchmark::kMillisecond);
BENCHMARK(TempFileRoundTrip)->Unit(benchmark::kMillisecond);

const char* kPeer = R"PY(
import binascii, os, random, tempfile, time
N = 8 << 20
random.seed(1)
data = random.randbytes(N)
text = (b'm' * 76 + b'\r\n') * (N // 78 + 1)
def best(f, reps=3):
    t = []
    for _ in range(reps):
        s = time.perf_counter(); f(); t.append(time.perf_counter() - s)
    return min(t)
def enc():
    b2a = binascii.b2a_uu
    return [b2a(data[i:i+45], backtick=True) for i in range(0, N, 45)]
lines = enc()
def dec():
    a2b = binascii.a2b_uu
    return [a2b(l) for l in lines]
def split():
    return text.splitlines()
def tmp():
    line = b't' * 76 + b'\r\n'
    with tempfile.TemporaryFile(prefix='ms') as f:
        for _ in range(N // 78): f.write(line)
        f.seek(0)
        while f.read(2047): pass
for name, f, size in (('EncodeUU', enc, N), ('DecodeUU', dec, N), ('LineStreamRead (bytes.splitlines)', split, len(text)), ('TempFileRoundTrip', tmp, N // 78 * 78)):
    t = best(f)
    print('peer python3 %-34s %8.1f ms %8.1f MB/s' % (name, t * 1e3, size / t / 1e6))
)PY";

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::fflush(stdout);
    std::printf("\nPeer (Debian's python3, same data sizes, best of 3):\n");
    if (!quillpost::bench::PeerFolder("streams_bench").RunPython(kPeer, {}))
        std::printf("peer did not run\n");
    return 0;
}
