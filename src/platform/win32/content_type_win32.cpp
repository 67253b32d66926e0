#include <windows.h>

#include <string>

#include "base/errors.h"
#include "platform/content_type.h"

namespace quillpost::platform {
namespace {

struct KeyCloser {
    HKEY key = nullptr;
    ~KeyCloser() {
        if (key) RegCloseKey(key);
    }
};

}  // namespace

std::string SystemContentType(std::string_view extension) {
    KeyCloser key;
    const std::string name(extension);
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_QUERY_VALUE, &key.key) !=
        ERROR_SUCCESS)
        return {};
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.key, "Content Type", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};  // a missing value reads as empty
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw EInOutError("Invalid data type for 'Content Type'");
    std::string value(size, '\0');
    if (size > 0 && RegQueryValueExA(key.key, "Content Type", nullptr, &type,
                                     reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return {};
    value.resize(size);
    // The stored text may or may not carry its terminating zero.
    if (auto zero = value.find('\0'); zero != std::string::npos) value.resize(zero);
    return value;
}

}  // namespace quillpost::platform
