#include "message/address_syntax.h"

#include <algorithm>
#include <cstddef>

#include "base/ascii.h"
#include "base/char_class.h"
#include "base/utf8.h"

namespace quillpost {
namespace {

constexpr std::size_t kMaxMailbox = 254;
constexpr std::size_t kMaxLabel = 63;

constexpr auto kAtext = AlphanumericAnd("!#$%&'*+-/=?^_`{|}~");
constexpr auto kLetDig = AlphanumericAnd("");

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f'); }

// Length of the well-formed UTF-8 sequence (outside ASCII) at Text[At], or 0.
// AnyByte takes any byte outside ASCII as one character: a display name may
// be in the ANSI code page by now.
std::size_t NonAsciiAt(std::string_view text, std::size_t at, bool anyByte) {
    if (anyByte) return static_cast<unsigned char>(text[at]) >= 0x80 ? 1 : 0;
    const std::size_t n = Utf8SequenceLength(static_cast<unsigned char>(text[at]));
    if (n < 2 || at + n > text.size() || !IsUtf8(text.substr(at, n))) return 0;
    return n;
}

// A run of characters that Accept takes, each ASCII or one UTF-8 character.
template <typename Accept>
std::size_t RunOf(std::string_view text, std::size_t at, Accept&& accept, bool anyByte = false) {
    const std::size_t start = at;
    while (at < text.size()) {
        if (accept(static_cast<unsigned char>(text[at]))) {
            ++at;
        } else if (std::size_t n = NonAsciiAt(text, at, anyByte)) {
            at += n;
        } else {
            break;
        }
    }
    return at - start;
}

// Dot-string: atoms joined by single dots.
bool IsDotString(std::string_view text) {
    std::size_t at = 0;
    while (true) {
        const std::size_t n = RunOf(text, at, [](unsigned char c) { return kAtext[c]; });
        if (n == 0) return false;
        at += n;
        if (at == text.size()) return true;
        if (text[at] != '.') return false;
        ++at;
    }
}

// Length of the quoted string at the start of Text (its quotes included), 0
// when there is none. Blanks stand as they are; no control character does.
std::size_t QuotedStringAt(std::string_view text, bool anyByte = false) {
    if (text.empty() || text[0] != '"') return 0;
    for (std::size_t at = 1; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '"') return at + 1;
        if (c == '\\') {
            if (at + 1 >= text.size() || text[at + 1] < ' ' || text[at + 1] > '~') return 0;
            at += 2;
        } else if (c >= ' ' && c <= '~') {
            ++at;
        } else if (std::size_t n = NonAsciiAt(text, at, anyByte)) {
            at += n;
        } else {
            return 0;
        }
    }
    return 0;
}

bool IsDomain(std::string_view text) {
    std::size_t at = 0;
    while (true) {
        const std::size_t start = at;
        std::size_t n = RunOf(text, at, [](unsigned char c) { return kLetDig[c] || c == '-'; });
        if (n == 0 || n > kMaxLabel || text[start] == '-' || text[start + n - 1] == '-')
            return false;
        at += n;
        if (at == text.size()) return true;
        if (text[at] != '.') return false;
        ++at;
    }
}

bool IsSnum(std::string_view text) {
    if (text.empty() || text.size() > 3) return false;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

bool IsIPv4(std::string_view text) {
    for (int part = 0; part < 3; ++part) {
        const std::size_t dot = text.find('.');
        if (dot == std::string_view::npos || !IsSnum(text.substr(0, dot))) return false;
        text.remove_prefix(dot + 1);
    }
    return IsSnum(text);
}

// Hex groups split at ":"; an IPv4 address may end them and counts as two.
// -1 when a group is malformed.
int CountGroups(std::string_view text, bool last) {
    if (text.empty()) return 0;
    int groups = 0;
    while (true) {
        const std::size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && last && group.find('.') != group.npos)
            return IsIPv4(group) ? groups + 2 : -1;
        if (group.empty() || group.size() > 4) return -1;
        for (char c : group)
            if (!IsHex(c)) return -1;
        ++groups;
        if (colon == std::string_view::npos) return groups;
        text.remove_prefix(colon + 1);
    }
}

bool IsIPv6(std::string_view text) {
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) return CountGroups(text, true) == 8;
    const int before = CountGroups(text.substr(0, gap), false);
    const int after = CountGroups(text.substr(gap + 2), true);
    // "::" stands for at least two groups of zeros.
    return before >= 0 && after >= 0 && before + after <= 6;
}

