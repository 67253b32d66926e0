#include "encoding/html_text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/ascii.h"
#include "base/char_class.h"
#include "base/utf8.h"

namespace quillpost {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
// No entity name is longer; a longer run after "&" is text.
constexpr std::size_t kMaxEntityName = 8;
// Tag names compared: longer ones are none we act on.
constexpr std::size_t kMaxTagName = 10;

// The Latin-1 entities, in code point order from U+00A0.
constexpr std::array<std::string_view, 96> kLatin1Entities = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

struct TEntity {
    std::string_view name;
    char32_t code;
};

// The other entities common in mail.
constexpr TEntity kOtherEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"euro", 0x20AC},   {"hellip", 0x2026}, {"mdash", 0x2014},
    {"ndash", 0x2013},  {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},
    {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"bull", 0x2022},
    {"trade", 0x2122},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"OElig", 0x152},   {"oelig", 0x153},
    {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},
    {"circ", 0x2C6},    {"tilde", 0x2DC},   {"ensp", 0x2002},   {"emsp", 0x2003},
    {"thinsp", 0x2009}, {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},
    {"rlm", 0x200F},    {"larr", 0x2190},   {"rarr", 0x2192},   {"uarr", 0x2191},
    {"darr", 0x2193},   {"minus", 0x2212},  {"infin", 0x221E},  {"ne", 0x2260},
    {"le", 0x2264},     {"ge", 0x2265},     {"hearts", 0x2665}, {"check", 0x2713},
};

// What a browser makes of a reference to 0x80..0x9F: the Windows-1252
// character there (0 where it has none).
constexpr char16_t kC1Characters[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char32_t NamedEntity(std::string_view name) {
    for (std::size_t i = 0; i < kLatin1Entities.size(); ++i)
        if (kLatin1Entities[i] == name) return static_cast<char32_t>(0xA0 + i);
    for (const TEntity& e : kOtherEntities)
        if (e.name == name) return e.code;
    return 0;
}

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

constexpr auto kAlphanumeric = AlphanumericAnd("");

bool IsAsciiAlnum(char c) { return kAlphanumeric[static_cast<unsigned char>(c)]; }
bool IsAsciiLetter(char c) { return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z'; }

// A character a reference may stand for in the text: surrogates, NUL and
// what lies beyond Unicode become U+FFFD, C1 codes their Windows-1252 reading.
char32_t ReferencedCharacter(std::uint32_t code) {
    if (code == 0 || code > 0x10FFFF || utf8_detail::IsSurrogate(code)) return kReplacement;
    if (code >= 0x80 && code < 0xA0) {
        const char16_t mapped = kC1Characters[code - 0x80];
        return mapped ? mapped : kReplacement;
    }
    return code;
}

// The reference at Html[At] ("&" there): its character and length, or 0
// when it is none (the "&" is then text). Numeric ones may lack the ";".
char32_t Reference(std::string_view html, std::size_t at, std::size_t& length) {
    std::size_t i = at + 1;
    if (i < html.size() && html[i] == '#') {
        const bool hex = i + 1 < html.size() && (html[i + 1] == 'x' || html[i + 1] == 'X');
        i += hex ? 2 : 1;
        const std::size_t digits = i;
        std::uint32_t code = 0;
        for (; i < html.size(); ++i) {
            const char c = html[i];
            int v = c >= '0' && c <= '9' ? c - '0' : -1;
            if (hex && v < 0 && IsAsciiLetter(c) && AsciiLower(c) <= 'f')
                v = AsciiLower(c) - 'a' + 10;
            if (v < 0) break;
            // Past Unicode it stays past Unicode, without overflowing.
            code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + static_cast<std::uint32_t>(v),
                                           0x110000);
        }
        if (i == digits) return 0;
        if (i < html.size() && html[i] == ';') ++i;
        length = i - at;
        return ReferencedCharacter(code);
    }
    while (i < html.size() && i - at <= kMaxEntityName && IsAsciiAlnum(html[i])) ++i;
    if (i >= html.size() || html[i] != ';') return 0;
    const char32_t code = NamedEntity(html.substr(at + 1, i - at - 1));
    length = i + 1 - at;
    return code;
}

// Where the tag name at Html[At] ends.
std::size_t TagNameEnd(std::string_view html, std::size_t at) {
    while (at < html.size() && !IsHtmlSpace(html[at]) && html[at] != '/' && html[at] != '>') ++at;
    return at;
}

std::string LowerName(std::string_view name) {
    if (name.size() > kMaxTagName) return {};
    std::string lower(name);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::ranges::find(names, name) != names.end();
}

// Elements whose content is no text of the page.
bool IsHidden(std::string_view tag) {
    // Not <head>: its end tag may be left out, and what it holds else is
    // no text.
    return OneOf(tag, {"script", "style", "title", "iframe", "noembed", "noframes", "template"});
}
// Line ends owed before and after an element: 2 an empty line, 1 a new line.
int BreaksAround(std::string_view tag) {
    if (OneOf(tag, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "blockquote"})) return 2;
    if (OneOf(tag, {"div",      "li",     "tr",      "ul",      "ol",      "dl",         "dt",
                    "dd",       "table",  "hr",      "section", "article", "header",     "footer",
                    "nav",      "aside",  "main",    "address", "figure",  "figcaption", "form",
                    "fieldset", "center", "caption", "body",    "html"}))
        return 1;
    return 0;
}

