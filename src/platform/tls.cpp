#include "platform/tls.h"

namespace quillpost::platform {

std::unique_ptr<TlsSession> TlsSession::CreateClient(const TlsSettings& settings,
                                                     TlsFailure* failure, std::string* detail) {
    std::unique_ptr<TlsSession> session = NewClient();
    session->Init(settings);
    if (session->Failure() == TlsFailure::None) return session;
    if (failure != nullptr) *failure = session->Failure();
    if (detail != nullptr) *detail = session->Detail();
    return nullptr;
}

}  // namespace quillpost::platform
