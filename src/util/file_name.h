#pragma once
// File-name parts as the message model sees them. Names come from scripts and
// from received messages written on any system, so "\", "/" and a drive colon
// all end a directory part, whatever system we run on.
#include <string_view>

namespace quillpost {

inline bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

// The last path component: everything after the last delimiter.
inline std::string_view ExtractFileName(std::string_view name) {
    for (std::size_t i = name.size(); i > 0; --i)
        if (IsPathDelimiter(name[i - 1])) return name.substr(i);
    return name;
}

// The extension of the last path component, dot included; empty when it has no dot.
inline std::string_view ExtractFileExt(std::string_view name) {
    std::string_view last = ExtractFileName(name);
    auto dot = last.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : last.substr(dot);
}

}  // namespace quillpost
