#pragma once
// A write-only stream over a C file: standard output, or a file this stream
// creates and owns.
#include <cstdio>
#include <memory>
#include <string>

#include "util/stream.h"

namespace quillpost::cli {

class TStdioStream : public TStream {
public:
    // Writes to File, which stays open and belongs to the caller.
    explicit TStdioStream(std::FILE* file) : file_(file) {}
    ~TStdioStream() override;

    // Creates (or empties) FileName for writing; raises EInOutError naming the
    // file and the system's reason.
    static std::unique_ptr<TStdioStream> Create(const std::string& fileName);
    // Creates FileName only when nothing has that name yet; null when
    // something has (a file, a folder, a link). Other failures raise as Create.
    static std::unique_ptr<TStdioStream> CreateNew(const std::string& fileName);

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    // Only reports the position; this stream cannot move.
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return written_; }

    // Hands everything written to the system: flushes, and closes an owned
    // file. Raises EInOutError "Stream write error" when that fails, as
    // buffered bytes may only fail to land here.
    void Finish();

private:
    std::FILE* file_;
    bool owned_ = false;
    std::int64_t written_ = 0;
};

}  // namespace quillpost::cli
