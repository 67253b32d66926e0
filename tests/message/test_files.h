#pragma once
// Test helpers: a fresh temporary directory removed with its files, and a
// content-type table of the test's own for the lookup (so results hold with
// the Windows registry and with /etc/mime.types alike).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/content_type.h"

namespace quillpost::testing {

class TempDir {
public:
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 16; ++attempt) {
            path_ =
                std::filesystem::temp_directory_path() / ("qp_model_" + std::to_string(random()));
            if (std::filesystem::create_directory(path_)) return;
        }
        throw std::runtime_error("cannot create a temporary directory");
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string Path() const { return path_.string(); }
    std::string PathOf(std::string_view name) const { return (path_ / name).string(); }
    // Writes Bytes to the file Name here and returns its full path.
    std::string Write(std::string_view name, std::string_view bytes) const {
        std::ofstream(PathOf(name), std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size()));
        return PathOf(name);
    }

private:
    std::filesystem::path path_;
};

inline constexpr const char* kTestMimeTable =
    "# a comment line\n"
    "text/plain\t\ttxt text\n"
    "Text/Plain  tpl   # a comment after the extensions\n"
    "message/rfc822 eml\n"
    "image/GIF gif\n"
    "text/html html htm\r\n"
    "application/gzip gz\n"
    "text/x-later txt\n"
    "application/x-no-extensions\n";

// Names that are no regular file: Dir itself, and where the system has them
// a pipe without a writer (made in Dir) and an endless device.
inline std::vector<std::string> SpecialFiles(const TempDir& dir) {
    std::vector<std::string> names = {dir.Path()};
    if (std::filesystem::exists("/dev/zero")) {
        names.push_back("/dev/zero");
        const std::string fifo = dir.PathOf("fifo");
        if (std::system(("mkfifo '" + fifo + "'").c_str()) == 0) names.push_back(fifo);
    } else {
        names.push_back("\\\\.\\NUL");
    }
    return names;
}

class MimeTableOverride {
public:
    explicit MimeTableOverride(std::string_view table = kTestMimeTable) {
        platform::SetMimeTypesFile(dir_.Write("mime.types", table));
    }
    ~MimeTableOverride() { platform::SetMimeTypesFile(""); }

private:
    TempDir dir_;
};

}  // namespace quillpost::testing
