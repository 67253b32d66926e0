#include "util/errors.h"

#include "util/message_table.h"

namespace quillpost {

void RaiseRangeError() { throw ERangeError(kRangeCheckError); }

void RaiseListIndexError(long long index) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

ETimedOutError::ETimedOutError() : EQuillpostError(LoadMessage(msgTimedOut)) {}

ECanceledError::ECanceledError() : EQuillpostError(LoadMessage(msgCanceled)) {}

}  // namespace quillpost
