// The whole job in one process: the quillpost program beside this one
// composing a message with a 10 MiB attachment and sending it to Postfix's
// smtp-sink, beside curl sending the same message, composed beforehand, to
// the same sink in the same run. Each turn runs both programs once, ours
// first; wall time and CPU time (user and system) are per process, start to
// exit, COM creation of the Mailer through the server library included.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "peer_runner.h"

extern char** environ;

namespace {

using namespace quillpost;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kAttachmentSize = 10 << 20;
constexpr int kTurns = 7;

struct Run {
    double wall = 0, cpu = 0;  // seconds
    bool ok = false;
};

// Runs Args[0] with its output thrown away; the time it took and the CPU it used.
Run RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::string Attachment() {
    std::mt19937 rng(1);
    std::string s(kAttachmentSize, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Side {
    std::vector<double> wall, cpu;
    void Add(const Run& run) {
        wall.push_back(run.wall);
        cpu.push_back(run.cpu);
    }
    void Print(const char* name) const {
        std::printf("  %-28s wall best %.3f s, median %.3f s; CPU best %.3f s, median %.3f s\n",
                    name, *std::min_element(wall.begin(), wall.end()), Median(wall),
                    *std::min_element(cpu.begin(), cpu.end()), Median(cpu));
    }
};

}  // namespace

int main() {
    const std::filesystem::path here = std::filesystem::canonical("/proc/self/exe").parent_path();
    const std::string program = (here / "quillpost").string();
    if (!std::filesystem::exists(program)) {
        std::printf("%s is missing: build the bench preset's quillpost target\n", program.c_str());
        return 1;
    }
    if (std::system("command -v curl >/dev/null") != 0) {
        std::printf("curl is missing: apt-get install -y curl\n");
        return 1;
    }
    bench::PeerFolder folder("whole_job_bench");
    bench::Sink sink;
    if (sink.Port() == 0) {
        std::printf("smtp-sink is not available (Postfix)\n");
        return 1;
    }
    // A registry of this run's own: the first run registers the library beside the program.
    setenv("QUILLPOST_REGISTRY", (folder.Path() / "registry").c_str(), 1);
    const std::string file = folder.Write("10MiB.bin", Attachment());
    const std::string message = (folder.Path() / "message.eml").string();
    const std::string port = std::to_string(sink.Port());
    std::vector<std::string> ours = {program,
                                     "--RemoteHost",
                                     "127.0.0.1:" + port,
                                     "--FromAddress",
                                     "sender@example.test",
                                     "--AddRecipient",
                                     "Rcpt",
                                     "rcpt@example.test",
                                     "--Subject",
                                     "10 MiB",
                                     "--BodyText",
                                     "The file is attached.",
                                     "--AddAttachment",
                                     file};
    std::vector<std::string> compose = ours;
    compose.insert(compose.end(), {"--compose", message});
    ours.push_back("--SendMail");
    const std::vector<std::string> curl = {"/usr/bin/curl",
                                           "-s",
                                           "-S",
                                           "--url",
                                           "smtp://127.0.0.1:" + port,
                                           "--mail-from",
                                           "sender@example.test",
                                           "--mail-rcpt",
                                           "rcpt@example.test",
                                           "-T",
                                           message};
    if (!RunProgram(compose).ok || !RunProgram(ours).ok || !RunProgram(curl).ok) {
        std::printf("a warm-up run failed: quillpost compose, quillpost send or curl\n");
        return 1;
    }
    Side quillpost, peer;
    std::vector<double> turnRatios;
    for (int turn = 0; turn < kTurns; ++turn) {
        const Run a = RunProgram(ours), b = RunProgram(curl);
        if (!a.ok || !b.ok) {
            std::printf("turn %d failed: quillpost %d, curl %d\n", turn + 1, a.ok, b.ok);
            return 1;
        }
        quillpost.Add(a);
        peer.Add(b);
        turnRatios.push_back(a.wall / b.wall);
    }
    std::printf("A message with a %zu-byte attachment to smtp-sink, %d turns (same run):\n",
                kAttachmentSize, kTurns);
    quillpost.Print("quillpost ... --SendMail");
    peer.Print("curl -T (composed before)");
    const double bestRatio = *std::min_element(quillpost.wall.begin(), quillpost.wall.end()) /
                             *std::min_element(peer.wall.begin(), peer.wall.end());
    std::printf("  target: the whole job takes no longer than curl's send (ratio <= 1.00)\n");
    std::printf("ratio whole_job_to_curl_best_wall %.2f\n", bestRatio);
    std::printf("ratio whole_job_to_curl_median_turn_wall %.2f\n", Median(turnRatios));
    std::printf("ratio whole_job_to_curl_median_cpu %.2f\n",
                Median(quillpost.cpu) / Median(peer.cpu));
    return 0;
}
