#include "message/headers.h"

#include <algorithm>
#include <map>
#include <optional>

#include "base/ascii.h"
#include "encoding/header_words.h"
#include "util/short_string.h"

namespace quillpost {

namespace {

std::string WithColon(std::string_view name) {
    std::string result(name);
    if (result.empty() || result.back() != ':') result += ':';
    return result;
}

// A line belongs to the header above it when it is folded (begins with a
// blank or a tab) or is no header line of its own (holds no colon).
bool IsContinuation(std::string_view line) {
    return (!line.empty() && (line.front() == ' ' || line.front() == '\t')) ||
           line.find(':') == std::string_view::npos;
}

// The value of the header line at Index with its continuation lines joined
// by one blank each.
std::string JoinedValue(const TStrings& headers, std::int32_t index) {
    const std::string& line = headers[index];
    std::string value(TrimBlanksAndControls(std::string_view(line).substr(line.find(':') + 1)));
    for (std::int32_t i = index + 1; i < headers.Count() && IsContinuation(headers[i]); ++i) {
        value += ' ';
        value += TrimBlanksAndControls(headers[i]);
    }
    return value;
}

std::int32_t FindHeader(const TStrings& headers, std::string_view nameWithColon,
                        std::int32_t from = 0) {
    for (std::int32_t i = from; i < headers.Count(); ++i)
        if (StartsWithIgnoringCase(headers[i], nameWithColon)) return i;
    return -1;
}

std::string DecodedItem(std::string_view item) {
    std::string text = ShortString(TrimBlanksAndControls(item));
    DecodeHeaderWords(text);
    return std::string(TrimBlanksAndControls(text));
}

// Splits at commas outside double quotes (a backslash escapes the next
// character inside quotes); empty items are no items.
void SplitItems(std::string_view value, StringVector& values) {
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size()) {
            const char c = value[i];
            if (quoted && c == '\\') {
                ++i;
                continue;
            }
            if (c == '"') quoted = !quoted;
            if (c != ',' || quoted) continue;
        }
        std::string item = DecodedItem(value.substr(start, std::min(i, value.size()) - start));
        if (!item.empty()) values.push_back(std::move(item));
        start = i + 1;
    }
}

}  // namespace

std::string GetHeaderValue(const TStrings& headers, std::string_view name) {
    const std::string key = WithColon(name);
    const std::int32_t index = FindHeader(headers, key);
    if (index < 0) return {};
    std::string value = JoinedValue(headers, index);
    const std::string_view bare = std::string_view(key).substr(0, key.size() - 1);
    if (SameTextIgnoringCase(bare, "CONTENT-TYPE") || SameTextIgnoringCase(bare, "X-UIDL"))
        return value;
    value = ShortString(value);
    DecodeHeaderWords(value);
    return value;
}

void GetHeaderValues(const TStrings& headers, std::string_view name, StringVector& values) {
    values.clear();
    // The name is matched as a plain prefix, without a colon: stored messages
    // and callers rely on "TO" collecting every line that begins with it.
    for (std::int32_t i = FindHeader(headers, name); i >= 0; i = FindHeader(headers, name, i + 1))
        if (headers[i].find(':') != std::string::npos) SplitItems(JoinedValue(headers, i), values);
}

