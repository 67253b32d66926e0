// Composing a message with one 10 MiB attachment (binary, base64; or text,
// quoted-printable) into the temporary file the SMTP client sends from,
// beside Debian's python3 email package (as_bytes with CR LF) and GMime 3
// (through python3-gi, write_to_stream into a file) composing an equivalent
// message in the same run. Also the peak memory the composition adds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "encoding/temp_file_stream.h"
#include "message/message.h"
#include "peer_runner.h"

namespace {

using namespace quillpost;

constexpr std::size_t kDataSize = 10 * 1024 * 1024;

const std::string& BinaryData() {
    static const std::string data = [] {
        std::mt19937 gen(1);
        std::string s(kDataSize, '\0');
        for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
        return s;
    }();
    return data;
}

// CR LF lines of words, some long, some "=", some bytes above 127, some
// leading periods: what a text attachment may hold.
const std::string& TextData() {
    static const std::string data = [] {
        std::mt19937 gen(2);
        const std::string words[] = {"the ",       "mail ", "quoted ", "x=1 ",    "caf\xe9 ",
                                     "printable ", "\t",    ". ",      "message "};
        std::string s;
        s.reserve(kDataSize + 1024);
        while (s.size() < kDataSize) {
            const std::size_t len = gen() % 8 == 0 ? 100 + gen() % 300 : 20 + gen() % 60;
            const std::size_t start = s.size();
            while (s.size() - start < len) s += words[gen() % std::size(words)];
            s += "\r\n";
        }
        s.resize(kDataSize);
        return s;
    }();
    return data;
}

void Fill(TmsMessage& m, bool text) {
    m.Sender().SetName("Ann Lee");
    m.Sender().SetAddress("ann@example.com");
    m.Recipients().AddAddress("bob@example.org", "Bob");
    m.SetSubject("Test");
    m.Body().Add("See the file.");
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(text ? "big.txt" : "big.bin");
    item->SetContentType(text ? "text/plain" : "application/octet-stream");
    item->SetTransferEncoding(text ? teQuotedPrintable : teBase64);
    item->Data().Assign(text ? TextData() : BinaryData());
    m.Attachments().Add(std::move(item));
}

void Compose(benchmark::State& state, bool text) {
    TmsMessage m;
    Fill(m, text);
    std::int64_t size = 0;
    for (auto _ : state) {
        TTempFileStream stream;
        m.EncodeToStream(stream);
        size = stream.Size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDataSize));
    state.counters["output_MiB"] = static_cast<double>(size) / 1048576.0;
}

void BM_ComposeBinary10MiB(benchmark::State& state) { Compose(state, false); }
void BM_ComposeText10MiB(benchmark::State& state) { Compose(state, true); }

BENCHMARK(BM_ComposeBinary10MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ComposeText10MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// A field of /proc/self/status in KiB (Linux; the benchmarks build nowhere else).
long StatusKiB(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with(field + ":"))
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return -1;
}

// Resident memory the composition adds at its peak, over the message that
// already holds the attachment data.
void MeasurePeak(bool text) {
    TmsMessage m;
    Fill(m, text);
    const long before = StatusKiB("VmRSS");
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
    {
        TTempFileStream stream;
        m.EncodeToStream(stream);
    }
    const long peak = StatusKiB("VmHWM");
    std::printf(
        "quillpost %-6s peak memory added by composing: %6.2f MiB (attachment data %d MiB, held by "
        "the message)\n",
        text ? "text" : "binary", static_cast<double>(peak - before) / 1024.0,
        static_cast<int>(kDataSize >> 20));
}

constexpr const char* kPeerScript = R"PY(
import os, resource, sys, tempfile, time
kind, what, path = sys.argv[1:4]
data = open(path, "rb").read()
text = what == "text"
out = os.path.join(tempfile.gettempdir(), "qp_compose_peer_%d.eml" % os.getpid())
def rss():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0

if kind == "python":
    from email.message import EmailMessage
    from email import policy
    def compose():
        m = EmailMessage()
        m["From"] = "Ann Lee <ann@example.com>"
        m["To"] = "Bob <bob@example.org>"
        m["Subject"] = "Test"
        m.set_content("See the file.\n")
        if text:
            m.add_attachment(data.decode("latin-1"), subtype="plain", charset="iso-8859-1",
                             cte="quoted-printable", filename="big.txt")
        else:
            m.add_attachment(data, maintype="application", subtype="octet-stream",
                             filename="big.bin")
        with open(out, "wb") as f:
            f.write(m.as_bytes(policy=policy.SMTP))
    runs = 1 if text else 3
else:
    import gi
    gi.require_version("GMime", "3.0")
    from gi.repository import GMime
    GMime.init()
    def build():
        m = GMime.Message.new(True)
        m.get_from().add(GMime.InternetAddressMailbox.new("Ann Lee", "ann@example.com"))
        m.get_to().add(GMime.InternetAddressMailbox.new("Bob", "bob@example.org"))
        m.set_subject("Test", "us-ascii")
        mp = GMime.Multipart.new_with_subtype("mixed")
        body = GMime.TextPart.new_with_subtype("plain")
        body.set_text("See the file.\n")
        mp.add(body)
        part = GMime.Part.new_with_type(*(("text", "plain") if text else ("application", "octet-stream")))
        part.set_filename("big.txt" if text else "big.bin")
        mem = GMime.StreamMem.new_with_buffer(data)
        part.set_content(GMime.DataWrapper.new_with_stream(mem, GMime.ContentEncoding.DEFAULT))
        part.set_content_encoding(GMime.ContentEncoding.QUOTEDPRINTABLE if text else GMime.ContentEncoding.BASE64)
        mp.add(part)
        m.set_mime_part(mp)
        return m
    message = build()
    options = GMime.FormatOptions.new()
    options.set_newline_format(GMime.NewLineFormat.DOS if kind == "gmime-crlf" else GMime.NewLineFormat.UNIX)
    def compose():
        fd = os.open(out, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        stream = GMime.StreamFs.new(fd)
        message.write_to_stream(options, stream)
        stream.flush()
        stream.close()
    runs = 5

base = rss()
best = None
for _ in range(runs):
    start = time.perf_counter()
    compose()
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
size = os.path.getsize(out)
os.remove(out)
label = {"python": "python3 email (as_bytes, CR LF)", "gmime-crlf": "GMime 3 (CR LF)", "gmime-lf": "GMime 3 (LF only)"}[kind]
print("peer %-32s %-6s %9.1f ms  output %6.2f MiB  peak memory added %6.2f MiB" % (label, what, best * 1e3, size / 1048576.0, rss() - base))
)PY";

void RunPeers() {
    quillpost::bench::PeerFolder folder("compose_bench");
    const std::string files[] = {folder.Write("binary", BinaryData()),
                                 folder.Write("text", TextData())};
    std::printf(
        "\nPeers on the same data, wall time, best of several runs (python3 text: one run):\n");
    std::fflush(stdout);
    for (const char* kind : {"gmime-crlf", "gmime-lf", "python"}) {
        for (int i = 0; i < 2; ++i) {
            const char* what = i == 0 ? "binary" : "text";
            if (!folder.RunPython(kPeerScript, {kind, what, files[i]}))
                std::printf("peer %s %s did not run\n", kind, what);
            std::fflush(stdout);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf(
        "quillpost composing into a temporary file (wall time; bytes_per_second of attachment "
        "data):\n");
    std::fflush(stdout);
    // Before the benchmarks, so that freed memory of earlier runs cannot hide a peak.
    MeasurePeak(false);
    MeasurePeak(true);
    std::printf("\n");
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RunPeers();
    return 0;
}
