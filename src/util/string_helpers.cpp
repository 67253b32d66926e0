#include "util/string_helpers.h"

#include "util/errors.h"

namespace quillpost {
namespace {

constexpr std::size_t kMaxWordScan = 65535;

}  // namespace

int WordPosition(int n, std::string_view s, const TByteSet& delims) {
    if (s.size() > kMaxWordScan) RaiseRangeError();
    const std::size_t length = s.size();
    int count = 0;
    std::size_t i = 1;
    int result = 0;
    while (i <= length && count != n) {
        while (i <= length && delims.Contains(s[i - 1])) ++i;
        if (i <= length) ++count;
        if (count != n) {
            while (i <= length && !delims.Contains(s[i - 1])) ++i;
        } else {
            result = static_cast<int>(i);
        }
    }
    return result;
}

std::string ExtractWord(int n, std::string_view s, const TByteSet& delims) {
    const int start = WordPosition(n, s, delims);
    if (start == 0) return {};
    std::size_t end = static_cast<std::size_t>(start) - 1;
    while (end < s.size() && !delims.Contains(s[end])) ++end;
    return std::string(s.substr(static_cast<std::size_t>(start) - 1, end - (start - 1)));
}

std::string DirectoryOf(std::string_view path) {
    std::size_t p = path.size();  // 1-based; 0 when none is found
    while (p > 0 && !kPathSeparators.Contains(path[p - 1])) --p;
    if (p == 0) return {};
    if (p == 1) return std::string(path.substr(0, 1));
    // A ":" stays, and so does the "\" of a drive root; any other separator
    // (a "\", or a NUL ending the text early) goes.
    if (path[p - 1] == ':' || (path[p - 1] == '\\' && path[p - 2] == ':'))
        return std::string(path.substr(0, p));
    return std::string(path.substr(0, p - 1));
}

}  // namespace quillpost