void RemoveHeader(TStrings& headers, std::string_view name) {
    const std::int32_t index = FindHeader(headers, WithColon(name));
    if (index < 0) return;
    headers.Delete(index);
    while (index < headers.Count() && !headers[index].empty() &&
           (headers[index].front() == ' ' || headers[index].front() == '\t'))
        headers.Delete(index);
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendPercentDecoded(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        int hi, lo;
        if (text[i] == '%' && i + 2 < text.size() && (hi = HexValue(text[i + 1])) >= 0 &&
            (lo = HexValue(text[i + 2])) >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
}

// The parameter's extended form ("name*=charset'language'text", or numbered
// pieces "name*0*=", "name*1=", ...), put together and unescaped; the
// charset is not converted. Nothing when it has no such form.
std::optional<std::string> ExtendedParamValue(std::string_view paramName, std::string_view text) {
    std::map<int, std::string> pieces;
    bool single = false;
    std::string singleValue;
    std::size_t at = text.find(';');
    while (at != std::string_view::npos) {
        std::size_t end = at + 1;
        bool quoted = false;
        while (end < text.size() && (quoted || text[end] != ';')) {
            if (text[end] == '"') quoted = !quoted;
            ++end;
        }
        std::string_view param = TrimBlanksAndControls(text.substr(at + 1, end - at - 1));
        at = end < text.size() ? end : std::string_view::npos;
        const std::size_t eq = param.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = TrimBlanksAndControls(param.substr(0, eq));
        std::string_view value = TrimBlanksAndControls(param.substr(eq + 1));
        if (key.size() <= paramName.size() || !StartsWithIgnoringCase(key, paramName) ||
            key[paramName.size()] != '*')
            continue;
        key.remove_prefix(paramName.size() + 1);
        const bool encoded = key.empty() || key.back() == '*';
        if (!key.empty() && key.back() == '*') key.remove_suffix(1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        int number = -1;
        if (!key.empty()) {
            number = 0;
            for (char c : key) {
                if (c < '0' || c > '9' || number > 999) {
                    number = -2;
                    break;
                }
                number = number * 10 + (c - '0');
            }
            if (number < 0) continue;
        }
        // The first piece (or the single value) starts with the charset
        // and the language.
        if (encoded && number <= 0) {
            const std::size_t first = value.find('\'');
            const std::size_t second =
                first == std::string_view::npos ? first : value.find('\'', first + 1);
            if (second != std::string_view::npos) value.remove_prefix(second + 1);
        }
        std::string decoded;
        if (encoded)
            AppendPercentDecoded(decoded, value);
        else
            decoded.assign(value);
        if (number < 0) {
            single = true;
            singleValue = std::move(decoded);
        } else {
            pieces.emplace(number, std::move(decoded));
        }
    }
    if (single) return singleValue;
    if (pieces.empty() || pieces.begin()->first != 0) return std::nullopt;
    std::string joined;
    int expected = 0;
    for (auto& [number, piece] : pieces) {
        if (number != expected++) break;
        joined += piece;
    }
    return joined;
}

}  // namespace

std::string GetParamValue(std::string_view paramName, std::string_view text) {
    if (paramName.empty()) return {};
    if (std::optional<std::string> extended = ExtendedParamValue(paramName, text))
        return std::move(*extended);
    // The name must stand as a parameter name of its own: "name" is not the
    // end of "filename", and an "=" (blanks allowed around it) follows.
    std::size_t valueStart = std::string_view::npos;
    for (std::size_t k = 0; k + paramName.size() <= text.size(); ++k) {
        if (!StartsWithIgnoringCase(text.substr(k), paramName)) continue;
        if (k > 0 && text[k - 1] != ';' && !IsBlankOrControl(text[k - 1])) continue;
        std::size_t j = k + paramName.size();
        while (j < text.size() && IsBlankOrControl(text[j])) ++j;
        if (j < text.size() && text[j] == '=') {
            valueStart = j + 1;
            break;
        }
    }
    if (valueStart == std::string_view::npos) return {};
    std::string_view rest = TrimBlanksAndControls(text.substr(valueStart));
    std::string_view collected;
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        collected = rest.substr(0, rest.find('"'));
    } else {
        collected = rest.substr(0, rest.find_first_of(" ;"));
    }
    if (!collected.empty() && collected.back() == ';') collected.remove_suffix(1);
    return std::string(TrimBlanksAndControls(collected));
}

std::string FirstToken(std::string_view text) {
    // No length limit: a first token longer than a short text comes back whole
    // and is cut where it is stored. Leading blanks are not a token's end.
    text = TrimBlanksAndControls(text);
    return std::string(TrimBlanksAndControls(text.substr(0, text.find_first_of(" ;"))));
}

}  // namespace quillpost
