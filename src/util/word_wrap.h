#pragma once
// Breaking one line of text at a width, at spaces where possible.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillpost {

struct WrappedLine {
    std::string Head;  // the first line
    std::string Rest;  // what is left for the next, leading spaces removed
};

// Head is at most Width characters when S is longer than Width: cut at the
// space before the word that crosses the width (the spaces dropped), or hard
// at Width when that word has no space before it. An S of at most Width
// characters is Head whole, trailing spaces included. Fill pads Head with
// spaces to Width. Only the space character breaks; tabs belong to words.
// Width must be at least 1: with 0 the Head is empty and the Rest is S
// without its leading spaces, so a caller that repeats never finishes.
WrappedLine WrapLine(std::string_view s, std::size_t width, bool fill = false);

}  // namespace quillpost
