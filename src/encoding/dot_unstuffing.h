#pragma once
// The composed text doubles the period that begins a line, ready for DATA.
// What BDAT carries, what SIZE counts and what a signature covers is the
// message itself: the text as a server stores it after taking the periods off.
#include <cstddef>

namespace quillpost {

class TDotUnstuffer {
public:
    // Copies Count bytes of composed text to Out, less the period doubled at
    // the start of each line (a line starts after CR LF, as in DATA). Out
    // holds at least Count bytes; the result is the number written. The text
    // may come in pieces of any size.
    std::size_t Filter(const char* in, std::size_t count, char* out);

private:
    bool lineStart_ = true;
    bool afterCr_ = false;
};

}  // namespace quillpost
