#pragma once
// Socket failures reach scripts as Winsock codes and their texts on every
// platform; this turns a C library error number into that code.
#include <cstdint>

namespace quillpost::platform {

// The Winsock code for a C library errno value; 0 stays 0, and a value with
// no socket meaning gives 10100 + the value, a code without a text (so the
// script sees "Error #" and the number rather than a wrong text).
std::uint16_t WinsockCodeForErrno(int errnoValue);

}  // namespace quillpost::platform
