#pragma once
// File names reach the system through its wide APIs, so no name passes
// through the ANSI code page.
#include <string>
#include <string_view>

#include "platform/ansi_text.h"

namespace quillpost::platform {

inline std::wstring WideName(std::string_view name) {
    const std::u16string wide = TextToWide(name);
    return std::wstring(wide.begin(), wide.end());
}

inline std::string NameFromWide(const wchar_t* name, std::size_t length) {
    return WideToText(std::u16string_view(reinterpret_cast<const char16_t*>(name), length));
}

}  // namespace quillpost::platform
