#include <windows.h>

#include <string>

namespace quillpost::platform {

std::string SystemOwnerName() {
    char owner[256] = {};
    DWORD size = sizeof owner;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                     "RegisteredOwner", RRF_RT_REG_SZ, nullptr, owner, &size) == ERROR_SUCCESS &&
        owner[0] != '\0')
        return owner;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof computer;
    if (GetComputerNameA(computer, &length)) return std::string(computer, length);
    return {};
}

}  // namespace quillpost::platform
