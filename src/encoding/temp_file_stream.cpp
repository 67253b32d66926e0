#include "encoding/temp_file_stream.h"

#include <algorithm>
#include <cstring>

#include "util/errors.h"

namespace quillpost {
namespace {

[[noreturn]] void ReadError() { throw EInOutError("Stream read error"); }
[[noreturn]] void WriteError() { throw EInOutError("Stream write error"); }
[[noreturn]] void SeekError() { throw EInOutError("Stream seek error"); }

}  // namespace

TTempFileStream::FileOwner::~FileOwner() {
    if (handle == platform::kNoFile) return;
    platform::CloseFileHandle(handle);
    platform::DeleteFileNamed(name);
}

platform::FileHandle TTempFileStream::MakeTempFileName(std::string& fileName) {
    return platform::CreateTempFile("ms", fileName);
}

TTempFileStream::TTempFileStream() {
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
    file_.handle = MakeTempFileName(file_.name);
    if (file_.handle == platform::kNoFile) throw EInOutError("Cannot create file " + file_.name);
}

// The file goes with file_; buffered bytes are not worth writing first.
TTempFileStream::~TTempFileStream() = default;

bool TTempFileStream::Clear() {
    // Bytes still buffered belong to the old text: dropped, not written.
    writing_ = unwritten_ = false;
    bufStart_ = pos_ = size_ = 0;
    bufLen_ = 0;
    return platform::EmptyFile(file_.handle);
}

void TTempFileStream::Flush() {
    FlushWriteBuffer();
    WriteBackReadBuffer();
}

void TTempFileStream::WriteBackReadBuffer() {
    if (!unwritten_) return;
    // The handle stands at bufStart_: writing the bytes there leaves a clean
    // read buffer with the handle at its end.
    unwritten_ = false;
    std::int64_t n = platform::WriteFileBytes(file_.handle, buffer_.get(), bufLen_);
    if (n != static_cast<std::int64_t>(bufLen_)) {
        size_ = std::max<std::int64_t>(0, bufStart_ + std::max<std::int64_t>(n, 0));
        pos_ = size_;
        bufLen_ = 0;
        platform::SeekFileTo(file_.handle, pos_, platform::FileSeekOrigin::Begin);
        WriteError();
    }
}

void TTempFileStream::FlushWriteBuffer() {
    if (!writing_) return;
    std::size_t count = bufLen_;
    writing_ = false;
    bufLen_ = 0;
    if (count == 0) return;
    std::int64_t n = platform::WriteFileBytes(file_.handle, buffer_.get(), count);
    if (n != static_cast<std::int64_t>(count)) {
        // The file now ends short of what the writer was told it wrote.
        size_ = std::max<std::int64_t>(0, bufStart_ + std::max<std::int64_t>(n, 0));
        pos_ = size_;
        platform::SeekFileTo(file_.handle, pos_, platform::FileSeekOrigin::Begin);
        WriteError();
    }
}

void TTempFileStream::DropReadBuffer() {
    if (writing_ || bufLen_ == 0) return;
    WriteBackReadBuffer();
    std::int64_t handlePos = bufStart_ + static_cast<std::int64_t>(bufLen_);
    bufLen_ = 0;
    if (handlePos != pos_ &&
        platform::SeekFileTo(file_.handle, pos_, platform::FileSeekOrigin::Begin) < 0)
        SeekError();
}

std::size_t TTempFileStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (!writing_) {
        DropReadBuffer();
        writing_ = true;
        bufStart_ = pos_;
        bufLen_ = 0;
    }
    if (bufLen_ + count > kBufferSize) {
        FlushWriteBuffer();
        if (count >= kBufferSize) {
            std::int64_t n = platform::WriteFileBytes(file_.handle, buffer, count);
            pos_ += std::max<std::int64_t>(n, 0);
            size_ = std::max(size_, pos_);
            // A short count is an error like any other: nobody may send a
            // part as if it were whole.
            if (n != static_cast<std::int64_t>(count)) WriteError();
            return count;
        }
        writing_ = true;
        bufStart_ = pos_;
    }
    std::memcpy(buffer_.get() + bufLen_, buffer, count);
    bufLen_ += count;
    pos_ += static_cast<std::int64_t>(count);
    size_ = std::max(size_, pos_);
    return count;
}

std::size_t TTempFileStream::Read(void* buffer, std::size_t count) {
    FlushWriteBuffer();
    char* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (bufLen_ > 0) {
            auto avail =
                static_cast<std::size_t>(bufStart_ + static_cast<std::int64_t>(bufLen_) - pos_);
            std::size_t n = std::min(avail, count - done);
            std::memcpy(out + done, buffer_.get() + (pos_ - bufStart_), n);
            pos_ += static_cast<std::int64_t>(n);
            done += n;
            // Nobody else writes the file, so its end is known without asking.
            if (done == count || pos_ >= size_) break;
            WriteBackReadBuffer();
            bufLen_ = 0;  // used up: the handle stands at pos_
        }
        if (pos_ >= size_) break;
        if (count - done >= kBufferSize) {
            std::int64_t n = platform::ReadFileBytes(file_.handle, out + done, count - done);
            if (n < 0) ReadError();
            pos_ += n;
            done += static_cast<std::size_t>(n);
            break;
        }
        std::int64_t n = platform::ReadFileBytes(file_.handle, buffer_.get(), kBufferSize);
        if (n < 0) ReadError();
        if (n == 0) break;
        bufStart_ = pos_;
        bufLen_ = static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t TTempFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    // Position() asks this on every progress report: answer it from memory.
    if (origin == SeekOrigin::Current && offset == 0) return pos_;
    std::int64_t base = origin == SeekOrigin::Begin     ? 0
                        : origin == SeekOrigin::Current ? pos_
                                                        : size_;
    std::int64_t target = base + offset;
    if (target < 0) SeekError();
    if (target == pos_) return pos_;
    if (writing_ && bufLen_ > 0 && target >= bufStart_ &&
        target <= bufStart_ + static_cast<std::int64_t>(bufLen_)) {
        // Reading back what is still in the buffer needs no file access: it
        // is written out only if the buffer must make room for other bytes.
        // A message that fits is sent without touching the disk.
        writing_ = false;
        unwritten_ = true;
        pos_ = target;
        return pos_;
    }
    if (writing_) {
        FlushWriteBuffer();
    } else if (bufLen_ > 0) {
        if (target >= bufStart_ && target <= bufStart_ + static_cast<std::int64_t>(bufLen_)) {
            pos_ = target;
            return pos_;
        }
        WriteBackReadBuffer();
        bufLen_ = 0;
    }
    if (platform::SeekFileTo(file_.handle, target, platform::FileSeekOrigin::Begin) < 0)
        SeekError();
    pos_ = target;
    return pos_;
}

std::int64_t TTempFileStream::Size() { return size_; }

}  // namespace quillpost
