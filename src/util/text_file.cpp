#include "util/text_file.h"

#include "util/errors.h"

namespace quillpost {
namespace {

constexpr char kCtrlZ = 26;
constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

void TTextFile::Assign(std::string fileName) {
    Close();
    fileName_ = std::move(fileName);
}

void TTextFile::Close() {
    file_.reset();
    buffer_.clear();
    pos_ = 0;
    ended_ = false;
}

bool TTextFile::FillBuffer() {
    if (ended_) return false;
    buffer_.resize(kChunk);
    std::uint32_t error = 0;
    std::int64_t n = file_->Read(buffer_.data(), buffer_.size(), error);
    if (n <= 0) {
        buffer_.clear();
        pos_ = 0;
        if (n < 0) {
            lastError_ = error;
            return false;
        }
        ended_ = true;
        return false;
    }
    buffer_.resize(static_cast<std::size_t>(n));
    pos_ = 0;
    return true;
}

TTextFile::ReadResult TTextFile::ReadLine(std::string& line) {
    if (!file_) throw EInOutError("File not open");
    line.clear();
    bool any = false;  // something of this line was seen, if only its end
    for (;;) {
        if (pos_ >= buffer_.size()) {
            if (!FillBuffer()) {
                if (!ended_) return ReadResult::Error;
                return any ? ReadResult::Line : ReadResult::End;
            }
        }
        // Take everything up to the next CR or Ctrl-Z in one piece.
        std::size_t stop = pos_;
        while (stop < buffer_.size() && buffer_[stop] != '\r' && buffer_[stop] != kCtrlZ) ++stop;
        line.append(buffer_, pos_, stop - pos_);
        if (stop > pos_) any = true;
        pos_ = stop;
        if (pos_ >= buffer_.size()) continue;
        if (buffer_[pos_] == kCtrlZ) {
            ended_ = true;
            buffer_.clear();
            pos_ = 0;
            return any ? ReadResult::Line : ReadResult::End;
        }
        // A CR: the line ends; an LF right after it goes with it.
        ++pos_;
        if (pos_ >= buffer_.size() && !FillBuffer() && !ended_) {
            // The line itself is complete; the failure shows at the next read.
            return ReadResult::Line;
        }
        if (pos_ < buffer_.size() && buffer_[pos_] == '\n') ++pos_;
        return ReadResult::Line;
    }
}

bool OpenTextShared(TTextFile& textFile) {
    textFile.Close();
    std::uint32_t error = 0;
    textFile.file_ = platform::OpenSharedRead(textFile.fileName_, error);
    textFile.lastError_ = error;
    return textFile.file_ != nullptr;
}

}  // namespace quillpost