// A start tag's name and the attributes read from it.
struct TTag {
    std::string name;
    std::string href;
    std::string alt;
    bool closed = false;  // ">" was found
};

// The page's text as it is put together: white space is owed until text
// follows, and line ends are owed as the most any element asked for.
class TTextBuilder {
public:
    void Space() {
        if (!out_.empty() && trailingBreaks_ == 0) space_ = true;
    }
    void Breaks(int count) {
        breaks_ = std::max(breaks_, count);
        space_ = false;
    }
    // A line end that does not collapse (<br>, a line of <pre>).
    void HardBreak() {
        Flush();
        out_ += '\n';
        ++trailingBreaks_;
        space_ = false;
    }
    void Marker() { marker_ = true; }
    void Text(std::string_view text) {
        if (text.empty()) return;
        Flush();
        if (space_) out_ += ' ';
        space_ = false;
        if (marker_) out_ += "* ";
        marker_ = false;
        out_ += text;
        trailingBreaks_ = 0;
    }
    void Character(char32_t c) {
        if (c == 0xA0 || c == 0x2002 || c == 0x2003 || c == 0x2009) c = ' ';
        // Zero-width joiners and marks read as nothing in a plain text.
        if (c == 0xAD || (c >= 0x200B && c <= 0x200F)) return;
        std::string bytes;
        utf8_detail::Append(bytes, c);
        Text(bytes);
    }
    std::size_t Size() const { return out_.size(); }
    std::string_view Since(std::size_t at) const {
        return std::string_view(out_).substr(std::min(at, out_.size()));
    }
    std::string Finish() {
        while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' ')) out_.pop_back();
        return std::move(out_);
    }

private:
    void Flush() {
        if (out_.empty()) {
            breaks_ = 0;
            return;
        }
        for (; trailingBreaks_ < breaks_; ++trailingBreaks_) out_ += '\n';
        if (breaks_ > 0) space_ = false;
        breaks_ = 0;
    }

    std::string out_;
    int breaks_ = 0;
    int trailingBreaks_ = 0;
    bool space_ = false;
    bool marker_ = false;
};

class THtmlText {
public:
    explicit THtmlText(std::string_view html) : html_(html) {}

    std::string Run() {
        while (at_ < html_.size()) {
            const char c = html_[at_];
            if (c == '<')
                Markup();
            else if (c == '&')
                Ampersand();
            else
                Run(c);
        }
        return out_.Finish();
    }

private:
    // A run of text up to the next markup, reference or white space.
    void Run(char c) {
        if (IsHtmlSpace(c)) {
            if (pre_ == 0) {
                out_.Space();
            } else if (c == '\n') {
                out_.HardBreak();
            } else if (c == ' ' || c == '\t') {
                out_.Text(std::string_view(&html_[at_], 1));
            }
            ++at_;
            return;
        }
        if (IsAsciiControl(c)) {
            ++at_;
            return;
        }
        std::size_t end = at_ + 1;
        while (end < html_.size() && html_[end] != '<' && html_[end] != '&' &&
               !IsHtmlSpace(html_[end]) && !IsAsciiControl(html_[end]))
            ++end;
        out_.Text(html_.substr(at_, end - at_));
        at_ = end;
    }

