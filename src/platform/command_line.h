#pragma once
// Splitting a command line into words the way Windows programs see it, for
// starting programs where there is no CreateProcess.
#include <string>
#include <string_view>
#include <vector>

namespace quillpost::platform {

// Words are separated by runs of spaces and tabs. The first word names the
// program: double quotes group (blanks inside belong to it) and are
// dropped, backslashes are ordinary.
// In the other words, double quotes group and are dropped, "" inside a group
// is a literal quote, 2n backslashes before a quote give n backslashes, 2n+1
// give n backslashes and a literal quote; other backslashes are ordinary.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace quillpost::platform
