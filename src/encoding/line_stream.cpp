#include "encoding/line_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillpost {
namespace {

// The first C in [Begin, End), or End.
const char* Find(const char* begin, const char* end, char c) {
    const void* found = std::memchr(begin, c, static_cast<std::size_t>(end - begin));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

}  // namespace

void TLineStream::LoadFromStream(TStream& source) {
    // A memory stream's bytes are copied in one go, into a buffer that is
    // not cleared first.
    if (auto* memory = dynamic_cast<TMemoryStream*>(&source); memory != nullptr && memory != this) {
        Assign(memory->Bytes());
        memory->SetPosition(memory->Size());
        Reset();
        return;
    }
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

std::string_view TLineStream::NextLineView() {
    ++lineIndex_;
    if (lineIndex_ < static_cast<std::int32_t>(lines_.size()))
        return lines_[static_cast<std::size_t>(lineIndex_)];
    if (!lastChunk_) {
        FillLines();
        lineIndex_ = 0;
        if (!lines_.empty()) return lines_.front();
        // FillLines gives no lines only when nothing is left to read.
    }
    lineIndex_ = static_cast<std::int32_t>(lines_.size());
    atEnd_ = true;
    return EndMarker;
}

void TLineStream::FillLines() {
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
    // no empty line. The strings of the last chunk are written over, not
    // made anew: a chunk of short lines would otherwise cost an allocation a
    // line.
    std::size_t used = 0;
    const char* const end = chunk + cut;
    const char* lf = Find(chunk, end, '\n');  // the next LF at or after P, or End
    for (const char* p = chunk; p < end;) {
        if (lf < p) lf = Find(p, end, '\n');
        // The next LF is remembered: text full of lone CRs is not searched
        // again for it line after line.
        const char* const cr = Find(p, lf, '\r');
        const char* const stop = cr < lf ? cr : lf;
        if (used < lines_.size())
            lines_[used].assign(p, stop);
        else
            lines_.emplace_back(p, stop);
        ++used;
        p = stop + (stop + 1 < end && stop[0] == '\r' && stop[1] == '\n' ? 2 : 1);
    }
    lines_.resize(used);
}

}  // namespace quillpost
