#pragma once
// Raising the component's errors with texts of the message table
// (message_table.h); the classes themselves are in base/errors.h.
#include <string>

#include "base/errors.h"

namespace quillpost {

// Text of the range error raised by numeric property checks.
inline constexpr const char* kRangeCheckError = "Range check error";

[[noreturn]] void RaiseRangeError();
[[noreturn]] void RaiseListIndexError(long long index);

// A wait whose count-down reached zero; the text is always message 57000.
class ETimedOutError : public EQuillpostError {
public:
    ETimedOutError();
};

// An operation ended by Cancel; the text is always message 57001.
class ECanceledError : public EQuillpostError {
public:
    ECanceledError();
};

}  // namespace quillpost
