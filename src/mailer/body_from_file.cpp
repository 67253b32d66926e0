// Body lines from a text file, optionally written first by an outside
// program (meant for an encryption tool) named by PGPPath.
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string>

#include "base/ascii.h"
#include "base/utf8.h"
#include "mailer/mailer.h"
#include "platform/ansi_text.h"
#include "platform/file_access.h"
#include "platform/process.h"
#include "platform/temp_file.h"
#include "platform/working_directory.h"
#include "util/run_and_wait.h"
#include "util/string_helpers.h"
#include "util/text_file.h"

namespace quillpost {
namespace {

// The directory the program lies in, by the system's own path rules.
std::string ProgramDirectoryOf(std::string_view programPath) {
    if (!platform::kSlashSeparatesDirectories) return DirectoryOf(programPath);
    const std::size_t slash = programPath.rfind('/');
    if (slash == std::string_view::npos) return {};
    return slash == 0 ? std::string("/") : std::string(programPath.substr(0, slash));
}

// PGPTimeOut counts tenths of a second; the wait takes milliseconds. Empty
// when the product does not fit the wait's 32-bit signed count.
std::optional<std::uint32_t> ProgramWaitMilliseconds(std::int32_t tenths) {
    const std::int64_t ms = static_cast<std::int64_t>(tenths) * 100;
    if (ms < 0 || ms > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace

bool TMailer::GetBodyTextFromFile(std::string_view strInputFile, WordBool bolEraseInputFile,
                                  WordBool bolShowWindow) {
    // Trimmed before the directory is taken, so that the directory entered
    // is the one of the program that is run.
    pgpPath_ = std::string(TrimBlanksAndControls(pgpPath_));
    pgpParams_ = std::string(TrimBlanksAndControls(pgpParams_));

    // The program's directory, for resolving names and starting it; the
    // process's own current directory is never changed.
    platform::ScopedWorkingDirectory directory(ProgramDirectoryOf(pgpPath_));
    if (!directory.Entered()) return false;

    if (!pgpPath_.empty() && !pgpParams_.empty()) {
        const std::optional<std::uint32_t> waitMs = ProgramWaitMilliseconds(pgpTimeOut_);
        if (!waitMs) return false;
        const std::int32_t started =
            RunAndWait(pgpPath_ + " " + pgpParams_,
                       IsTrue(bolShowWindow) ? platform::kShowNormal : platform::kShowHide, *waitMs,
                       directory.ProgramDirectory());
        // A program still running at the limit is not an error; one that
        // never started is worth saying, as its output may be an old file.
        if (started != platform::kWaitEnded && started != platform::kWaitTimedOut) {
            const std::uint32_t code = started == platform::kWaitFailed
                                           ? platform::LastSystemError()
                                           : static_cast<std::uint32_t>(started);
            SetResponse("Exec failed. GetLastError reports: " + std::to_string(code));
        }
    }

    const std::string inputFile = directory.Resolve(std::string(strInputFile));
    // Said at once: the wait below would take its whole limit over a
    // directory, and reading a pipe or device could block or never end.
    if (platform::IsSpecialFile(inputFile)) {
        SetResponse("Cannot read file \"" + inputFile + "\": not a regular file");
        return false;
    }
    if (!WaitForFileAccess(inputFile, kReadDenyWrite)) {
        SetResponse("Timedout waiting for file access.");
        return false;
    }

    bool result = true;
    TTextFile text(inputFile);
    try {
        if (!OpenTextShared(text)) {
            SetResponse("Error opening Input file. Error #" + std::to_string(text.LastError()));
            result = false;
        } else {
            const std::size_t first = body_.size();
            bool utf8 = true;
            std::string line;
            for (;;) {
                const TTextFile::ReadResult r = text.ReadLine(line);
                if (r == TTextFile::ReadResult::End) break;
                if (r == TTextFile::ReadResult::Error) {
                    SetResponse("Error " + std::to_string(text.LastError()) +
                                " occurred during file read.");
                    result = false;
                    break;
                }
                utf8 = utf8 && IsUtf8(line);
                body_.push_back(line);
            }
            // A file is in one character set: one that is not UTF-8 throughout
            // is ANSI text, whatever some of its lines might pass for.
            if (!utf8)
                for (std::size_t i = first; i < body_.size(); ++i)
                    body_[i] = platform::WideToText(platform::AnsiToWide(body_[i]));
        }
        text.Close();
        if (IsTrue(bolEraseInputFile)) {
            platform::DeleteFileNamed(inputFile);
        }
    } catch (const std::exception& e) {
        // The file is closed and kept; the message is the answer.
        text.Close();
        SetResponse(e.what());
        result = false;
    }
    return result;
}

}  // namespace quillpost
