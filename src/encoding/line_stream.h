#pragma once
// A memory stream that hands its content out line by line, a chunk at a time:
// the input of the message decoder.
#include <cstdint>
#include <string>
#include <string_view>

#include "util/stream.h"
#include "util/string_vector.h"

namespace quillpost {

class TLineStream : public TMemoryStream {
public:
    // Returned as the line after the last one.
    static constexpr std::string_view EndMarker{"\xFF\xFF\xFF\xFF", 4};
    static constexpr std::uint16_t kDefaultChunkSize = 16384;

    TLineStream() = default;
    // Loads the whole of Source, from its start, and resets.
    explicit TLineStream(TStream& source) { LoadFromStream(source); }

    void LoadFromStream(TStream& source);

    // Back to the first line, also after the stream was read to its end.
    void Reset();

    // The next line without its line break (CR LF, a lone LF or a lone CR);
    // EndMarker, with AtEnd set, once the content is used up, and on every
    // call after that. A last line without a break is returned like the
    // others; a break at the very end adds no empty line.
    void NextLine(std::string& line) { line.assign(NextLineView()); }
    // The same without a copy: the view holds until the next call.
    std::string_view NextLineView();
    std::string NextLine() {
        std::string line;
        NextLine(line);
        return line;
    }

    // Reads the next chunk from the position into Lines. The chunk ends after
    // its last line feed and the position is left there; a full chunk without
    // any line feed is extended to the next one, so no line is ever split.
    void FillLines();

    const StringVector& Lines() const { return lines_; }
    std::int32_t LineIndex() const { return lineIndex_; }
    bool AtEnd() const { return atEnd_; }
    bool LastChunk() const { return lastChunk_; }
    std::uint16_t ChunkSize() const { return chunkSize_; }
    // Values below 1 are taken as 1.
    void SetChunkSize(std::uint16_t size) { chunkSize_ = size == 0 ? 1 : size; }

private:
    StringVector lines_;
    std::int32_t lineIndex_ = -1;
    std::uint16_t chunkSize_ = kDefaultChunkSize;
    bool atEnd_ = false;
    bool lastChunk_ = false;
};

}  // namespace quillpost
