// The ESMTP members: the extensions a session may not use and what each
// message asks of the envelope. Every value is checked here, where it
// enters, so the session only ever sees keywords it can send as they are.
#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "mailer/mailer.h"
#include "message/address_syntax.h"

namespace quillpost {
namespace {

constexpr std::string_view kExtensions[] = {"PIPELINING", "SIZE", "CHUNKING", "8BITMIME", "DSN"};
constexpr std::string_view kNotices[] = {"SUCCESS", "FAILURE", "DELAY", "NEVER"};
constexpr std::string_view kNever = "NEVER";
// RFC 3461: an envelope identifier has at most 100 characters.
constexpr std::size_t kMaxEnvelopeIdLength = 100;

std::string Joined(std::span<const std::string> names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
    return text;
}

// "A, B or C".
std::string Alternatives(std::span<const std::string_view> names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::string(i == 0                  ? ""
                            : i + 1 == names.size() ? " or "
                                                    : ", ") +
                std::string(names[i]);
    return text;
}

// Value as a comma list of Known's names in any case, blanks around them
// allowed, into Names: upper case, each once, in Known's order, so that one
// set always reads back (and identifies a kept session) the same way; a
// blank value is the empty list. Returns why it is not such a list, or "".
std::string ParseKeywords(std::string_view value, std::span<const std::string_view> known,
                          std::vector<std::string>& names) {
    names.clear();
    if (TrimBlanks(value).empty()) return {};
    std::vector<bool> named(known.size());
    for (std::size_t start = 0, comma = 0; comma != std::string_view::npos; start = comma + 1) {
        comma = value.find(',', start);
        const std::string_view entry = TrimBlanks(value.substr(start, comma - start));
        const std::string name = AsciiUpperText(entry);
        if (name.empty()) return "has an empty entry";
        const auto at = std::find(known.begin(), known.end(), name);
        if (at == known.end())
            return "names " + ShownForMessage(entry) + ", which is not " + Alternatives(known);
        named[at - known.begin()] = true;
    }
    for (std::size_t i = 0; i < known.size(); ++i)
        if (named[i]) names.emplace_back(known[i]);
    return {};
}

}  // namespace

std::string TMailer::DisableExtensions() const { return Joined(session_.disabledExtensions); }

void TMailer::SetDisableExtensions(std::string_view v) {
    std::vector<std::string> names;
    if (const std::string fault = ParseKeywords(v, kExtensions, names); !fault.empty())
        RefuseValue("DisableExtensions", v, fault);
    session_.disabledExtensions = std::move(names);
}

void TMailer::SetDSNNotify(std::string_view v) {
    std::vector<std::string> names;
    std::string fault = ParseKeywords(v, kNotices, names);
    if (fault.empty() && names.size() > 1 && std::ranges::find(names, kNever) != names.end())
        fault = "combines NEVER, which stands alone, with another value";
    if (!fault.empty()) RefuseValue("DSNNotify", v, fault);
    envelope_.dsnNotify = Joined(names);
}

void TMailer::SetDSNReturn(std::string_view v) {
    std::string value = AsciiUpperText(TrimBlanks(v));
    if (!value.empty() && value != "FULL" && value != "HDRS")
        RefuseValue("DSNReturn", v, "is not FULL, HDRS or empty");
    envelope_.dsnReturn = std::move(value);
}

void TMailer::SetEnvelopeID(std::string_view v) {
    if (v.size() > kMaxEnvelopeIdLength)
        RefuseValue("EnvelopeID", v,
                    "is longer than the 100 characters an envelope identifier may have");
    if (std::ranges::any_of(v, [](char c) { return c < 0x21 || c > 0x7E; }))
        RefuseValue("EnvelopeID", v,
                    "is not printable ASCII without blanks (0x21 to 0x7E) throughout");
    envelope_.envelopeId = v;
}

}  // namespace quillpost
