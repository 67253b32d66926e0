#pragma once
// The operating system's network messenger, used by the Mailer's test mode.
#include <functional>
#include <string>

namespace quillpost::platform {

// Hands CommandLine ("NET SEND name Subject: ...") to the messenger and waits
// at most WaitMs for it; the outcome is ignored. Windows starts the command
// line hidden. Elsewhere there is no such command: the program named by the
// QUILLPOST_MESSENGER environment setting is started (without a shell) with
// the whole command line as its one argument, and nothing runs when it is
// unset.
void RunMessenger(const std::string& commandLine, unsigned waitMs);

// Tests: replaces the messenger with Handler (empty restores the real one).
void SetMessengerForTests(std::function<void(const std::string&)> handler);

}  // namespace quillpost::platform
