#include "platform/test_programs.h"

#include <cstdlib>
#include <ctime>
#include <optional>

namespace quillpost::testing {

#ifdef _WIN32

// ping waits a second between its echoes; it is the one sleeper Windows and
// Wine both have.
namespace {
std::string Ping(int seconds) { return "ping -n " + std::to_string(seconds + 1) + " 127.0.0.1"; }
}  // namespace

std::string ExitAtOnceCommand() { return "cmd /c exit 0"; }
std::string RunForCommand(int seconds) { return "cmd /c \"" + Ping(seconds) + " > nul\""; }
std::string CreateLaterCommand(int seconds, const std::string& marker) {
    return "cmd /c \"" + Ping(seconds) + " > nul & echo x> " + marker + "\"";
}
std::string HoldForWritingCommand(const std::string& file, int seconds) {
    return "cmd /c \"" + Ping(seconds) + " >> " + file + "\"";
}
std::string HoldForReadingCommand(const std::string& file, const std::string& ready, int seconds) {
    return "cmd /c \"" + Ping(seconds) + " < " + file + " > " + ready + "\"";
}
bool SetLocalZoneForTest(const char*) { return false; }
void RestoreLocalZone() {}

#else

std::string ExitAtOnceCommand() { return "/bin/true"; }
std::string RunForCommand(int seconds) { return "/bin/sleep " + std::to_string(seconds); }
std::string CreateLaterCommand(int seconds, const std::string& marker) {
    return "/bin/sh -c \"sleep " + std::to_string(seconds) + "; : > '" + marker + "'\"";
}
std::string HoldForWritingCommand(const std::string& file, int seconds) {
    return "/bin/sh -c \"exec 3>>'" + file + "'; sleep " + std::to_string(seconds) + "\"";
}
std::string HoldForReadingCommand(const std::string& file, const std::string& ready, int seconds) {
    return "/bin/sh -c \"exec 3<'" + file + "'; : > '" + ready + "'; sleep " +
           std::to_string(seconds) + "\"";
}

namespace {
std::optional<std::string> g_savedZone;
bool g_zoneChanged = false;
}  // namespace

bool SetLocalZoneForTest(const char* posixZone) {
    if (!g_zoneChanged) {
        const char* old = std::getenv("TZ");
        g_savedZone = old ? std::optional<std::string>(old) : std::nullopt;
        g_zoneChanged = true;
    }
    setenv("TZ", posixZone, 1);
    tzset();
    return true;
}

void RestoreLocalZone() {
    if (!g_zoneChanged) return;
    if (g_savedZone)
        setenv("TZ", g_savedZone->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    g_zoneChanged = false;
}

#endif

}  // namespace quillpost::testing
