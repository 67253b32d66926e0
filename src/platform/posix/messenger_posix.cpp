#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace quillpost::platform {

// There is no network messenger here: the program named by QUILLPOST_MESSENGER
// (if any) receives the command line as its one argument. The outcome is
// ignored, as the messenger's is.
void RunSystemMessenger(const std::string& commandLine, unsigned waitMs) {
    const char* program = std::getenv("QUILLPOST_MESSENGER");
    if (program == nullptr || *program == '\0') return;
    std::string arg0(program), arg1(commandLine);
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return;
    // Wait up to WaitMs; a messenger still running is reaped in the background.
    for (unsigned waited = 0;; waited += 2) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        if (waited >= waitMs) break;
        timespec pause{0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    // Still running: reap it when it ends so it leaves no zombie behind.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

}  // namespace quillpost::platform
