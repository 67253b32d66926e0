#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/command_line.h"
#include "platform/process.h"

extern char** environ;

namespace quillpost::platform {
namespace {

// Children left running at their limit; reaped at later calls so they do not
// stay behind as zombies.
std::mutex g_abandonedMutex;
std::vector<pid_t> g_abandoned;

void ReapAbandoned() {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    std::erase_if(g_abandoned, [](pid_t pid) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

void Abandon(pid_t pid) {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    g_abandoned.push_back(pid);
}

// Collects the ended child. ECHILD means someone else already did (a host
// that ignores SIGCHLD): it has ended all the same.
bool Reap(pid_t pid) {
    int status;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (r < 0 && errno == EINTR) continue;
        return false;
    }
}

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left until Deadline, capped for poll.
int MillisecondsLeft(SteadyClock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, 24LL * 3600 * 1000));
}

std::int32_t WaitWithPidfd(pid_t pid, int pidfd, std::uint32_t timeoutMs) {
    const bool forever = timeoutMs == kWaitForever;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{pidfd, POLLIN, 0};
        int r = poll(&p, 1, forever ? -1 : MillisecondsLeft(deadline));
        if (r > 0) {
            if (Reap(pid)) return kWaitEnded;
            int err = errno;
            Abandon(pid);
            errno = err;
            return kWaitFailed;
        }
        if (r == 0) {
            if (!forever && MillisecondsLeft(deadline) == 0) break;
            continue;
        }
        if (errno == EINTR) continue;
        int err = errno;
        Abandon(pid);
        errno = err;
        return kWaitFailed;
    }
    Abandon(pid);
    return kWaitTimedOut;
}

// For kernels without pidfd_open: look, then sleep a little, growing from
// 1 ms to 10 ms between looks.
std::int32_t WaitByPolling(pid_t pid, std::uint32_t timeoutMs) {
    const bool forever = timeoutMs == kWaitForever;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    long stepMs = 1;
    for (;;) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return kWaitEnded;
        if (r < 0 && errno != EINTR) {
            int err = errno;
            Abandon(pid);
            errno = err;
            return kWaitFailed;
        }
        int left = forever ? 10 : MillisecondsLeft(deadline);
        if (left == 0) break;
        timespec ts{0, std::min<long>(stepMs, left) * 1000000L};
        nanosleep(&ts, nullptr);
        stepMs = std::min<long>(stepMs * 2, 10);
    }
    Abandon(pid);
    return kWaitTimedOut;
}

// posix_spawn's attribute and file-action objects, destroyed on every path.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

std::int32_t RunAndWait(const std::string& commandLine, std::uint16_t /*showWindow*/,
                        std::uint32_t timeoutMs, const std::string& workingDirectory) {
    ReapAbandoned();

    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) return ENOENT;
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    // The host's signal mask and ignored signals are not the program's business.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setsigdefault(&setup.attr, &all);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // No descriptors of the host besides standard input, output and error.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    // Only the child changes directory: the process's own is shared by all
    // its threads.
    if (!workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, workingDirectory.c_str());

    pid_t pid = 0;
    int err = posix_spawnp(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), environ);
    if (err != 0) return err;

    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) return WaitByPolling(pid, timeoutMs);
    std::int32_t result = WaitWithPidfd(pid, pidfd, timeoutMs);
    int saved = errno;
    close(pidfd);
    errno = saved;
    return result;
}

std::uint32_t LastSystemError() { return static_cast<std::uint32_t>(errno); }

}  // namespace quillpost::platform
