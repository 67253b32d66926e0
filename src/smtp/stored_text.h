#pragma once
// The message as a server stores it, read from the composed (dot-stuffed)
// text: the lines sent before it, the text without its doubled periods, and
// the empty line that DATA's end adds. BDAT carries exactly this, and SIZE
// counts it, so both paths store the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoding/dot_unstuffing.h"

namespace quillpost {

class TStream;

class TStoredText {
public:
    // Reads Stream from its start; Leading are lines without their CR LF.
    TStoredText(const std::vector<std::string>& leading, TStream& stream);

    // Up to Count bytes into Out; 0 at the end.
    std::size_t Read(char* out, std::size_t count);

    // What one reading pass finds: the stored size, and whether any byte
    // has its high bit set (BODY=8BITMIME).
    struct TSurvey {
        std::int64_t size = 0;
        bool eightBit = false;
    };
    static TSurvey Survey(const std::vector<std::string>& leading, TStream& stream);

private:
    std::string head_;  // the leading lines
    std::size_t headPos_ = 0;
    TStream& stream_;
    TDotUnstuffer unstuffer_;
    std::unique_ptr<char[]> in_;
    bool streamDone_ = false;
    std::size_t tailLeft_ = 2;  // of the final CR LF
};

}  // namespace quillpost
