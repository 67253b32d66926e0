#include "util/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/file_access.h"
#include "platform/memory.h"
#include "util/errors.h"

namespace quillpost {
namespace {

[[noreturn]] void FileError(const char* action, const std::string& fileName,
                            const std::string& reason) {
    throw EInOutError("Cannot " + std::string(action) + " file \"" + fileName + "\": " + reason);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Bytes into F, just opened for FileName (null when that failed).
void WriteTo(FilePtr f, const std::string& fileName, const std::string& bytes) {
    if (!f) FileError("create", fileName, std::strerror(errno));
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        FileError("write", fileName, std::strerror(errno));
}

}  // namespace

std::int64_t TStream::Size() {
    std::int64_t pos = Position();
    std::int64_t end = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Begin);
    return end;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EInOutError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EInOutError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(count, 64 * 1024)) +
                             1);
    std::int64_t left = count;
    while (left > 0) {
        auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
    return count;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= data_.size()) return 0;
    std::size_t n = std::min(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = origin == SeekOrigin::Begin     ? 0
                        : origin == SeekOrigin::Current ? static_cast<std::int64_t>(pos_)
                                                        : static_cast<std::int64_t>(data_.size());
    std::int64_t target = base + offset;
    if (target < 0) throw EInOutError("Stream seek error");
    pos_ = static_cast<std::size_t>(target);
    return target;
}

void TMemoryStream::Clear() {
    data_.clear();
    pos_ = 0;
}

void TMemoryStream::SetSize(std::size_t size) {
    data_.resize(size);
    pos_ = std::min(pos_, size);
}

void TMemoryStream::Assign(std::string bytes) {
    data_ = std::move(bytes);
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) { Assign(ReadWholeFile(fileName)); }

void TMemoryStream::SaveToFile(const std::string& fileName) const {
    WriteTo(FilePtr(platform::OpenFileStream(fileName, "wb")), fileName, data_);
}

void TMemoryStream::SaveToPrivateFile(const std::string& fileName) const {
    WriteTo(FilePtr(platform::CreatePrivateFileStream(fileName)), fileName, data_);
}

std::string ReadWholeFile(const std::string& fileName) {
    std::uint32_t error = 0;
    const std::unique_ptr<platform::SharedReadFile> file = platform::OpenInputFile(fileName, error);
    if (error == platform::kNotRegularFile) FileError("read", fileName, "not a regular file");
    if (!file) FileError("open", fileName, platform::SystemErrorText(error));
    return ReadToEnd(*file, file->Size(), fileName);
}

std::string ReadToEnd(platform::SharedReadFile& file, std::int64_t expectedSize,
                      const std::string& fileName) {
    // One byte more than expected, so that the read that meets the end finds
    // room and nothing is grown or copied; a file that grew meanwhile, or
    // that reported no size (as those under /proc do), doubles the room.
    constexpr std::size_t kUnknownSize = 64 * 1024;
    std::string bytes;
    // A size past what a 32-bit process can hold is left to the growing,
    // which then fails as reading it always has.
    const bool known = expectedSize > 0 && static_cast<std::uint64_t>(expectedSize) <
                                               static_cast<std::uint64_t>(bytes.max_size());
    const std::size_t room = known ? static_cast<std::size_t>(expectedSize) + 1 : kUnknownSize;
    bytes.reserve(room);
    // Before the first touch: huge pages make filling a large buffer cost a
    // small part of the page faults.
    platform::AdviseLargeBuffer(bytes.data(), bytes.capacity());
    bytes.resize(room);
    std::size_t filled = 0;
    std::uint32_t error = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(2 * bytes.size());
        const std::int64_t n = file.Read(bytes.data() + filled, bytes.size() - filled, error);
        if (n < 0) FileError("read", fileName, platform::SystemErrorText(error));
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace quillpost
