// Composing a UTF-8 message (CharSet 3) whose subject is 1,000 characters of
// Cyrillic, Greek and CJK text and whose 1,000 recipients have non-ASCII
// display names: the header words, folding and assembly, beside Debian's
// python3 email package composing the same message in the same run. Wall
// time, best of several runs each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "mailer/mailer.h"
#include "peer_runner.h"
#include "util/stream.h"

namespace {

using namespace quillpost;
using Clock = std::chrono::steady_clock;

constexpr int kRecipients = 1000;

std::string Subject() {
    const std::string pieces[] = {"\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7",  // 5 characters
                                  "\xCE\xBA\xCF\x8C\xCF\x83\xCE\xBC\xCE\xB5",  // 5
                                  "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",      // 3
                                  "\xE2\x84\x96"
                                  "5"};  // 2
    const int lengths[] = {5, 5, 3, 2};
    std::string s;
    int characters = 0;
    for (int i = 0; characters < 1000; ++i) {
        const int k = i % 4;
        if (characters + lengths[k] + 1 > 1000) break;
        s += pieces[k];
        s += ' ';
        characters += lengths[k] + 1;
    }
    while (characters++ < 1000) s += 'x';
    return s;
}

std::string Name(int i) {
    return "\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0 \xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1 " +
           std::to_string(i);
}

std::string Address(int i) { return "user" + std::to_string(i) + "@example.org"; }

double OursMs(std::size_t& size) {
    TMailer m;
    m.SetCharSet(3);
    m.SetFromName(Name(0));
    m.SetFromAddress("ann@example.com");
    m.SetSubject(Subject());
    m.SetBodyText("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    for (int i = 0; i < kRecipients; ++i) m.AddRecipient(Name(i), Address(i));
    double best = 1e30;
    for (int run = 0; run < 30; ++run) {
        const auto start = Clock::now();
        TMemoryStream out;
        m.ComposeMessage(out);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
        size = out.Bytes().size();
    }
    return best;
}

constexpr const char* kPeerScript = R"PY(
import sys, time
from email.message import EmailMessage
from email.headerregistry import Address
from email import policy
subject = open(sys.argv[1], encoding="utf-8").read()
names = open(sys.argv[2], encoding="utf-8").read().split("\n")
def compose():
    m = EmailMessage()
    m["From"] = Address(names[0], addr_spec="ann@example.com")
    m["To"] = [Address(n, addr_spec="user%d@example.org" % i) for i, n in enumerate(names)]
    m["Subject"] = subject
    m.set_content("\u041f\u0440\u0438\u0432\u0435\u0442\n")
    return m.as_bytes(policy=policy.SMTP)
best = None
for _ in range(5):
    start = time.perf_counter()
    size = len(compose())
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
print("%.3f %d" % (best * 1e3, size))
)PY";

}  // namespace

int main() {
    std::size_t ourSize = 0;
    const double ours = OursMs(ourSize);
    std::printf(
        "quillpost  compose, 1,000-character subject, %d named recipients: %8.2f ms  (%zu bytes)\n",
        kRecipients, ours, ourSize);
    std::fflush(stdout);

    quillpost::bench::PeerFolder folder("unicode_bench");
    std::string names, result;
    for (int i = 0; i < kRecipients; ++i) names.append(i ? "\n" : "").append(Name(i));
    double peer = 0;
    std::size_t peerSize = 0;
    if (folder.RunPython(kPeerScript,
                         {folder.Write("subject", Subject()), folder.Write("names", names)},
                         &result) &&
        std::sscanf(result.c_str(), "%lf %zu", &peer, &peerSize) == 2) {
        std::printf(
            "python3 email (as_bytes, SMTP policy), same message:               %8.2f ms  (%zu "
            "bytes)\n",
            peer, peerSize);
        std::printf("ratio: ours is %.1f times faster\n", peer / ours);
    } else {
        std::printf("python3 email did not run\n");
    }
    return 0;
}
