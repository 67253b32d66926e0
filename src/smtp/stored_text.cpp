#include "smtp/stored_text.h"

#include <algorithm>
#include <cstring>

#include "util/stream.h"

namespace quillpost {
namespace {
constexpr std::size_t kReadBlock = 64 * 1024;
}

TStoredText::TStoredText(const std::vector<std::string>& leading, TStream& stream)
    : stream_(stream), in_(new char[kReadBlock]) {
    for (const std::string& line : leading) head_ += line + "\r\n";
    stream_.SetPosition(0);
}

std::size_t TStoredText::Read(char* out, std::size_t count) {
    std::size_t done = 0;
    if (headPos_ < head_.size()) {
        done = std::min(count, head_.size() - headPos_);
        std::memcpy(out, head_.data() + headPos_, done);
        headPos_ += done;
    }
    // The unstuffed text is never longer than what was read for it, so each
    // read asks for no more than still fits.
    while (done < count && !streamDone_) {
        const std::size_t n = stream_.Read(in_.get(), std::min(count - done, kReadBlock));
        if (n == 0) {
            streamDone_ = true;
            break;
        }
        done += unstuffer_.Filter(in_.get(), n, out + done);
    }
    if (done < count && streamDone_ && tailLeft_ > 0) {
        const std::size_t n = std::min(count - done, tailLeft_);
        std::memcpy(out + done, &"\r\n"[2 - tailLeft_], n);
        tailLeft_ -= n;
        done += n;
    }
    return done;
}

TStoredText::TSurvey TStoredText::Survey(const std::vector<std::string>& leading, TStream& stream) {
    TSurvey survey;
    TStoredText text(leading, stream);
    std::unique_ptr<char[]> block(new char[kReadBlock]);
    for (std::size_t n; (n = text.Read(block.get(), kReadBlock)) != 0;) {
        survey.size += static_cast<std::int64_t>(n);
        if (!survey.eightBit)
            survey.eightBit =
                std::any_of(block.get(), block.get() + n, [](char c) { return (c & 0x80) != 0; });
    }
    stream.SetPosition(0);
    return survey;
}

}  // namespace quillpost
