// Throughput of the base64 and quoted-printable codecs.
//
// First a few MiB beside Debian python3's own codecs (binascii, in C) on the
// same bytes. Then the attachment case on 64 MiB: base64 of random bytes into
// 76-character lines and quoted-printable of text, beside GMime's encoders in
// the same process and coreutils `base64 -w 76` as a child process. Ours,
// GMime and python3 count CPU time, as the machine may be shared; the child
// is timed by its wall time (and its user+sys time is shown beside it).
#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "encoding/base64.h"
#include "encoding/quoted_printable.h"
#include "peer_runner.h"

namespace {

using namespace quillpost;

constexpr std::size_t kDataSize = 4 * 1024 * 1024;
constexpr std::size_t kLargeSize = 64 * 1024 * 1024;

// Attachment-like binary bytes.
std::string MakeBinary(std::size_t size) {
    std::mt19937 gen(1);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Body-like text: CR LF lines of mostly printable text, some long lines,
// some "=" and bytes above 127.
std::string MakeText(std::size_t size) {
    std::mt19937 gen(2);
    const std::string words[] = {"the ",
                                 "mail ",
                                 "quoted ",
                                 "x=1 ",
                                 "caf\xe9 ",
                                 "printable ",
                                 "\t",
                                 "stra\xdf"
                                 "e "};
    std::string s;
    s.reserve(size + 1024);
    while (s.size() < size) {
        const std::size_t len = gen() % 5 == 0 ? 300 + gen() % 500 : 20 + gen() % 60;
        const std::size_t start = s.size();
        while (s.size() - start < len) s += words[gen() % std::size(words)];
        s += "\r\n";
    }
    return s;
}

const std::string& BinaryData() {
    static const std::string data = MakeBinary(kDataSize);
    return data;
}
const std::string& TextData() {
    static const std::string data = MakeText(kDataSize);
    return data;
}
const std::string& LargeBinary() {
    static const std::string data = MakeBinary(kLargeSize);
    return data;
}
const std::string& LargeText() {
    static const std::string data = MakeText(kLargeSize);
    return data;
}

// Input bytes per second of CPU time in decimal units (the summary's MB/s),
// and the output size.
void SetCounters(benchmark::State& state, std::size_t in, std::size_t out) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in));
    state.counters["input/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(in),
                           benchmark::Counter::kIsRate);
    state.counters["out_bytes"] = static_cast<double>(out);
}

