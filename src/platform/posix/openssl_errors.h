#pragma once
// OpenSSL's own words for what just failed, for the TLS session and the
// signing keys alike.
#include <openssl/err.h>

#include <string>

namespace quillpost::platform {

// Every error on this thread's OpenSSL queue, oldest first, joined by "; ";
// empties the queue. Empty when there was none.
inline std::string LibraryErrorText() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty()) text += "; ";
        text += buffer;
    }
    return text;
}

}  // namespace quillpost::platform
