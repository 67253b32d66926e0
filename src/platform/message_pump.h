#pragma once
// Lets the calling thread's pending window messages flow during long work, so
// a host's user interface stays alive. Nothing to do where there are none.

namespace quillpost::platform {

void ProcessPendingMessages();

}  // namespace quillpost::platform