    void Ampersand() {
        std::size_t length = 0;
        const char32_t c = Reference(html_, at_, length);
        if (c == 0) {
            out_.Text("&");
            ++at_;
            return;
        }
        at_ += length;
        if (c < 0x80 && IsHtmlSpace(static_cast<char>(c)))
            pre_ > 0 && c == '\n' ? out_.HardBreak() : out_.Space();
        else if (c >= 0x20 && c != 0x7F)
            out_.Character(c);
    }

    void Markup() {
        const std::size_t next = at_ + 1;
        const char c = next < html_.size() ? html_[next] : '\0';
        if (html_.substr(at_, 4) == "<!--") {
            SkipPast("-->", at_ + 4);
        } else if (c == '!' || c == '?') {
            SkipPast(">", next);
        } else if (c == '/' && next + 1 < html_.size() && IsAsciiLetter(html_[next + 1])) {
            const std::size_t nameEnd = TagNameEnd(html_, next + 1);
            const std::string name = LowerName(html_.substr(next + 1, nameEnd - next - 1));
            SkipPast(">", nameEnd);
            EndTag(name);
        } else if (IsAsciiLetter(c)) {
            StartTag();
        } else {
            out_.Text("<");
            ++at_;
        }
    }

    // Past the next Mark from From, or to the end when there is none.
    void SkipPast(std::string_view mark, std::size_t from) {
        const std::size_t found = html_.find(mark, std::min(from, html_.size()));
        at_ = found == std::string_view::npos ? html_.size() : found + mark.size();
    }

    TTag ReadTag();
    std::string AttributeValue(std::size_t& i);
    void StartTag();
    void EndTag(const std::string& name);
    void SkipHidden(const std::string& name);
    // An attribute's text is no markup: only its white space collapses.
    void AltText(std::string_view text) {
        for (char c : text) {
            if (IsHtmlSpace(c))
                out_.Space();
            else if (!IsAsciiControl(c))
                out_.Text(std::string_view(&c, 1));
        }
    }

    std::string_view html_;
    std::size_t at_ = 0;
    TTextBuilder out_;
    int pre_ = 0;
    // The open link's URL, and where its text began; no link nests.
    bool inLink_ = false;
    std::string href_;
    std::size_t linkText_ = 0;
};

std::string THtmlText::AttributeValue(std::size_t& i) {
    std::size_t end;
    std::size_t start = i;
    if (html_[i] == '"' || html_[i] == '\'') {
        const char quote = html_[i];
        start = i + 1;
        end = html_.find(quote, start);
        if (end == std::string_view::npos) end = html_.size();
        i = std::min(end + 1, html_.size());
    } else {
        end = i;
        while (end < html_.size() && !IsHtmlSpace(html_[end]) && html_[end] != '>') ++end;
        i = end;
    }
    // References in a value are decoded; it is read only for a link or an
    // image, so its text is made from a page of its own.
    const std::string_view raw = html_.substr(start, end - start);
    if (raw.find('&') == std::string_view::npos) return std::string(raw);
    std::string value;
    for (std::size_t k = 0; k < raw.size();) {
        std::size_t length = 0;
        const char32_t c = raw[k] == '&' ? Reference(raw, k, length) : 0;
        if (c == 0) {
            value += raw[k++];
        } else {
            utf8_detail::Append(value, c);
            k += length;
        }
    }
    return value;
}

