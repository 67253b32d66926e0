#pragma once
// The directory an outside program is run in, for the span of one call.
// The process's current directory is left alone, so that Mailers on other
// threads keep resolving their names against it: the directory is only
// remembered, relative names are resolved against it, and it is handed to
// the program start.
#include <string>

namespace quillpost::platform {

#ifdef _WIN32
// Program paths end their directory part at "\" or ":".
inline constexpr bool kSlashSeparatesDirectories = false;
#else
// Program paths end their directory part at "/".
inline constexpr bool kSlashSeparatesDirectories = true;
#endif

class ScopedWorkingDirectory {
public:
    // Enters Directory; an empty Directory stays in the current one.
    explicit ScopedWorkingDirectory(const std::string& directory);
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
    std::string programDirectory_;  // the entered directory, absolute
    bool entered_ = false;
};

}  // namespace quillpost::platform
