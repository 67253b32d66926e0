#include "platform/tls.h"

namespace quillpost::platform {

std::unique_ptr<TlsSession> TlsSession::CreateClient(const TlsSettings&, TlsFailure* failure,
                                                     std::string* detail) {
    if (failure != nullptr) *failure = TlsFailure::Protocol;
    if (detail != nullptr) *detail = "TLS is not available in this build yet";
    return nullptr;
}

}  // namespace quillpost::platform
