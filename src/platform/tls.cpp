#include "platform/tls.h"

#include "base/ascii.h"

namespace quillpost::platform {

std::unique_ptr<TlsSession> TlsSession::CreateClient(const TlsSettings& settings,
                                                     TlsFailure* failure, std::string* detail) {
    std::unique_ptr<TlsSession> session = NewClient();
    // With no name to match, a library would check the chain alone: any
    // trusted certificate, for any host, would do.
    if (settings.verify && settings.host.empty())
        session->Fail(TlsFailure::HostMismatch, "no host name to check the certificate against");
    else
        session->Init(settings);
    if (session->Failure() == TlsFailure::None) return session;
    if (failure != nullptr) *failure = session->Failure();
    if (detail != nullptr) *detail = session->Detail();
    return nullptr;
}

bool DnsNameMatches(std::string_view pattern, std::string_view host) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    if (pattern.empty() || host.empty()) return false;
    if (pattern.substr(0, 2) != "*.")
        return pattern.find('*') == std::string_view::npos && SameTextIgnoringCase(pattern, host);
    // A whole-label wildcard on the left only, over at least two labels:
    // "*.example.com" takes "a.example.com", not "example.com" nor "a.b.example.com".
    const std::string_view rest = pattern.substr(1);  // ".example.com"
    if (rest.find('*') != std::string_view::npos || rest.find('.', 1) == std::string_view::npos)
        return false;
    const std::size_t dot = host.find('.');
    return dot != std::string_view::npos && dot > 0 && SameTextIgnoringCase(host.substr(dot), rest);
}

}  // namespace quillpost::platform