void BM_Base64Encode(benchmark::State& state) {
    const std::string& data = BinaryData();
    std::string out(Base64LineEncoder::TotalMaxOutput(data.size()), '\0');
    for (auto _ : state) {
        Base64LineEncoder encoder;
        std::size_t n = encoder.Step(data.data(), data.size(), out.data());
        n += encoder.Finish(out.data() + n);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// The message decoder's way: one 76-character line at a time.
void BM_Base64DecodeLines(benchmark::State& state) {
    const std::string& data = BinaryData();
    const std::string text = EncodeBase64Lines(data);
    std::string out(data.size() + 64, '\0');
    for (auto _ : state) {
        std::size_t written = 0;
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t eol = text.find('\r', pos);
            written += DecodeBase64Block(std::string_view(text).substr(pos, eol - pos),
                                         out.data() + written);
            pos = eol + 2;
        }
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// The encoded text of Data, CR LF lines.
void EncodeQP(const std::string& data, std::string& out) {
    QuotedPrintableLineEncoder encoder;
    out.resize(QuotedPrintableLineEncoder::TotalMaxOutput(data.size()));
    std::size_t n = encoder.Step(data.data(), data.size(), out.data());
    n += encoder.Finish(out.data() + n);
    out.resize(n);
}

void BM_QuotedPrintableEncode(benchmark::State& state) {
    const std::string& data = TextData();
    std::string out;
    for (auto _ : state) {
        EncodeQP(data, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_QuotedPrintableDecode(benchmark::State& state) {
    const std::string& data = TextData();
    std::string encoded;
    EncodeQP(data, encoded);
    StringVector lines;
    for (std::size_t start = 0; start < encoded.size();) {
        const std::size_t end = encoded.find("\r\n", start);
        lines.push_back(encoded.substr(start, end - start));
        start = end + 2;
    }
    for (auto _ : state) {
        TMemoryStream out;
        TQuotedPrintable(out, lines).Decode();
        benchmark::DoNotOptimize(out.Bytes().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64DecodeLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotedPrintableEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotedPrintableDecode)->Unit(benchmark::kMillisecond);

// The 64 MiB attachment case. Every side gets the whole input in one call
// and writes into a buffer allocated beforehand, so only encoding is timed.

// Ours: 76 characters and CR LF per line.
void BM_Large_Base64_Ours(benchmark::State& state) {
    const std::string& data = LargeBinary();
    std::string out(Base64LineEncoder::TotalMaxOutput(data.size()), '\0');
    std::size_t n = 0;
    for (auto _ : state) {
        Base64LineEncoder encoder;
        n = encoder.Step(data.data(), data.size(), out.data());
        n += encoder.Finish(out.data() + n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, data.size(), n);
}

// GMime writes 76 characters and a bare LF per line; its own output is counted.
void BM_Large_Base64_GMime(benchmark::State& state) {
    const std::string& data = LargeBinary();
    GMimeEncoding encoding;
    g_mime_encoding_init_encode(&encoding, GMIME_CONTENT_ENCODING_BASE64);
    std::string out(g_mime_encoding_outlen(&encoding, data.size()), '\0');
    std::size_t n = 0;
    for (auto _ : state) {
        g_mime_encoding_reset(&encoding);
        n = g_mime_encoding_flush(&encoding, data.data(), data.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, data.size(), n);
}

// Ours: the whole text in one step into a buffer allocated beforehand, CR LF
// lines, as the composer writes them.
void BM_Large_QuotedPrintable_Ours(benchmark::State& state) {
    const std::string& data = LargeText();
    std::string out(QuotedPrintableLineEncoder::TotalMaxOutput(data.size()), '\0');
    std::size_t n = 0;
    for (auto _ : state) {
        QuotedPrintableLineEncoder encoder;
        n = encoder.Step(data.data(), data.size(), out.data());
        n += encoder.Finish(out.data() + n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, data.size(), n);
}

void BM_Large_QuotedPrintable_GMime(benchmark::State& state) {
    const std::string& data = LargeText();
    GMimeEncoding encoding;
    g_mime_encoding_init_encode(&encoding, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    std::string out(g_mime_encoding_outlen(&encoding, data.size()), '\0');
    std::size_t n = 0;
    for (auto _ : state) {
        g_mime_encoding_reset(&encoding);
        n = g_mime_encoding_flush(&encoding, data.data(), data.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, data.size(), n);
}

BENCHMARK(BM_Large_Base64_Ours)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Large_Base64_GMime)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Large_QuotedPrintable_Ours)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Large_QuotedPrintable_GMime)->Unit(benchmark::kMillisecond)->MinTime(2);

// Keeps the MB/s of every run for the summary after the table.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            const auto it = run.counters.find("input/s");
            if (it != run.counters.end())
                rates[run.run_name.function_name] = it->second.value / 1e6;
        }
        ConsoleReporter::ReportRuns(reports);
    }
    std::map<std::string, double> rates;
};

constexpr const char* kPeerScript = R"PY(
import base64, binascii, quopri, sys, time
binary = open(sys.argv[1], "rb").read()
text = open(sys.argv[2], "rb").read()
def best(f, *a):
    t = min(_timed(f, *a) for _ in range(5))
    return t
def _timed(f, *a):
    s = time.process_time(); f(*a); return time.process_time() - s
mb = lambda n, t: n / t / 1048576
enc = base64.encodebytes(binary)
lines = enc.split(b"\n")
qp = quopri.encodestring(text)
print("python3 base64.encodebytes          %8.1f MiB/s" % mb(len(binary), best(base64.encodebytes, binary)))
print("python3 binascii.a2b_base64 per line %8.1f MiB/s" % mb(len(binary), best(lambda: [binascii.a2b_base64(l) for l in lines])))
print("python3 base64.decodebytes (whole)  %8.1f MiB/s" % mb(len(binary), best(base64.decodebytes, enc)))
print("python3 quopri.encodestring         %8.1f MiB/s" % mb(len(text), best(quopri.encodestring, text)))
print("python3 quopri.decodestring         %8.1f MiB/s" % mb(len(text), best(quopri.decodestring, qp)))
)PY";

void RunPeer() {
    quillpost::bench::PeerFolder folder("codec_bench");
    std::cout << "\nPeer, CPU time, on the same data (" << kDataSize / (1024 * 1024)
              << " MiB binary, " << TextData().size() << " bytes of text):\n"
              << std::flush;
    if (!folder.RunPython(kPeerScript,
                          {folder.Write("binary", BinaryData()), folder.Write("text", TextData())}))
        std::cout << "python3 peer did not run\n";
}

struct ChildTimes {
    double wall = 0;  // seconds
    double cpu = 0;   // user + sys seconds
    bool ok = false;
};

// Runs coreutils base64 over a file written beforehand, output to /dev/null;
// bash's time keyword reports the child's wall and user+sys seconds. The best
// of a few runs after one warm-up run (file in the page cache).
ChildTimes TimeCoreutilsBase64(const std::filesystem::path& input,
                               const std::filesystem::path& times) {
    const std::string command =
        "/bin/bash -c 'TIMEFORMAT=\"%3R %3U %3S\"; "
        "{ time /usr/bin/base64 -w 76 \"" +
        input.string() + "\" >/dev/null; } 2>\"" + times.string() + "\"'";
    ChildTimes best;
    for (int run = 0; run < 4; ++run) {
        if (std::system(command.c_str()) != 0) return best;
        std::ifstream f(times);
        double real = 0, user = 0, sys = 0;
        if (!(f >> real >> user >> sys)) return best;
        if (run == 0) continue;
        if (!best.ok || real < best.wall) best.wall = real;
        if (!best.ok || user + sys < best.cpu) best.cpu = user + sys;
        best.ok = true;
    }
    return best;
}

void PrintRate(const std::string& who, double rate) {
    std::cout << "  " << std::left << std::setw(44) << who << std::right << std::fixed
              << std::setprecision(1) << std::setw(9) << rate << " MB/s\n";
}

void RunLargePeersAndSummary(const std::map<std::string, double>& rates) {
    ChildTimes child;
    {
        quillpost::bench::PeerFolder folder("codec_bench");
        child = TimeCoreutilsBase64(folder.Write("large_binary", LargeBinary()),
                                    folder.Path() / "times");
    }

    auto rate = [&rates](const std::string& name) {
        const auto it = rates.find(name);
        return it == rates.end() ? 0.0 : it->second;
    };
    const double mb = static_cast<double>(kLargeSize) / 1e6;
    const double ours64 = rate("BM_Large_Base64_Ours");
    const double gmime64 = rate("BM_Large_Base64_GMime");
    const double coreWall = child.ok && child.wall > 0 ? mb / child.wall : 0.0;
    const double coreCpu = child.ok && child.cpu > 0 ? mb / child.cpu : 0.0;
    const double oursQP = rate("BM_Large_QuotedPrintable_Ours");
    const double gmimeQP = rate("BM_Large_QuotedPrintable_GMime");

    std::cout << "\n64 MiB (" << kLargeSize << " bytes) in, MB = 10^6 bytes of input:\n"
              << "base64, 76-character lines of random bytes\n";
    PrintRate("ours (CR LF lines, CPU time)", ours64);
    PrintRate("GMime (LF lines, CPU time)", gmime64);
    if (child.ok) {
        PrintRate("coreutils base64 -w 76 (LF, child wall time)", coreWall);
        PrintRate("coreutils base64 -w 76 (child user+sys)", coreCpu);
    } else {
        std::cout << "  coreutils base64 did not run\n";
    }
    const double faster = std::max(gmime64, coreWall);
    std::cout << "  target, at least the faster of GMime and coreutils (wall): "
              << (ours64 >= faster ? "met" : "MISSED") << "\n";
    std::cout << "quoted-printable of " << LargeText().size() << " bytes of text\n";
    PrintRate("ours (CR LF lines into a buffer, CPU time)", oursQP);
    PrintRate("GMime (CPU time)", gmimeQP);
    std::cout << "  target, at least GMime: " << (oursQP >= gmimeQP ? "met" : "MISSED") << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    g_mime_init();
    std::cout
        << "quillpost codecs (CPU time; bytes_per_second in MiB/s or GiB/s of unencoded bytes):\n"
        << std::flush;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    RunPeer();
    RunLargePeersAndSummary(reporter.rates);
    g_mime_shutdown();
    return 0;
}
