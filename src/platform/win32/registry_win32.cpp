#include <vector>

#include "platform/com.h"
#include "platform/registry.h"

namespace quillpost::platform {

bool RegistryWriteString(std::string_view key, std::string_view name, std::string_view value) {
    HKEY handle = nullptr;
    const std::string path(key);
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::string valueName(name);
    const std::string data(value);
    const LONG rc = RegSetValueExA(handle, valueName.empty() ? nullptr : valueName.c_str(), 0,
                                   REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

bool RegistryDeleteKey(std::string_view key) {
    return RegDeleteKeyA(HKEY_CLASSES_ROOT, std::string(key).c_str()) == ERROR_SUCCESS;
}

bool RegistryKeyExists(std::string_view key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, std::string(key).c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

bool RegistryKeyExistsInOtherView(std::string_view key) {
    // A 32-bit process asks for the 64-bit view; where Windows itself is
    // 32-bit the flag is ignored and that is the one view there is.
    const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, std::string(key).c_str(), 0, KEY_READ | other, &handle) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::optional<std::string> RegistryReadString(std::string_view key, std::string_view name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, std::string(key).c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::string valueName(name);
    const char* n = valueName.empty() ? nullptr : valueName.c_str();
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExA(handle, n, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::vector<char> buffer(size + 1, '\0');
        if (RegQueryValueExA(handle, n, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) == ERROR_SUCCESS)
            result = std::string(buffer.data());
    }
    RegCloseKey(handle);
    return result;
}

std::string RegistryStorePath() { return {}; }

std::string RegistryStoreFault() { return {}; }

}  // namespace quillpost::platform