// The text between "[" and "]".
bool IsAddressLiteral(std::string_view text) {
    if (IsIPv4(text)) return true;
    if (StartsWithIgnoringCase(text, "IPv6:")) return IsIPv6(text.substr(5));
    // A general literal: a standardized tag, ":" and printable text without
    // brackets or backslash.
    const std::size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == text.size()) return false;
    for (std::size_t i = 0; i < colon; ++i)
        if (!kLetDig[static_cast<unsigned char>(text[i])] && text[i] != '-') return false;
    if (text[colon - 1] == '-') return false;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '!' || c > '~' || c == '[' || c == '\\' || c == ']') return false;
    }
    return true;
}

}  // namespace

bool IsMailbox(std::string_view text) {
    if (text.empty() || text.size() > kMaxMailbox) return false;
    std::size_t local = QuotedStringAt(text);
    if (local == 0) {
        local = text.rfind('@');
        if (local == std::string_view::npos || !IsDotString(text.substr(0, local))) return false;
    }
    if (local >= text.size() || text[local] != '@') return false;
    const std::string_view domain = text.substr(local + 1);
    if (!domain.empty() && domain.front() == '[')
        return domain.size() > 2 && domain.back() == ']' &&
               IsAddressLiteral(domain.substr(1, domain.size() - 2));
    return IsDomain(domain);
}

bool IsDnsName(std::string_view text) {
    constexpr std::size_t kMaxName = 253;
    return text.size() <= kMaxName && IsAscii(text) && IsDomain(text);
}

bool IsPhrase(std::string_view text, bool anyByte) {
    // Atoms may hold dots here: "J. Smith" is how names have long been written.
    std::size_t at = 0;
    bool word = false;
    while (at < text.size()) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
        } else if (std::size_t q = QuotedStringAt(text.substr(at), anyByte)) {
            at += q;
            word = true;
        } else if (std::size_t n = RunOf(
                       text, at, [](unsigned char c) { return kAtext[c] || c == '.'; }, anyByte)) {
            at += n;
            word = true;
        } else {
            return false;
        }
    }
    return word;
}

std::string_view MailboxOf(std::string_view text) {
    const std::size_t open = text.rfind('<');
    if (open == std::string_view::npos || text.back() != '>') return text;
    return text.substr(open + 1, text.size() - open - 2);
}

bool IsAddressValue(std::string_view text) {
    const std::string_view mailbox = MailboxOf(text);
    if (!IsMailbox(mailbox)) return false;
    if (mailbox.size() == text.size()) return true;
    const std::string_view name = text.substr(0, text.size() - mailbox.size() - 2);
    return name.find_first_not_of(" \t") == std::string_view::npos || IsPhrase(name);
}

bool IsHeaderFieldName(std::string_view name) {
    return !name.empty() &&
           std::ranges::all_of(name, [](char c) { return c >= '!' && c <= '~' && c != ':'; });
}

bool IsHeaderLine(std::string_view line) {
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) return true;
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && IsHeaderFieldName(line.substr(0, colon));
}

const char* HeaderTextFault(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            const bool fold = c == '\r' && i + 2 < text.size() && text[i + 1] == '\n' &&
                              (text[i + 2] == ' ' || text[i + 2] == '\t');
            if (!fold) return "contains a line break";
            ++i;
        } else if (c != '\t' && IsAsciiControl(text[i])) {
            return "contains a control character";
        }
    }
    return nullptr;
}

std::string QuotedForMessage(std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (IsAsciiControl(ch)) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

std::string ShownForMessage(std::string_view text) {
    constexpr std::size_t kMaxShownLength = 120;
    if (text.size() > kMaxShownLength) return "of " + std::to_string(text.size()) + " bytes";
    return QuotedForMessage(text);
}

}  // namespace quillpost
