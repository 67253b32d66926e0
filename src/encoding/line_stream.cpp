#include "encoding/line_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillpost {

void TLineStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(source.Size(), 0)), '\0');
    source.ReadBuffer(bytes.data(), bytes.size());
    Assign(std::move(bytes));
    Reset();
}

void TLineStream::Reset() {
    lineIndex_ = -1;
    lines_.clear();
    atEnd_ = false;
    // Unlike LineIndex and AtEnd, this flag would otherwise survive a reset
    // of a stream read to its end and hide all of its lines.
    lastChunk_ = false;
    SetPosition(0);
}

void TLineStream::NextLine(std::string& line) {
    ++lineIndex_;
    if (lineIndex_ < static_cast<std::int32_t>(lines_.size())) {
        line = lines_[static_cast<std::size_t>(lineIndex_)];
        return;
    }
    if (!lastChunk_) {
        FillLines();
        lineIndex_ = 0;
        if (!lines_.empty()) {
            line = lines_.front();
            return;
        }
        // FillLines gives no lines only when nothing is left to read.
    }
    lineIndex_ = static_cast<std::int32_t>(lines_.size());
    atEnd_ = true;
    line.assign(EndMarker);
}

void TLineStream::FillLines() {
    lines_.clear();
    const std::string& data = Bytes();
    auto start = static_cast<std::size_t>(std::min<std::int64_t>(Position(), Size()));
    std::size_t left = data.size() - start;
    std::size_t count = std::min<std::size_t>(chunkSize_, left);
    lastChunk_ = count < chunkSize_;
    const char* chunk = data.data() + start;

    std::size_t cut = count;
    if (!lastChunk_) {
        // Cut after the last line feed, so that the rest is read again with
        // the next chunk and no CR LF is split between two chunks.
        const char* p = chunk + count;
        while (p != chunk && p[-1] != '\n') --p;
        if (p != chunk) {
            cut = static_cast<std::size_t>(p - chunk);
        } else {
            // A line longer than a chunk: take it whole, up to the next
            // line feed or the end of the content.
            const void* lf = std::memchr(chunk + count, '\n', left - count);
            cut = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - chunk) + 1
                                : left;
        }
    }
    SetPosition(static_cast<std::int64_t>(start + cut));

    // Split at CR LF, a lone CR and a lone LF; a break at the very end adds
    // no empty line.
    std::size_t i = 0;
    while (i < cut) {
        std::size_t j = i;
        while (j < cut && chunk[j] != '\n' && chunk[j] != '\r') ++j;
        lines_.emplace_back(chunk + i, j - i);
        if (j < cut && chunk[j] == '\r' && j + 1 < cut && chunk[j + 1] == '\n') ++j;
        i = j + 1;
    }
}

}  // namespace quillpost
