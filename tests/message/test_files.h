#pragma once
// A content-type table of the test's own for the lookup (so results hold
// with the Windows registry and with /etc/mime.types alike).
#include <string_view>
#include <vector>

#include "platform/content_type.h"
#include "temp_dir.h"

namespace quillpost::testing {

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
