#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/working_directory.h"

namespace quillpost::platform {
namespace {

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& directory) {
    if (directory.empty()) {
        entered_ = true;
        return;
    }
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        access(directory.c_str(), X_OK) != 0)
        return;
    entered_ = true;
    // Pinned now, as entering it would: a later change of the process's
    // directory must not move it.
    programDirectory_ = directory;
    if (directory.front() != '/') {
        const std::string current = CurrentDirectory();
        if (!current.empty())
            programDirectory_ = current + (current.back() == '/' ? "" : "/") + directory;
    }
}

std::string ScopedWorkingDirectory::Resolve(const std::string& name) const {
    if (programDirectory_.empty() || name.empty() || name.front() == '/') return name;
    return programDirectory_ + (programDirectory_.back() == '/' ? "" : "/") + name;
}

}  // namespace quillpost::platform
