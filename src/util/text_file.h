#pragma once
// A text file read line by line: a line ends at CR, and an LF right after
// that CR is skipped; an LF alone is part of the line; Ctrl-Z (26) ends the
// input; a last line without an end is still a line. Lines have no length
// limit.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_access.h"

namespace quillpost {

class TTextFile {
public:
    enum class ReadResult { Line, End, Error };

    TTextFile() = default;
    explicit TTextFile(std::string fileName) : fileName_(std::move(fileName)) {}

    // Names the file; closes it first when open.
    void Assign(std::string fileName);
    const std::string& FileName() const { return fileName_; }
    bool IsOpen() const { return file_ != nullptr; }

    // The next line without its end; End when the input is exhausted; Error
    // when the system failed to read (LastError tells why). Raises
    // EInOutError "File not open" when the file is not open.
    ReadResult ReadLine(std::string& line);

    // The system's code of the last failed open or read, 0 when none failed.
    std::uint32_t LastError() const { return lastError_; }

    void Close();

private:
    friend bool OpenTextShared(TTextFile& textFile);
    bool FillBuffer();  // false at the end of the file or on failure

    std::string fileName_;
    std::unique_ptr<platform::SharedReadFile> file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool ended_ = false;  // end of file or Ctrl-Z seen
    std::uint32_t lastError_ = 0;
};

// Opens the assigned file for reading while others may read it but not write
// it (any earlier open is closed first); true when it is open. On failure
// LastError holds the system's code.
bool OpenTextShared(TTextFile& textFile);

}  // namespace quillpost
