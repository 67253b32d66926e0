#include "platform/test_programs.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
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
std::string WriteDirectoryReportScript(const std::string& directory) {
    const std::string script = (std::filesystem::path(directory) / "report.cmd").string();
    std::ofstream(script, std::ios::binary) << "@echo off\r\n"
                                               "echo x> ran\r\n"
                                               "echo line one> %1\r\n"
                                               "echo line two>> %1\r\n"
                                               "cd>> %1\r\n";
    return script;
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

std::string WriteDirectoryReportScript(const std::string& directory) {
    const std::filesystem::path script = std::filesystem::path(directory) / "report.sh";
    std::ofstream(script, std::ios::binary)
        << "#!/bin/sh\n"
           ": > ran\n"
           "printf 'line one\\r\\nline two\\r\\n%s\\r\\n%s\\r\\n' \"$(pwd -P)\" "
           "\"$(readlink /proc/$PPID/cwd)\" > \"$1\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return script.string();
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
