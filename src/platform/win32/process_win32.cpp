#include <windows.h>

#include <vector>

#include "platform/process.h"

namespace quillpost::platform {

std::int32_t RunAndWait(const std::string& commandLine, std::uint16_t showWindow,
                        std::uint32_t timeoutMs, const std::string& workingDirectory) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;  // 68 in a 32-bit process
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    startup.wShowWindow = showWindow;

    LPCH environment = GetEnvironmentStrings();
    // CreateProcess may write into the command line it is given.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');

    PROCESS_INFORMATION info{};
    DWORD result;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                       environment, workingDirectory.empty() ? nullptr : workingDirectory.c_str(),
                       &startup, &info)) {
        result = WaitForSingleObject(info.hProcess, timeoutMs);
        DWORD waitError = GetLastError();
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        SetLastError(waitError);  // for a caller that reports a failed wait
    } else {
        result = GetLastError();
    }
    if (environment) FreeEnvironmentStringsA(environment);
    return static_cast<std::int32_t>(result);
}

std::uint32_t LastSystemError() { return GetLastError(); }

}  // namespace quillpost::platform
