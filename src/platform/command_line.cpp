#include "platform/command_line.h"

namespace quillpost::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view s) {
    std::vector<std::string> words;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && IsBlank(s[i])) ++i;
    if (i == n) return words;

    // The program name: quotes switch grouping on and off and are dropped.
    std::string program;
    bool inQuotes = false;
    while (i < n && (inQuotes || !IsBlank(s[i]))) {
        if (s[i] == '"')
            inQuotes = !inQuotes;
        else
            program += s[i];
        ++i;
    }
    words.push_back(std::move(program));

    for (;;) {
        while (i < n && IsBlank(s[i])) ++i;
        if (i == n) break;
        std::string word;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(s[i]))) {
            if (s[i] == '\\') {
                std::size_t backslashes = 0;
                while (i < n && s[i] == '\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < n && s[i] == '"') {
                    word.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        word += '"';
                        ++i;
                    }
                } else {
                    word.append(backslashes, '\\');
                }
            } else if (s[i] == '"') {
                if (quoted && i + 1 < n && s[i + 1] == '"') {
                    word += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                word += s[i++];
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace quillpost::platform
