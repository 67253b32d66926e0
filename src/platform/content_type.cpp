#include "platform/content_type.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <unordered_map>

#include "base/ascii.h"

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

// The last table read, as extension (lower case) -> type, the first line
// naming an extension winning. A message with many attachments asks once per
// file; the table is read again only when it has changed.
struct TableCache {
    std::mutex lock;
    std::string path;
    std::filesystem::file_time_type stamp{};
    std::uintmax_t size = 0;
    bool loaded = false;
    std::unordered_map<std::string, std::string> types;

    void Load(const std::string& tablePath) {
        types.clear();
        std::ifstream table(tablePath, std::ios::binary);
        std::string line;
        while (std::getline(table, line)) {
            std::string_view rest(line);
            if (auto hash = rest.find('#'); hash != std::string_view::npos)
                rest = rest.substr(0, hash);
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
                } else {
                    types.emplace(AsciiLowerText(word), std::string(type));
                }
            }
        }
    }
};

TableCache& Cache() {
    static TableCache cache;
    return cache;
}

}  // namespace

void SetMimeTypesFile(std::string path) {
    {
        std::lock_guard guard(OverrideLock());
        OverridePath() = std::move(path);
    }
    std::lock_guard guard(Cache().lock);
    Cache().loaded = false;
}

std::string ContentTypeFromTable(const std::string& tablePath, std::string_view extension) {
    if (extension.size() < 2 || extension.front() != '.') return {};
    std::error_code timeError, sizeError;
    auto stamp = std::filesystem::last_write_time(tablePath, timeError);
    auto size = std::filesystem::file_size(tablePath, sizeError);
    TableCache& cache = Cache();
    std::lock_guard guard(cache.lock);
    if (timeError || sizeError) {
        cache.loaded = false;
        return {};  // no table, no type
    }
    if (!cache.loaded || cache.path != tablePath || cache.stamp != stamp || cache.size != size) {
        cache.Load(tablePath);
        cache.path = tablePath;
        cache.stamp = stamp;
        cache.size = size;
        cache.loaded = true;
    }
    auto found = cache.types.find(AsciiLowerText(extension.substr(1)));
    return found != cache.types.end() ? found->second : std::string();
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
