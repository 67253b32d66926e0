#include "platform/memory.h"

namespace quillpost::platform {

// Large pages on Windows need a privilege services rarely hold, and memory
// allocated apart from the heap: ordinary pages it is.
void AdviseLargeBuffer(void*, std::size_t) noexcept {}

}  // namespace quillpost::platform
