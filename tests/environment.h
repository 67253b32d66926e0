#pragma once
// The tests that need servers learn of them from variables the script that
// started the servers sets; unset reads as "".
#include <cstdlib>
#include <string>

namespace quillpost::testing {

inline std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace quillpost::testing
