#include "util/word_wrap.h"

namespace quillpost {

WrappedLine WrapLine(std::string_view s, std::size_t width, bool fill) {
    const std::size_t length = s.size();
    // Positions count from 1 here; position 0 stands before the text.
    auto isSpace = [&](std::size_t pos) { return pos >= 1 && s[pos - 1] == ' '; };

    std::size_t p;
    if (length <= width) {
        p = length;
    } else {
        // The first space at or after the width, then back to the character
        // before that run of spaces.
        p = width;
        while (p <= length && !isSpace(p)) ++p;
        if (p > length) p = length;
        while (p > 0 && isSpace(p)) --p;
        if (p > width) {
            // The word crossing the width ends beyond it: break before it, or
            // cut it at the width when nothing but it comes first.
            while (p > 0 && !isSpace(p)) --p;
            if (p == 0) {
                p = width;
            } else {
                while (p > 0 && isSpace(p)) --p;
            }
        }
    }

    WrappedLine result;
    result.Head.assign(s.substr(0, p));
    std::size_t q = p + 1;
    while (q <= length && isSpace(q)) ++q;
    if (q <= length) result.Rest.assign(s.substr(q - 1));
    if (fill && result.Head.size() < width) result.Head.append(width - result.Head.size(), ' ');
    return result;
}

}  // namespace quillpost
