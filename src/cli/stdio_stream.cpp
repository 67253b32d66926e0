#include "cli/stdio_stream.h"

#include <cerrno>
#include <cstring>

#include "platform/file_access.h"
#include "util/errors.h"

namespace quillpost::cli {

TStdioStream::~TStdioStream() {
    if (owned_ && file_ != nullptr) std::fclose(file_);
}

std::unique_ptr<TStdioStream> TStdioStream::Create(const std::string& fileName) {
    std::FILE* file = platform::OpenFileStream(fileName, "wb");  // Windows: the wide name
    if (file == nullptr)
        throw EInOutError("Cannot create file \"" + fileName + "\": " + std::strerror(errno));
    auto stream = std::make_unique<TStdioStream>(file);
    stream->owned_ = true;
    return stream;
}

std::unique_ptr<TStdioStream> TStdioStream::CreateNew(const std::string& fileName) {
    bool exists = false;
    std::uint32_t error = 0;
    std::FILE* file = platform::CreateNewFileStream(fileName, exists, error);
    if (file == nullptr && exists) return nullptr;
    if (file == nullptr)
        throw EInOutError("Cannot create file \"" + fileName +
                          "\": " + platform::SystemErrorText(error));
    auto stream = std::make_unique<TStdioStream>(file);
    stream->owned_ = true;
    return stream;
}

std::size_t TStdioStream::Read(void*, std::size_t) { return 0; }

std::size_t TStdioStream::Write(const void* buffer, std::size_t count) {
    if (file_ == nullptr || count == 0) return 0;
    const std::size_t n = std::fwrite(buffer, 1, count, file_);
    written_ += static_cast<std::int64_t>(n);
    return n;
}

std::int64_t TStdioStream::Seek(std::int64_t offset, SeekOrigin origin) {
    if (offset == 0 && origin != SeekOrigin::Begin) return written_;
    if (offset == written_ && origin == SeekOrigin::Begin) return written_;
    throw EInOutError("Stream seek error");
}

void TStdioStream::Finish() {
    if (file_ == nullptr) return;
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    if (owned_) {
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
    }
    if (!ok) throw EInOutError("Stream write error");
}

}  // namespace quillpost::cli
