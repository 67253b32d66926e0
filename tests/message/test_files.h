#pragma once
// A content-type table of the test's own for the lookup (so results hold
// with the Windows registry and with /etc/mime.types alike).
#include <string_view>

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
