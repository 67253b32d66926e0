#include <limits.h>
#include <unistd.h>

#include <string>

namespace quillpost::platform {

std::string SystemOwnerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace quillpost::platform
