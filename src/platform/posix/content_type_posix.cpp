#include "platform/content_type.h"

namespace quillpost::platform {

// Debian's media-types package keeps the system's table here.
std::string SystemContentType(std::string_view extension) {
    return ContentTypeFromTable("/etc/mime.types", extension);
}

}  // namespace quillpost::platform
