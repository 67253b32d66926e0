// Decoding a received message with a 10 MiB base64 attachment, beside
// Debian's python3 email parser and GMime (through python3-gi) parsing the
// same text and recovering the same bytes, in the same run. Compare CPU
// times: on a shared machine the wall times say more about the neighbours.
// Ends with one "ratio PEER VALUE" line a peer: its CPU time over ours.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "encoding/base64.h"
#include "message/message.h"
#include "peer_runner.h"

namespace {

using namespace quillpost;

constexpr std::size_t kAttachmentSize = 10 << 20;

const std::string& Attachment() {
    static const std::string data = [] {
        std::mt19937 rng(1);
        std::string s(kAttachmentSize, '\0');
        for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
        return s;
    }();
    return data;
}

const std::string& MessageText() {
    static const std::string text = [] {
        std::string t =
            "From: Ann <ann@example.com>\r\nTo: bob@example.com\r\nSubject: big\r\n"
            "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
            "--b\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
            "--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n";
        t += EncodeBase64Lines(Attachment());
        t += "--b--\r\n";
        return t;
    }();
    return text;
}

// Process CPU seconds: what the peers report too (Python's process_time).
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The least CPU time of one decoding, over every iteration run.
double bestSeconds = 1e9;

void DecodeLargeAttachment(benchmark::State& state) {
    TMemoryStream source;
    source.Assign(MessageText());
    for (auto _ : state) {
        const double start = CpuSeconds();
        TmsMessage m;
        m.DecodeFromStream(source);
        if (m.Attachments().Count() != 1 || m.Attachments().Items(0).Data().Bytes() != Attachment())
            state.SkipWithError("wrong attachment bytes");
        benchmark::DoNotOptimize(m.Attachments().Count());
        bestSeconds = std::min(bestSeconds, CpuSeconds() - start);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MessageText().size()));
}

BENCHMARK(DecodeLargeAttachment)->Unit(benchmark::kMillisecond);

const char* kPeer = R"PY(
import sys, time
raw = open(sys.argv[1], 'rb').read()
def best(f, reps=3):
    t = []
    for _ in range(reps):
        s = time.process_time(); r = f(); t.append(time.process_time() - s)
    return min(t), r
def python_email():
    from email import policy
    from email.parser import BytesParser
    msg = BytesParser(policy=policy.compat32).parsebytes(raw)
    return [p.get_payload(decode=True) for p in msg.walk() if not p.is_multipart()][-1]
t, data = best(python_email)
print('peer python3 email (compat32)      %8.1f ms CPU %8.1f MB/s  attachment %d bytes' % (t * 1e3, len(raw) / t / 1e6, len(data)))
print('peer-ms python-email %.3f' % (t * 1e3))
try:
    import gi
    gi.require_version('GMime', '3.0')
    from gi.repository import GMime
    GMime.init()
    def gmime():
        stream = GMime.StreamMem.new_with_buffer(raw)
        msg = GMime.Parser.new_with_stream(stream).construct_message(None)
        part = msg.get_mime_part().get_part(1)
        out = GMime.StreamMem.new()
        part.get_content().write_to_stream(out)
        return out.get_byte_array()
    t, data = best(gmime)
    print('peer GMime 3 (python3-gi)          %8.1f ms CPU %8.1f MB/s  attachment %d bytes' % (t * 1e3, len(raw) / t / 1e6, len(data)))
    print('peer-ms gmime %.3f' % (t * 1e3))
except (ImportError, ValueError) as e:
    print('peer GMime not available:', e)
)PY";

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("message text: %zu bytes, attachment %zu bytes\n", MessageText().size(),
                Attachment().size());
    std::fflush(stdout);
    quillpost::bench::PeerFolder folder("decode_bench");
    std::string peers;
    const bool ran = folder.RunPython(kPeer, {folder.Write("message.eml", MessageText())}, &peers);
    // The peers' own lines first; then each peer's time over ours, the
    // figure to hold against its target (gmime: 1.5 or more).
    std::printf("TmsMessage.DecodeFromStream        %8.1f ms CPU (best iteration)\n",
                bestSeconds * 1e3);
    std::istringstream lines(peers);
    std::vector<std::pair<std::string, double>> ratios;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key, name;
        double ms = 0;
        if (words >> key >> name >> ms && key == "peer-ms")
            ratios.emplace_back(name, ms * 1e-3 / bestSeconds);
        else
            std::printf("%s\n", line.c_str());
    }
    for (const auto& [name, ratio] : ratios) std::printf("ratio %s %.2f\n", name.c_str(), ratio);
    return ran ? 0 : 1;
}
