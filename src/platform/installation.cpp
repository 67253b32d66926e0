#include <cstdlib>

#include "platform/installation.h"

namespace quillpost::platform {

std::string SystemOwnerName();  // per platform

std::string InstallationOwner() {
    if (const char* v = std::getenv("QUILLPOST_OWNER"); v != nullptr && *v != '\0') return v;
    return SystemOwnerName();
}

}  // namespace quillpost::platform
