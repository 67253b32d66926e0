#include <windows.h>
// shellapi.h needs windows.h first.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdlib.h>

#include "platform/console.h"

namespace quillpost::platform {

bool IsTerminal(int descriptor) { return _isatty(descriptor) != 0; }

void SetBinaryMode(int descriptor) { _setmode(descriptor, _O_BINARY); }

std::vector<std::string> CommandLineArguments(int, char**) {
    // The C runtime's argv has gone through the ANSI code page already:
    // Cyrillic under a Western code page arrives as "?".
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    if (words == nullptr) return args;
    for (int i = 1; i < count; ++i)
        args.push_back(WideToConsole(reinterpret_cast<const char16_t*>(words[i])));
    LocalFree(words);
    return args;
}

std::optional<std::string> EnvironmentText(const std::string& name) {
    const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(ConsoleToWide(name).c_str()));
    if (value == nullptr) return std::nullopt;
    return WideToConsole(reinterpret_cast<const char16_t*>(value));
}

}  // namespace quillpost::platform
