#include "encoding/header_words.h"

#include <algorithm>
#include <vector>

#include "base/ascii.h"
#include "base/char_class.h"
#include "base/utf8.h"
#include "encoding/base64.h"
#include "encoding/quoted_printable.h"
#include "util/errors.h"
#include "util/short_string.h"

namespace quillpost {

namespace {

struct EncodedWord {
    std::size_t end = 0;  // index just past the closing "?="
    std::string decoded;
};

// Parses the word that begins at Start ("=?"); false when it is not one.
bool ParseWord(const std::string& value, std::size_t start, EncodedWord& word) {
    const std::size_t charsetEnd = value.find('?', start + 2);
    if (charsetEnd == std::string::npos || charsetEnd + 2 >= value.size()) return false;
    // A charset is one token: a blank means this "=?" opens no word.
    for (std::size_t i = start + 2; i < charsetEnd; ++i)
        if (IsBlankOrControl(value[i])) return false;
    const char letter = value[charsetEnd + 1];
    if (value[charsetEnd + 2] != '?') return false;
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t close = value.find("?=", textStart);
    if (close == std::string::npos) return false;
    std::string text = value.substr(textStart, close - textStart);
    if (letter == 'B' || letter == 'b') {
        // A character outside the alphabet makes it no word: received header
        // text is kept as it came rather than failing the whole message.
        try {
            word.decoded = DecodeBase64(text, kShortStringMax);
        } catch (const EInOutError&) {
            return false;
        }
    } else if (letter == 'Q' || letter == 'q') {
        // The underscore stands for a space in Q text only; an escaped
        // underscore (=5F) stays one.
        std::replace(text.begin(), text.end(), '_', ' ');
        word.decoded = DecodeQPText(text, kShortStringMax);
    } else {
        word.decoded.clear();
    }
    word.end = close + 2;
    return true;
}

constexpr std::size_t kLineLimit = 76;
constexpr std::size_t kWordLimit = 75;

bool IsWordBlank(char c) { return c == ' ' || c == '\t'; }

// Q text keeps only what is safe in every place a word may stand, a phrase
// included; the blank becomes "_".
constexpr auto kQSafe = AlphanumericAnd("!*+-/");

std::size_t QSize(unsigned char c) { return kQSafe[c] || c == ' ' ? 1 : 3; }

void AppendQ(std::string& out, std::string_view bytes) {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += '_';
        } else if (kQSafe[c]) {
            out += ch;
        } else {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

bool NeedsWord(std::string_view word, THeaderText kind) {
    if (!IsAscii(word)) return true;
    // A word that holds what could open an encoded word is encoded, so it is
    // not decoded into something else.
    if (word.find("=?") != std::string_view::npos) return true;
    return kind == THeaderText::Phrase && word.find_first_of("()<>[]:;@\\,.\"") != word.npos;
}

class HeaderWordWriter {
public:
    explicit HeaderWordWriter(std::string_view prefix, std::string_view charset = "utf-8")
        : out_(prefix),
          line_(prefix.size()),
          qStart_("=?" + std::string(charset) + "?Q?"),
          bStart_("=?" + std::string(charset) + "?B?") {}

    // Starts a new line before a word that would pass the limit, when there
    // is a blank to fold at and the line holds something to fold after.
    void Plain(std::string_view blank, std::string_view word) {
        if (!blank.empty() && line_ > blank.size() &&
            line_ + blank.size() + word.size() > kLineLimit)
            Fold();
        out_ += blank;
        out_ += word;
        line_ += blank.size() + word.size();
    }

    void Encoded(std::string_view blank, std::string_view text) {
        std::size_t qSize = 0;
        for (char c : text) qSize += QSize(static_cast<unsigned char>(c));
        const bool useQ = qSize <= Base64EncodedSize(text.size());
        std::string sep(blank);
        while (!text.empty()) {
            std::size_t room = Room(sep);
            // Too little room for a character here: the word goes on the next line.
            if (room < 12 && !sep.empty() && line_ > sep.size()) {
                Fold();
                room = Room(sep);
            }
            std::size_t take = 0, size = 0;
            while (take < text.size()) {
                const std::size_t n = std::max<std::size_t>(
                    1, Utf8SequenceLength(static_cast<unsigned char>(text[take])));
                std::size_t next = 0;
                if (useQ) {
                    for (std::size_t k = take; k < take + n && k < text.size(); ++k)
                        next += QSize(static_cast<unsigned char>(text[k]));
                    next += size;
                } else {
                    next = Base64EncodedSize(take + n);
                }
                if (take > 0 && next > room) break;
                take = std::min(take + n, text.size());
                size = next;
            }
            // Some readers join the text of adjacent B words before decoding
            // it: a word that is not the last of its run ends without padding
            // where a character boundary allows.
            if (!useQ && take < text.size() && take % 3 != 0) {
                std::size_t at = 0, best = 0;
                while (at < take) {
                    at += std::max<std::size_t>(
                        1, Utf8SequenceLength(static_cast<unsigned char>(text[at])));
                    if (at <= take && at % 3 == 0) best = at;
                }
                if (best > 0) take = best;
            }
            std::string word(useQ ? qStart_ : bStart_);
            if (useQ)
                AppendQ(word, text.substr(0, take));
            else
                word += EncodeBase64(text.substr(0, take), std::string::npos);
            word += "?=";
            out_ += sep;
            out_ += word;
            line_ += sep.size() + word.size();
            text.remove_prefix(take);
            // Blanks between two encoded words are not text; the run's own
            // blanks are inside the words.
            sep = " ";
        }
    }

    std::string Take() { return std::move(out_); }

private:
    std::size_t Room(std::string_view sep) const {
        // The word's start and its closing "?=".
        const std::size_t overhead = qStart_.size() + 2;
        const std::size_t used = line_ + sep.size() + overhead;
        const std::size_t left = used < kLineLimit ? kLineLimit - used : 0;
        return std::min(left, kWordLimit - overhead);
    }

    void Fold() {
        out_ += "\r\n";
        line_ = 0;
    }

    std::string out_;
    std::size_t line_;
    std::string qStart_;
    std::string bStart_;
};

// RFC 2231 attribute characters: what may stand unescaped in an extended value.
constexpr auto kAttributeChar = AlphanumericAnd("!#$&+-.^_`|~");

}  // namespace

std::string WriteExtendedParam(std::string_view name, std::string_view value,
                               std::string_view charset) {
    constexpr std::size_t kSegment = 56;
    constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> segments(1, std::string(charset) + "''");
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t n = std::min(
            value.size() - i,
            std::max<std::size_t>(1, Utf8SequenceLength(static_cast<unsigned char>(value[i]))));
        std::string piece;
        for (std::size_t k = i; k < i + n; ++k) {
            const auto c = static_cast<unsigned char>(value[k]);
            if (kAttributeChar[c]) {
                piece += static_cast<char>(c);
            } else {
                piece += '%';
                piece += kHex[c >> 4];
                piece += kHex[c & 15];
            }
        }
        if (segments.back().size() + piece.size() > kSegment) segments.emplace_back();
        segments.back() += piece;
        i += n;
    }
    std::string out;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (k > 0) out += ';';
        out += "\r\n\t";
        out += name;
        out += '*';
        if (segments.size() > 1) out += std::to_string(k) + '*';
        out += '=';
        out += segments[k];
    }
    return out;
}

