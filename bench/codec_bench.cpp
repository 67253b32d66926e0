// Throughput of the base64 and quoted-printable codecs on a few MiB, beside
// Debian python3's own codecs (binascii, in C) on the same bytes in the same
// run. Both sides count CPU time, as the machine may be shared.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>

#include "encoding/base64.h"
#include "encoding/quoted_printable.h"

namespace {

using namespace quillpost;

constexpr std::size_t kDataSize = 4 * 1024 * 1024;

// Attachment-like binary bytes.
const std::string& BinaryData() {
    static const std::string data = [] {
        std::mt19937 gen(1);
        std::string s(kDataSize, '\0');
        for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
        return s;
    }();
    return data;
}

// Body-like text: CR LF lines of mostly printable text, some long lines,
// some "=" and bytes above 127.
const std::string& TextData() {
    static const std::string data = [] {
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
        while (s.size() < kDataSize) {
            const std::size_t len = gen() % 5 == 0 ? 300 + gen() % 500 : 20 + gen() % 60;
            const std::size_t start = s.size();
            while (s.size() - start < len) s += words[gen() % std::size(words)];
            s += "\r\n";
        }
        return s;
    }();
    return data;
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

void BM_QuotedPrintableEncode(benchmark::State& state) {
    const std::string& data = TextData();
    TMemoryStream stream;
    stream.Assign(data);
    for (auto _ : state) {
        TStringList lines;
        TQuotedPrintable(stream, lines).Encode();
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_QuotedPrintableDecode(benchmark::State& state) {
    const std::string& data = TextData();
    TMemoryStream source;
    source.Assign(data);
    TStringList lines;
    TQuotedPrintable(source, lines).Encode();
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

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void RunPeer() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("qp_codec_bench_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    WriteFile(dir / "peer.py", kPeerScript);
    WriteFile(dir / "binary", BinaryData());
    WriteFile(dir / "text", TextData());
    const std::string command = "/usr/bin/python3 '" + (dir / "peer.py").string() + "' '" +
                                (dir / "binary").string() + "' '" + (dir / "text").string() + "'";
    std::cout << "\nPeer, CPU time, on the same data (" << kDataSize / (1024 * 1024)
              << " MiB binary, " << TextData().size() << " bytes of text):\n"
              << std::flush;
    if (std::system(command.c_str()) != 0) std::cout << "python3 peer did not run\n";
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::cout
        << "quillpost codecs (CPU time; bytes_per_second in MiB/s or GiB/s of unencoded bytes):\n"
        << std::flush;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RunPeer();
    return 0;
}
