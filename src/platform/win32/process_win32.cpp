#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/win32/wide_name.h"

namespace quillpost::platform {

std::int32_t RunAndWait(const std::string& commandLine, std::uint16_t showWindow,
                        std::uint32_t timeoutMs, const std::string& workingDirectory) {
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;  // 68 in a 32-bit process
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    startup.wShowWindow = showWindow;

    LPWCH environment = GetEnvironmentStringsW();
    // CreateProcess may write into the command line it is given.
    std::wstring line = WideName(commandLine);
    const std::wstring directory = WideName(workingDirectory);

    PROCESS_INFORMATION info{};
    DWORD result;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                       NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT, environment,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        result = WaitForSingleObject(info.hProcess, timeoutMs);
        DWORD waitError = GetLastError();
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        SetLastError(waitError);  // for a caller that reports a failed wait
    } else {
        result = GetLastError();
    }
    if (environment) FreeEnvironmentStringsW(environment);
    return static_cast<std::int32_t>(result);
}

std::uint32_t LastSystemError() { return GetLastError(); }

}  // namespace quillpost::platform
