#pragma once
// The directory an outside program is run in, for the span of one call.
// Windows keeps the process-wide way: the process's current directory is
// changed for the span and restored after it, so relative names and the
// started program see it. POSIX leaves the process's directory alone, so that
// concurrent callers cannot restore each other's directory: the directory is
// only remembered, relative names are resolved against it, and it is handed
// to the program start.
#include <string>

namespace quillpost::platform {

#ifdef _WIN32
// Program paths end their directory part at "\" or ":".
inline constexpr bool kSlashSeparatesDirectories = false;
inline constexpr bool kScopeChangesProcessDirectory = true;
#else
// Program paths end their directory part at "/".
inline constexpr bool kSlashSeparatesDirectories = true;
inline constexpr bool kScopeChangesProcessDirectory = false;
#endif

class ScopedWorkingDirectory {
public:
    // Enters Directory; an empty Directory stays in the current one.
    explicit ScopedWorkingDirectory(const std::string& directory);
    // Windows: makes the directory of the start current again (a failure is
    // ignored).
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

    // False when Directory could not be entered (absent, not a directory,
    // not searchable).
    bool Entered() const { return entered_; }
    // A path that names, from the process's current directory, what Name
    // names from the entered directory.
    std::string Resolve(const std::string& name) const;
    // What to pass to RunAndWait as the working directory (empty: the current one).
    const std::string& ProgramDirectory() const { return programDirectory_; }

private:
    std::string previous_;          // Windows: the directory to restore
    std::string programDirectory_;  // POSIX: the entered directory, absolute
    bool restore_ = false;
    bool entered_ = false;
};

}  // namespace quillpost::platform
