#pragma once
// The read-write stream that carries one composed message from the encoder to
// the SMTP client: a fresh file in the temporary directory, removed again when
// the stream is freed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/temp_file.h"
#include "util/stream.h"

namespace quillpost {

class TTempFileStream : public TStream {
public:
    // Creates the file, empty, at position 0. Raises EInOutError
    // "Cannot create file <name>" when it cannot be created.
    TTempFileStream();
    // Closes the file and deletes it; a failure to delete is ignored.
    ~TTempFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override;

    // Empties the stream for another text, in the same file: making a file
    // costs more than a small message's whole dialogue. False when the file
    // could not be emptied; the stream must not be used then.
    bool Clear();

    // Writes buffered bytes to the file now; Read, Seek to another place and
    // destruction do it too. Raises EInOutError "Stream write error".
    void Flush();

    // The name the file was created under; on POSIX it is gone at once.
    const std::string& FileName() const { return file_.name; }
    platform::FileHandle Handle() const { return file_.handle; }

    // The full path of a new, empty, uniquely named file with the prefix "ms"
    // in the temporary directory, and its open handle.
    static platform::FileHandle MakeTempFileName(std::string& fileName);

    static constexpr std::size_t kBufferSize = 64 * 1024;

private:
    // Owns the file itself: closes and deletes it on every way out, also when
    // the constructor fails after the file exists.
    struct FileOwner {
        FileOwner() = default;
        FileOwner(const FileOwner&) = delete;
        FileOwner& operator=(const FileOwner&) = delete;
        ~FileOwner();
        platform::FileHandle handle = platform::kNoFile;
        std::string name;
    };

    void FlushWriteBuffer();
    void WriteBackReadBuffer();
    void DropReadBuffer();

    FileOwner file_;
    std::unique_ptr<char[]> buffer_;
    // Logical position of the stream and the file's size as this stream has
    // made it (no other opener can change the file).
    std::int64_t pos_ = 0;
    std::int64_t size_ = 0;
    // The buffer holds either bytes to write at bufStart_ (writing_) or bytes
    // read from bufStart_ on; the handle then stands at bufStart_ + bufLen_.
    std::int64_t bufStart_ = 0;
    std::size_t bufLen_ = 0;
    bool writing_ = false;
    // The read buffer holds bytes not yet in the file (written, then sought
    // back into); the handle then stands at bufStart_.
    bool unwritten_ = false;
};

}  // namespace quillpost
