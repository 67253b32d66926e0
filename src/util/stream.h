#pragma once
// Byte streams: the base every stream of the system derives from (attachment
// data in memory, the temporary file that carries a composed message, the
// line reader of the decoder, the socket's stream sending).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/non_copyable.h"

namespace quillpost {

namespace platform {
class SharedReadFile;
}

enum class SeekOrigin { Begin, Current, End };

class TStream : private TNonCopyable {
public:
    virtual ~TStream() = default;

    // Reads up to Count bytes; returns how many were read (0 at the end).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes Count bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }
    virtual std::int64_t Size();

    // Read or write exactly Count bytes, or raise EInOutError.
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
    void WriteText(std::string_view text) { WriteBuffer(text.data(), text.size()); }

    // Copies Count bytes from Source's position; Count 0 copies all of Source
    // from its start. Returns the number of bytes copied.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream over a growable byte buffer.
class TMemoryStream : public TStream {
public:
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

    void Clear();
    void SetSize(std::size_t size);
    // The whole buffer, independent of the position.
    const std::string& Bytes() const { return data_; }
    // Replaces the contents and rewinds.
    void Assign(std::string bytes);

    // Replaces the contents with the file's bytes, or raises EInOutError
    // naming the file and the system's reason; the stream is then unchanged.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    // As SaveToFile, into a file others may not read
    // (platform::CreatePrivateFileStream).
    void SaveToPrivateFile(const std::string& fileName) const;

private:
    std::string data_;
    std::size_t pos_ = 0;
};

// Reads a whole file into Bytes; raises EInOutError naming the file and the
// system's reason.
std::string ReadWholeFile(const std::string& fileName);

// The rest of File, from its position to its end, read into room for
// ExpectedSize bytes (0 or less when unknown): the right size is read in one
// buffer, and any other still reads everything. Failures raise EInOutError
// naming FileName.
std::string ReadToEnd(platform::SharedReadFile& file, std::int64_t expectedSize,
                      const std::string& fileName);

}  // namespace quillpost