std::string AsciiFallbackName(std::string_view name) {
    // A name in the ANSI code page has one byte a character.
    const bool utf8 = IsUtf8(name);
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t n = utf8 ? std::max<std::size_t>(1, Utf8SequenceLength(c)) : 1;
        out += c >= 0x80 || IsAsciiControl(name[i]) || c == '"' || c == '\\' ? '_' : name[i];
        i += n;
    }
    return out;
}

std::string WriteHeaderWords(std::string_view prefix, std::string_view text, THeaderText kind,
                             std::string_view suffix) {
    HeaderWordWriter writer(prefix);
    // A display name that needs encoding goes whole into encoded words:
    // readers disagree on the blanks between an encoded and a plain word
    // of a phrase, and a fold there would stay in the name.
    if (kind == THeaderText::Phrase && !text.empty()) {
        const std::size_t start = text.find_first_not_of(" \t");
        const std::size_t end = text.find_last_not_of(" \t");
        if (start != std::string_view::npos) {
            writer.Plain({}, text.substr(0, start));
            writer.Encoded({}, text.substr(start, end + 1 - start));
            writer.Plain({}, text.substr(end + 1));
        }
        text = {};
    }
    // Runs of words that need encoding are gathered with the blanks between
    // them; a plain word, an address or the end closes a run.
    std::string_view runBlank;
    std::size_t runStart = std::string_view::npos, runEnd = 0;
    auto closeRun = [&] {
        if (runStart == std::string_view::npos) return;
        writer.Encoded(runBlank, text.substr(runStart, runEnd - runStart));
        runStart = std::string_view::npos;
    };
    bool inAngle = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t blankStart = i;
        while (i < text.size() && IsWordBlank(text[i])) ++i;
        const std::string_view blank = text.substr(blankStart, i - blankStart);
        if (i == text.size()) {
            closeRun();
            writer.Plain({}, blank);
            break;
        }
        const std::size_t wordStart = i;
        while (i < text.size() && !IsWordBlank(text[i])) ++i;
        const std::string_view word = text.substr(wordStart, i - wordStart);
        bool address = false;
        if (kind == THeaderText::Mixed) {
            address = inAngle || word.find('@') != word.npos;
            const std::size_t open = word.rfind('<'), close = word.rfind('>');
            if (open != word.npos) address = true;
            if (open != word.npos || close != word.npos)
                inAngle = open != word.npos && (close == word.npos || close < open);
        }
        if (!address && NeedsWord(word, kind)) {
            if (runStart == std::string_view::npos) {
                runBlank = blank;
                runStart = wordStart;
            }
            runEnd = i;
            continue;
        }
        closeRun();
        writer.Plain(blank, word);
    }
    closeRun();
    if (!suffix.empty()) {
        const std::size_t start = suffix.find_first_not_of(" \t");
        writer.Plain(suffix.substr(0, std::min(start, suffix.size())),
                     start == suffix.npos ? std::string_view{} : suffix.substr(start));
    }
    return writer.Take();
}

