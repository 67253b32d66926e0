#pragma once
// Quoted-printable of the MIME transfer encoding: text bodies and text
// attachments are encoded into lines of at most 65 source bytes (the line
// encoder below); received lines are decoded back into a byte stream.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/stream.h"
#include "util/string_vector.h"

namespace quillpost {

// One paragraph (the text between two hard line breaks) is held whole in
// either direction; a larger one raises kParagraphTooLarge.
inline constexpr std::size_t kQPParagraphBufferSize = 24576;
inline constexpr const char* kParagraphTooLarge = "Paragraph is too large";
// Source bytes per encoded line.
inline constexpr std::size_t kQPLineLength = 65;
// Input (encode) or output (decode) between two turns of the message pump.
inline constexpr std::size_t kQPPumpInterval = 64 * 1024;

// Bytes that stand for themselves in an encoded line: 32..126 without "=",
// and 127.
inline constexpr std::array<bool, 256> kQPLiteral = [] {
    std::array<bool, 256> table{};
    for (int c = 32; c <= 127; ++c) table[static_cast<std::size_t>(c)] = c != '=';
    return table;
}();

// Value of a hexadecimal digit in either case, 255 for any other byte.
inline constexpr std::array<std::uint8_t, 256> kHexValues = [] {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = 255;
    for (int c = 0; c < 10; ++c)
        table[static_cast<std::size_t>('0' + c)] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table[static_cast<std::size_t>('A' + c)] = static_cast<std::uint8_t>(10 + c);
        table[static_cast<std::size_t>('a' + c)] = static_cast<std::uint8_t>(10 + c);
    }
    return table;
}();

// A scratch decoder for one Decode call; it owns neither side. Raises a
// plain EQuillpostError kParagraphTooLarge; what was written to Stream before
// that stays.
class TQuotedPrintable {
public:
    TQuotedPrintable(TStream& stream, StringVector& lines) : Stream(stream), Lines(lines) {}

    TStream& Stream;
    StringVector& Lines;
    // No line end follows the last line (it stood before a boundary, whose
    // line end it is), so that line gets no CR LF.
    bool OpenEnd = false;
    // All of Lines to bytes written to Stream at its position. A line ending
    // in "=" joins the next; every other line gets CR LF, except when its
    // decoded text ends with the byte 26.
    void Decode();

    // The escaped piece; a piece that is not Last gets the soft break "=",
    // the Last one has a final space escaped so that no reader strips it.
    static std::string EscapeLine(std::string_view text, bool last);
    // Replaces every "=" followed by two hexadecimal digits by their byte;
    // anything else, a final "=" included, stays as it is.
    static std::string DecodeLine(std::string_view text);
};

// Streaming encoder into caller buffers: each encoded line followed by CR LF,
// so a bulk writer makes no string per line. A break is CR LF, a lone CR or a
// lone LF; the input's very last byte is always text, so a file ending in a
// lone LF ends its last line with =0A. A paragraph is cut into pieces of at
// most 65 bytes, preferring a cut before a space. Only whole paragraphs are
// written: the unfinished one is carried, and a break that ends the input so
// far waits to learn whether it is the last byte.
// With Exact set (a file's data), a reader gets every byte back: only CR LF
// is a break, a lone CR or LF is escaped and ends its piece with a soft
// break, and input that does not end in CR LF ends with a soft break, so the
// line end that the layout puts after the data is no data.
// A paragraph too large stops the run: the call that meets it still returns
// what the paragraphs before it wrote, and the next Step or Finish raises a
// plain EQuillpostError kParagraphTooLarge. Finish resets for a new run.
class QuotedPrintableLineEncoder {
public:
    // Every paragraph, with the break that ends it, writes at most six
    // characters per byte: an escaped lone break alone in its piece is
    // "=0A=" and CR LF, and a doubled period needs an unescaped byte. Slack
    // covers the escape loop's spare writes past the end of a piece.
    static constexpr std::size_t kBytesPerInput = 6;
    static constexpr std::size_t kSlack = 8;
    static constexpr std::size_t kMaxCarried = kQPParagraphBufferSize;
    // Worst-case output of Step for Count input bytes, whatever is carried.
    static constexpr std::size_t StepMaxOutput(std::size_t count) {
        return kBytesPerInput * (count + kMaxCarried) + kSlack;
    }
    static constexpr std::size_t kFinishMaxOutput = kBytesPerInput * kMaxCarried + kSlack;
    // Worst-case output of a whole run over Count bytes.
    static constexpr std::size_t TotalMaxOutput(std::size_t count) {
        return kBytesPerInput * count + kSlack;
    }
    // The same bound with what is carried now.
    std::size_t MaxOutput(std::size_t count) const {
        return kBytesPerInput * (count + Carried()) + kSlack;
    }

    // Writes one more "." before a line that begins with ".", for a caller
    // that sends the lines as SMTP data.
    bool DoublePeriods = false;
    // Byte-exact data rather than text lines; set before the first Step.
    bool Exact = false;

    std::size_t Step(const void* bytes, std::size_t count, char* out);
    // Writes the last paragraph; an empty run gives one empty line, or with
    // Exact the lone soft break "=".
    std::size_t Finish(char* out);
    std::size_t Carried() const { return paragraph_.size() + (pendingBreak_ ? 1 : 0); }

private:
    void Fail();
    // Appends Count bytes to the carried paragraph; false when too large.
    bool Carry(const char* bytes, std::size_t count);
    std::size_t StepExact(const char* s, std::size_t count, char* out);
    // One paragraph's lines; with SoftEnd its last line ends in a soft break.
    char* WriteParagraph(const char* text, std::size_t size, char* out, bool softEnd = false) const;
    // The length of the next piece of Remaining bytes.
    std::size_t PieceLength(const char* text, std::size_t remaining) const;

    std::string paragraph_;
    char pendingBreak_ = 0;  // a CR or LF that ended the input so far
    bool skipLF_ = false;    // a CR ended the last paragraph
    bool started_ = false;   // some input was given in this run
    bool atBreak_ = false;   // Exact: the input so far ends in CR LF
    bool failed_ = false;
};

// Appends the escaped piece to Out (at most 3 * size + 1 characters) and
// returns the number of characters written.
std::size_t EscapeQPPiece(std::string_view text, bool last, char* out);

// Decodes one short text; the result is its first line, cut to Maximum.
std::string DecodeQPText(std::string_view text, std::size_t maximum = 255);

}  // namespace quillpost
