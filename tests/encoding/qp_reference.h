#pragma once
// The plain reading of the quoted-printable line rules, one paragraph at a
// time into a list of lines: the reference the streaming line encoder is
// held to. Raises kParagraphTooLarge as the encoder does; lines of the
// paragraphs before stay.
#include <string>
#include <string_view>

#include "encoding/quoted_printable.h"
#include "util/errors.h"

namespace quillpost::testing {

inline void AppendQPPieces(std::string_view paragraph, StringVector& lines) {
    if (paragraph.size() > kQPParagraphBufferSize - 1) throw EQuillpostError(kParagraphTooLarge);
    std::size_t start = 0;
    while (true) {
        const std::size_t remaining = paragraph.size() - start;
        const bool last = remaining < kQPLineLength;
        std::size_t cut = remaining;
        if (!last) {
            // Prefer a cut before a space; past the paragraph's end there is
            // none, and the piece keeps at least its first byte.
            cut = remaining > kQPLineLength ? kQPLineLength : kQPLineLength - 1;
            while (cut > 0 && paragraph[start + cut] != ' ') --cut;
            if (cut == 0) cut = kQPLineLength;
        }
        lines.push_back(TQuotedPrintable::EscapeLine(paragraph.substr(start, cut), last));
        if (last) return;
        start += cut;
    }
}

// Breaks are CR LF, a lone CR or a lone LF; the very last byte is always text.
inline void ReferenceQPLines(std::string_view bytes, StringVector& lines) {
    std::string paragraph;
    bool open = bytes.empty();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if ((c != '\r' && c != '\n') || i + 1 == bytes.size()) {
            paragraph += c;
            open = true;
            continue;
        }
        AppendQPPieces(paragraph, lines);
        paragraph.clear();
        open = false;
        if (c == '\r' && bytes[i + 1] == '\n') ++i;
    }
    if (open) AppendQPPieces(paragraph, lines);
}

}  // namespace quillpost::testing