namespace {

bool FitsLines(std::string_view text) {
    for (std::size_t start = 0;;) {
        const std::size_t stop = text.find_first_of("\r\n", start);
        if ((stop == std::string_view::npos ? text.size() : stop) - start > kMaxLine) return false;
        if (stop == std::string_view::npos) return true;
        start = stop + 1;
    }
}

// Headers whose value is free text, where encoded words may stand.
bool IsFreeText(std::string_view name) {
    return SameTextIgnoringCase(name, "Subject") || SameTextIgnoringCase(name, "Comments") ||
           StartsWithIgnoringCase(name, "X-");
}

[[noreturn]] void RaiseTooLong(std::string_view name) {
    // A name is one word: only the start of an over-long one is worth showing.
    constexpr std::size_t kShownName = 76;
    throw EMessageError("The header " + std::string(name.substr(0, kShownName)) +
                        " has a line over 998 octets with no white space to fold at");
}

}  // namespace

std::string FitHeaderLine(std::string_view line, std::string_view charset) {
    if (FitsLines(line)) return std::string(line);
    // The caller's own folds are taken apart and the text folded anew.
    std::string text;
    for (char c : line)
        if (c != '\r' && c != '\n') text += c;
    const std::size_t colon = text.find(':');
    const std::string_view name =
        std::string_view(text).substr(0, colon == std::string::npos ? 0 : colon);
    const bool free = IsFreeText(name);
    const std::size_t valueStart = colon == std::string::npos ? 0 : colon + 1;
    HeaderWordWriter writer(std::string_view(text).substr(0, valueStart), charset);
    const std::string_view value = std::string_view(text).substr(valueStart);
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t blankStart = i;
        while (i < value.size() && IsWordBlank(value[i])) ++i;
        const std::size_t wordStart = i;
        while (i < value.size() && !IsWordBlank(value[i])) ++i;
        const std::string_view blank = value.substr(blankStart, wordStart - blankStart);
        const std::string_view word = value.substr(wordStart, i - wordStart);
        if (word.size() < kMaxLine) {
            writer.Plain(blank, word);
        } else if (free && word.find_first_of("<>@") == std::string_view::npos) {
            // Blanks between encoded words are no text: the word reads back whole.
            writer.Encoded(blank.empty() ? " " : blank, word);
        } else {
            RaiseTooLong(name);
        }
    }
    std::string out = writer.Take();
    if (!FitsLines(out)) RaiseTooLong(name);
    return out;
}

void DecodeHeaderWords(std::string& value) {
    std::size_t from = 0;
    bool decodedAny = false;
    while (true) {
        const std::size_t start = value.find("=?", from);
        if (start == std::string::npos) break;
        EncodedWord word;
        if (!ParseWord(value, start, word)) {
            from = start + 2;
            continue;
        }
        // Blanks between two encoded words are not part of the text.
        std::size_t rest = word.end;
        while (rest < value.size() && IsBlankOrControl(value[rest])) ++rest;
        EncodedWord next;
        if (!(rest + 1 < value.size() && value.compare(rest, 2, "=?") == 0 &&
              ParseWord(value, rest, next)))
            rest = word.end;
        value = value.substr(0, start) + word.decoded + value.substr(rest);
        from = start + word.decoded.size();
        decodedAny = true;
    }
    if (decodedAny) {
        while (!value.empty() && IsBlankOrControl(value.back())) value.pop_back();
        value = ShortString(value);
    }
}

}  // namespace quillpost
