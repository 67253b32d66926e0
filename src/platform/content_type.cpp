#include "platform/content_type.h"

#include <fstream>
#include <mutex>

namespace quillpost::platform {
namespace {

std::mutex& OverrideLock() {
    static std::mutex lock;
    return lock;
}

std::string& OverridePath() {
    static std::string path;
    return path;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

}  // namespace

void SetMimeTypesFile(std::string path) {
    std::lock_guard guard(OverrideLock());
    OverridePath() = std::move(path);
}

std::string ContentTypeFromTable(const std::string& tablePath, std::string_view extension) {
    if (extension.size() < 2 || extension.front() != '.') return {};
    std::string_view wanted = extension.substr(1);
    std::ifstream table(tablePath, std::ios::binary);
    std::string line;
    while (std::getline(table, line)) {
        std::string_view rest(line);
        if (auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
        std::string_view type;
        bool first = true;
        while (!rest.empty()) {
            while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
            std::size_t n = 0;
            while (n < rest.size() && !IsBlank(rest[n])) ++n;
            if (n == 0) break;
            std::string_view word = rest.substr(0, n);
            rest.remove_prefix(n);
            if (first) {
                type = word;
                first = false;
            } else if (SameTextAscii(word, wanted)) {
                return std::string(type);
            }
        }
    }
    return {};
}

std::string RegisteredContentType(std::string_view extension) {
    // A lone dot or nothing names no key; never query the hive's root.
    if (extension.size() < 2 || extension.front() != '.') return {};
    std::string table;
    {
        std::lock_guard guard(OverrideLock());
        table = OverridePath();
    }
    if (!table.empty()) return ContentTypeFromTable(table, extension);
    return SystemContentType(extension);
}

}  // namespace quillpost::platform
