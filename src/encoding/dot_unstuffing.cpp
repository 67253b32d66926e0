#include "encoding/dot_unstuffing.h"

#include <cstring>

namespace quillpost {

std::size_t TDotUnstuffer::Filter(const char* in, std::size_t count, char* out) {
    const char* const end = in + count;
    char* const start = out;
    while (in < end) {
        if (lineStart_) {
            lineStart_ = false;
            if (*in == '.') {
                ++in;
                afterCr_ = false;
                continue;
            }
        }
        // Copy through the next LF; it ends a line only after a CR.
        const void* lf = std::memchr(in, '\n', static_cast<std::size_t>(end - in));
        const char* stop = lf != nullptr ? static_cast<const char*>(lf) + 1 : end;
        const std::size_t n = static_cast<std::size_t>(stop - in);
        std::memcpy(out, in, n);
        if (lf != nullptr) lineStart_ = n >= 2 ? stop[-2] == '\r' : afterCr_;
        afterCr_ = stop[-1] == '\r';
        out += n;
        in = stop;
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace quillpost
