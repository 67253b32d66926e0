#pragma once
// Small real programs for process and file-sharing tests, as command lines of
// the system the tests run on: POSIX tools, or cmd and ping under Windows.
#include <string>

namespace quillpost::testing {

// Ends at once.
std::string ExitAtOnceCommand();
// Runs for about Seconds.
std::string RunForCommand(int seconds);
// Waits about Seconds, then creates Marker.
std::string CreateLaterCommand(int seconds, const std::string& marker);
// Opens File for appending and holds it open about Seconds.
std::string HoldForWritingCommand(const std::string& file, int seconds);
// Opens File for reading, creates Ready, then holds it about Seconds.
std::string HoldForReadingCommand(const std::string& file, const std::string& ready, int seconds);

// Writes into Directory a script that creates the file "ran" in its working
// directory, then writes into the file named by its first argument the lines
// "line one", "line two" and its working directory, each ended by CR LF; on
// POSIX a fourth line holds the working directory of the process that started
// it. Returns the script's full path (executable).
std::string WriteDirectoryReportScript(const std::string& directory);

// Sets the local time zone of this process from a POSIX TZ text until the
// RestoreLocalZone; false where that cannot be done.
bool SetLocalZoneForTest(const char* posixZone);
void RestoreLocalZone();

}  // namespace quillpost::testing
