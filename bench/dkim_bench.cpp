// DKIM signing of a message with a 10 MiB base64 attachment (relaxed body
// hash and an RSA-2048 signature): our signing pass over the composed text
// beside dkimpy signing the same message in the same run, and our compose
// with signing beside the same compose without it. CPU times, best of
// several runs: on a shared machine wall times say more about the neighbours.
// Ends with "ratio NAME VALUE" lines: dkim_vs_dkimpy (dkimpy's time over
// ours) and signed_vs_unsigned_compose.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "encoding/dkim_signer.h"
#include "encoding/dot_unstuffing.h"
#include "encoding/temp_file_stream.h"
#include "message/message.h"
#include "peer_runner.h"
#include "platform/crypto.h"
#include "util/stream.h"

namespace {

using namespace quillpost;

constexpr std::size_t kDataSize = 10 * 1024 * 1024;
constexpr int kRuns = 7;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Best(const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const double start = CpuSeconds();
        run();
        best = std::min(best, CpuSeconds() - start);
    }
    return best;
}

void Fill(TmsMessage& m) {
    m.Sender().SetName("Ann Lee");
    m.Sender().SetAddress("ann@example.com");
    m.Recipients().AddAddress("bob@example.org", "Bob");
    m.SetSubject("Test");
    m.Headers().Add("Date: Wed, 09 Dec 2026 10:00:00 GMT");
    m.Body().Add("See the file.");
    std::mt19937 gen(1);
    std::string data(kDataSize, '\0');
    for (auto& c : data) c = static_cast<char>(gen() & 0xFF);
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName("big.bin");
    item->SetContentType("application/octet-stream");
    item->SetTransferEncoding(teBase64);
    item->Data().Assign(data);
    m.Attachments().Add(std::move(item));
}

// The message as a server stores it: the periods unstuffed.
std::string StoredText(TStream& composed) {
    composed.SetPosition(0);
    std::string text(static_cast<std::size_t>(composed.Size()), '\0');
    composed.ReadBuffer(text.data(), text.size());
    TDotUnstuffer unstuffer;
    text.resize(unstuffer.Filter(text.data(), text.size(), text.data()));
    return text + "\r\n";
}

constexpr const char* kPeer = R"PY(
import sys, time, dkim
message = open(sys.argv[1], "rb").read()
key = open(sys.argv[2], "rb").read()
best = None
for _ in range(3):
    start = time.process_time()
    dkim.sign(message, b"bench", b"example.com", key,
              canonicalize=(b"relaxed", b"relaxed"),
              include_headers=[b"from", b"subject", b"date", b"to", b"mime-version",
                               b"content-type"])
    elapsed = time.process_time() - start
    best = elapsed if best is None else min(best, elapsed)
print("peer-ms dkimpy %.1f" % (best * 1e3))
)PY";

}  // namespace

int main() {
    bench::PeerFolder folder("dkim_bench");
    const std::string keyFile = (folder.Path() / "rsa.pem").string();
    const std::string command =
        "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out '" + keyFile +
        "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::printf("openssl cannot make a key: nothing measured\n");
        return 1;
    }
    auto signer = std::make_shared<const TDkimSigner>(TDkimOptions{"example.com", "bench", {}, -1},
                                                      ReadWholeFile(keyFile));
    TmsMessage m;
    Fill(m);

    const double unsignedCompose = Best([&] {
        TTempFileStream stream;
        m.EncodeToStream(stream);
    });
    m.Signer = signer;
    const double signedCompose = Best([&] {
        TTempFileStream stream;
        m.EncodeToStream(stream);
    });
    m.Signer = nullptr;
    TTempFileStream composed;
    m.EncodeToStream(composed);
    const double signing = Best([&] { signer->Sign(composed, 0); });

    // The floor of any signing pass: SHA-256 alone over the same bytes.
    const std::string stored = StoredText(composed);
    const double hashOnly = Best([&] {
        auto sha = platform::Sha256::Create();
        sha->Update(stored.data(), stored.size());
        sha->Finish();
    });
    std::printf("quillpost, 10 MiB attachment, CPU time, best of %d runs:\n", kRuns);
    std::printf("  compose without signing          %8.1f ms\n", unsignedCompose * 1e3);
    std::printf("  compose with signing (RSA-2048)  %8.1f ms\n", signedCompose * 1e3);
    std::printf("  signing the composed text alone  %8.1f ms\n", signing * 1e3);
    std::printf("  SHA-256 alone over that text     %8.1f ms (%.1f MiB)\n", hashOnly * 1e3,
                static_cast<double>(stored.size()) / 1048576.0);
    std::fflush(stdout);

    std::string peer;
    const bool ran = folder.RunPython(
        kPeer, {folder.Write("message.eml", stored), keyFile}, &peer);
    double peerMs = 0;
    std::istringstream words(peer);
    std::string key, name;
    if (!ran || !(words >> key >> name >> peerMs) || key != "peer-ms") {
        std::printf("dkimpy did not run: %s\n", peer.c_str());
        std::printf("ratio signed_vs_unsigned_compose %.2f\n", signedCompose / unsignedCompose);
        return 1;
    }
    std::printf("peer dkimpy signing the same text   %8.1f ms (best of 3)\n", peerMs);
    std::printf("ratio dkim_vs_dkimpy %.2f\n", peerMs * 1e-3 / signing);
    std::printf("ratio signed_vs_unsigned_compose %.2f\n", signedCompose / unsignedCompose);
    // No signing pass costs less than composing plus SHA-256 over the text.
    std::printf("ratio signed_compose_vs_floor %.2f\n",
                signedCompose / (unsignedCompose + hashOnly));
    return 0;
}
