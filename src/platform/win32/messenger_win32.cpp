#include <string>

#include "platform/process.h"

namespace quillpost::platform {

// The system's own messenger command, hidden; its outcome is ignored.
void RunSystemMessenger(const std::string& commandLine, unsigned waitMs) {
    (void)RunAndWait(commandLine, kShowHide, waitMs);
}

}  // namespace quillpost::platform
