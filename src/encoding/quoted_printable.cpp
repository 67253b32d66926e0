#include "encoding/quoted_printable.h"

#include <algorithm>
#include <cstring>

#include "platform/message_pump.h"
#include "util/errors.h"

namespace quillpost {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kEndOfText = 26;

[[noreturn]] void RaiseParagraphTooLarge() { throw EQuillpostError(kParagraphTooLarge); }

// Decodes Text onto the end of Out.
void AppendDecoded(std::string_view text, std::string& out) {
    const std::size_t n = text.size();
    const char* s = text.data();
    std::size_t i = 0;
    while (i < n) {
        const char* eq = static_cast<const char*>(std::memchr(s + i, '=', n - i));
        const std::size_t stop = eq ? static_cast<std::size_t>(eq - s) : n;
        out.append(s + i, stop - i);
        i = stop;
        if (i == n) break;
        if (i + 2 < n) {
            const std::uint8_t hi = kHexValues[static_cast<unsigned char>(s[i + 1])];
            const std::uint8_t lo = kHexValues[static_cast<unsigned char>(s[i + 2])];
            if ((hi | lo) != 255 && hi < 16 && lo < 16) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.push_back('=');
        ++i;
    }
}

}  // namespace

namespace {

// Every byte's escaped form in its first three characters (unused ones
// zero) and its length in the fourth, so that the hot loop copies four
// bytes and advances by the length without a branch on the byte.
constexpr std::array<std::array<char, 4>, 256> kQPEscapes = [] {
    std::array<std::array<char, 4>, 256> table{};
    for (std::size_t c = 0; c < 256; ++c) {
        if (kQPLiteral[c]) {
            table[c] = {static_cast<char>(c), 0, 0, 1};
        } else {
            table[c] = {'=', kHexDigits[c >> 4], kHexDigits[c & 15], 3};
        }
    }
    return table;
}();

}  // namespace

std::size_t EscapeQPPiece(std::string_view text, bool last, char* out) {
    char* const start = out;
    std::size_t n = text.size();
    // A final space of the last piece is escaped so that no reader strips it.
    const bool finalSpace = last && n != 0 && text[n - 1] == ' ';
    if (finalSpace) --n;
    // Each step writes four bytes but keeps only the length of the escape;
    // the spare byte lands within the 3 * size + 1 bound and is overwritten.
    for (std::size_t i = 0; i < n; ++i) {
        const auto& escape = kQPEscapes[static_cast<unsigned char>(text[i])];
        std::memcpy(out, escape.data(), 4);
        out += static_cast<unsigned char>(escape[3]);
    }
    if (finalSpace) {
        std::memcpy(out, "=20", 3);
        out += 3;
    }
    if (!last) *out++ = '=';
    return static_cast<std::size_t>(out - start);
}

void QuotedPrintableLineEncoder::Fail() {
    paragraph_.clear();
    pendingBreak_ = 0;
    skipLF_ = false;
    started_ = false;
    atBreak_ = false;
    failed_ = false;
    RaiseParagraphTooLarge();
}

bool QuotedPrintableLineEncoder::Carry(const char* bytes, std::size_t count) {
    if (paragraph_.size() + count > kQPParagraphBufferSize - 1) {
        failed_ = true;
        return false;
    }
    paragraph_.append(bytes, count);
    return true;
}

std::size_t QuotedPrintableLineEncoder::PieceLength(const char* text, std::size_t remaining) const {
    if (Exact) {
        // A lone break ends its piece, so the lines follow the file's own.
        const std::size_t window = std::min(remaining, kQPLineLength);
        for (std::size_t i = 0; i + 1 < remaining && i < window; ++i)
            if (text[i] == '\r' || text[i] == '\n') return i + 1;
    }
    if (remaining < kQPLineLength) return remaining;
    // Prefer a cut before a space; the end of the paragraph is no space, so
    // a piece that reaches it looks one byte less far.
    std::size_t c = remaining > kQPLineLength ? kQPLineLength : kQPLineLength - 1;
    while (c > 0 && text[c] != ' ') --c;
    return c > 0 ? c : kQPLineLength;
}

char* QuotedPrintableLineEncoder::WriteParagraph(const char* text, std::size_t size, char* out,
                                                 bool softEnd) const {
    std::size_t start = 0;
    while (true) {
        const std::size_t remaining = size - start;
        const std::size_t cut = PieceLength(text + start, remaining);
        // A remainder of exactly 65 bytes still ends in an empty last line.
        const bool last = cut == remaining && remaining < kQPLineLength;
        if (DoublePeriods && cut > 0 && text[start] == '.') *out++ = '.';
        out += EscapeQPPiece(std::string_view(text + start, cut), last && !softEnd, out);
        *out++ = '\r';
        *out++ = '\n';
        if (last) return out;
        start += cut;
    }
}

std::size_t QuotedPrintableLineEncoder::StepExact(const char* s, std::size_t count, char* out) {
    char* const begin = out;
    std::size_t i = 0;
    if (pendingBreak_) {
        // A CR ended the last call: with an LF now it was a break.
        pendingBreak_ = 0;
        if (s[0] == '\n') {
            out = WriteParagraph(paragraph_.data(), paragraph_.size(), out);
            paragraph_.clear();
            atBreak_ = true;
            i = 1;
        } else if (!Carry("\r", 1)) {
            return 0;
        }
    }
    while (i < count) {
        // The next CR LF; a CR alone is text.
        std::size_t j = i;
        while (j + 1 < count) {
            const void* cr = std::memchr(s + j, '\r', count - 1 - j);
            j = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - s) : count - 1;
            if (!cr || s[j + 1] == '\n') break;
            ++j;
        }
        if (j + 1 >= count) {
            // No break here; a final CR waits for what follows.
            const bool cr = s[count - 1] == '\r';
            if (!Carry(s + i, count - i - (cr ? 1 : 0))) break;
            if (cr) pendingBreak_ = '\r';
            atBreak_ = false;
            break;
        }
        if (!Carry(s + i, j - i)) break;
        out = WriteParagraph(paragraph_.data(), paragraph_.size(), out);
        paragraph_.clear();
        atBreak_ = true;
        i = j + 2;
    }
    return static_cast<std::size_t>(out - begin);
}

