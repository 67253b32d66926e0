#pragma once
// An object's component-stream text, and an object read back from one.
#include <sstream>
#include <string>

#include "message/component_stream.h"

namespace quillpost::testing {

inline std::string Save(const TPersistent& p) {
    std::ostringstream out;
    WriteComponent(out, p);
    return out.str();
}

inline void Load(const std::string& bytes, TPersistent& p) {
    std::istringstream in(bytes);
    ReadComponent(in, p);
}

}  // namespace quillpost::testing