TTag THtmlText::ReadTag() {
    TTag tag;
    std::size_t i = TagNameEnd(html_, at_ + 1);
    tag.name = LowerName(html_.substr(at_ + 1, i - at_ - 1));
    while (i < html_.size()) {
        const char c = html_[i];
        if (c == '>') {
            tag.closed = true;
            ++i;
            break;
        }
        if (IsHtmlSpace(c) || c == '/') {
            ++i;
            continue;
        }
        const std::size_t nameStart = i;
        while (i < html_.size() && !IsHtmlSpace(html_[i]) && html_[i] != '/' && html_[i] != '>' &&
               (html_[i] != '=' || i == nameStart))
            ++i;
        const std::string name = LowerName(html_.substr(nameStart, i - nameStart));
        while (i < html_.size() && IsHtmlSpace(html_[i])) ++i;
        if (i >= html_.size() || html_[i] != '=') continue;
        ++i;
        while (i < html_.size() && IsHtmlSpace(html_[i])) ++i;
        if (i >= html_.size()) break;
        std::string value = AttributeValue(i);
        if (name == "href" && tag.name == "a") tag.href = std::move(value);
        if (name == "alt" && tag.name == "img") tag.alt = std::move(value);
    }
    at_ = i;
    return tag;
}

// Whether a link's URL tells a reader of the text something.
bool ShownUrl(std::string_view url) {
    return !url.empty() && url[0] != '#' && !StartsWithIgnoringCase(url, "javascript:") &&
           !StartsWithIgnoringCase(url, "cid:");
}

// A URL without the white space and control characters a browser drops.
std::string CleanUrl(std::string_view url) {
    std::string clean;
    for (char c : url)
        if (!IsHtmlSpace(c) && !IsAsciiControl(c)) clean += c;
    return clean;
}

void THtmlText::StartTag() {
    TTag tag = ReadTag();
    if (!tag.closed) return;  // the page ended inside the tag
    const std::string& name = tag.name;
    if (IsHidden(name)) {
        SkipHidden(name);
        return;
    }
    if (name == "br") {
        out_.HardBreak();
    } else if (name == "td" || name == "th") {
        out_.Space();
    } else if (name == "img") {
        AltText(tag.alt);
    } else if (name == "a" && !inLink_) {
        inLink_ = true;
        href_ = CleanUrl(tag.href);
        linkText_ = out_.Size();
    }
    if (const int breaks = BreaksAround(name)) out_.Breaks(breaks);
    if (name == "li") out_.Marker();
    if (name == "pre") ++pre_;
}

void THtmlText::EndTag(const std::string& name) {
    if (name == "a" && inLink_) {
        inLink_ = false;
        const std::string_view text = out_.Since(linkText_);
        const bool same = text.ends_with(href_) || (StartsWithIgnoringCase(href_, "mailto:") &&
                                                    text.ends_with(href_.substr(7)));
        if (ShownUrl(href_) && !same) {
            out_.Space();
            out_.Text("<" + href_ + ">");
        }
        href_.clear();
    }
    if (const int breaks = BreaksAround(name)) out_.Breaks(breaks);
    if (name == "pre" && pre_ > 0) --pre_;
}

void THtmlText::SkipHidden(const std::string& name) {
    // Up to the element's own end tag, in any case; a page that never closes
    // it shows nothing more.
    for (std::size_t from = at_;;) {
        const std::size_t lt = html_.find("</", from);
        if (lt == std::string_view::npos) {
            at_ = html_.size();
            return;
        }
        const std::size_t nameEnd = TagNameEnd(html_, lt + 2);
        if (LowerName(html_.substr(lt + 2, nameEnd - lt - 2)) == name) {
            SkipPast(">", nameEnd);
            return;
        }
        from = lt + 2;
    }
}

}  // namespace

std::string HtmlToText(std::string_view html) { return THtmlText(html).Run(); }

std::string HtmlInAscii(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    for (std::size_t i = 0; i < html.size();) {
        std::size_t length = 1;
        const long cp = utf8_detail::Decode(html, i, length);
        if (cp >= 0 && cp < 0x80) {
            out += html[i];
        } else {
            out += "&#" + std::to_string(cp < 0 ? kReplacement : cp) + ';';
        }
        i += length;
    }
    return out;
}

}  // namespace quillpost
