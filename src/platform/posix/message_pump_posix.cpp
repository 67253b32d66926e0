#include "platform/message_pump.h"

namespace quillpost::platform {

// A POSIX thread has no window message queue.
void ProcessPendingMessages() {}

}  // namespace quillpost::platform