std::size_t QuotedPrintableLineEncoder::Step(const void* bytes, std::size_t count, char* out) {
    if (failed_) Fail();
    if (count == 0) return 0;
    started_ = true;
    if (Exact) return StepExact(static_cast<const char*>(bytes), count, out);
    char* const begin = out;
    const char* s = static_cast<const char*>(bytes);
    std::size_t i = 0;
    if (pendingBreak_) {
        // More input: the waiting break was not the last byte.
        out = WriteParagraph(paragraph_.data(), paragraph_.size(), out);
        paragraph_.clear();
        skipLF_ = pendingBreak_ == '\r';
        pendingBreak_ = 0;
    }
    if (skipLF_) {
        skipLF_ = false;
        if (s[0] == '\n') i = 1;
    }
    while (i < count) {
        std::size_t j = i;
        while (j < count && s[j] != '\r' && s[j] != '\n') ++j;
        if (j + 1 >= count) {
            // No break, or one that may be the last byte: carry the text.
            if (!Carry(s + i, j - i)) break;
            if (j < count) pendingBreak_ = s[j];
            break;
        }
        if (paragraph_.empty()) {
            if (j - i > kQPParagraphBufferSize - 1) {
                failed_ = true;
                break;
            }
            out = WriteParagraph(s + i, j - i, out);
        } else {
            if (!Carry(s + i, j - i)) break;
            out = WriteParagraph(paragraph_.data(), paragraph_.size(), out);
            paragraph_.clear();
        }
        i = j + 1;
        if (s[j] == '\r' && s[i] == '\n') ++i;
    }
    return static_cast<std::size_t>(out - begin);
}

std::size_t QuotedPrintableLineEncoder::Finish(char* out) {
    if (failed_) Fail();
    char* const begin = out;
    if (Exact) {
        if (pendingBreak_ && !Carry("\r", 1)) Fail();
        // No line end of the layout's may count as data.
        if (!atBreak_ || !paragraph_.empty())
            out = WriteParagraph(paragraph_.data(), paragraph_.size(), out, true);
    } else if (!started_) {
        out = WriteParagraph("", 0, out);
    } else if (pendingBreak_) {
        // The stream's very last byte is text.
        if (paragraph_.size() + 1 > kQPParagraphBufferSize - 1) Fail();
        paragraph_.push_back(pendingBreak_);
        out = WriteParagraph(paragraph_.data(), paragraph_.size(), out);
    } else if (!paragraph_.empty()) {
        out = WriteParagraph(paragraph_.data(), paragraph_.size(), out);
    }
    paragraph_.clear();
    pendingBreak_ = 0;
    skipLF_ = false;
    started_ = false;
    atBreak_ = false;
    return static_cast<std::size_t>(out - begin);
}

std::string TQuotedPrintable::EscapeLine(std::string_view text, bool last) {
    std::string result(text.size() * 3 + 1, '\0');
    result.resize(EscapeQPPiece(text, last, result.data()));
    return result;
}

std::string TQuotedPrintable::DecodeLine(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    AppendDecoded(text, result);
    return result;
}

void TQuotedPrintable::Decode() {
    // Whole paragraphs are gathered and written in blocks of about 64 KiB; the
    // paragraph in hand starts at paragraphStart.
    std::string out;
    out.reserve(kQPPumpInterval + kQPParagraphBufferSize);
    std::size_t paragraphStart = 0;
    auto writeDone = [&] {
        Stream.WriteBuffer(out.data(), paragraphStart);
        out.erase(0, paragraphStart);
        paragraphStart = 0;
    };
    const std::size_t count = Lines.size();
    for (std::size_t index = 0; index < count; ++index) {
        const std::string& line = Lines[index];
        // The soft break is the raw line's final "=", so an escaped "=3D"
        // at the end of a line stays data; an open last line has no break.
        const bool soft = !line.empty() && line.back() == '=';
        const bool open = OpenEnd && index + 1 == count;
        const std::size_t before = out.size();
        AppendDecoded(std::string_view(line).substr(0, soft ? line.size() - 1 : line.size()), out);
        if (!soft && !open &&
            !(out.size() > before && static_cast<unsigned char>(out.back()) == kEndOfText))
            out.append("\r\n");
        if (out.size() - paragraphStart + 1 >= kQPParagraphBufferSize) {
            writeDone();
            RaiseParagraphTooLarge();
        }
        if (soft) continue;
        paragraphStart = out.size();
        if (paragraphStart >= kQPPumpInterval) {
            writeDone();
            platform::ProcessPendingMessages();
        }
    }
    // A soft break on the last line must not swallow its text.
    paragraphStart = out.size();
    writeDone();
}

std::string DecodeQPText(std::string_view text, std::size_t maximum) {
    TMemoryStream stream;
    StringVector lines{std::string(text)};
    TQuotedPrintable(stream, lines).Decode();
    const std::string& bytes = stream.Bytes();
    const std::size_t end = std::min(bytes.find_first_of("\r\n"), bytes.size());
    return bytes.substr(0, std::min(end, maximum));
}

}  // namespace quillpost
