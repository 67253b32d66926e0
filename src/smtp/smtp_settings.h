#pragma once
// How a session protects itself and logs on: the one set of submission
// settings the Mailer object hands to the SMTP client. The defaults give
// the plain HELO dialogue.
#include <cstdint>
#include <string>

#include "base/secret.h"

namespace quillpost {

struct TSmtpSettings {
    enum Security : std::int16_t {
        kNoTls = 0,
        kStartTlsRequired = 1,
        kImplicitTls = 2,       // TLS from the first byte (port 465 by default)
        kStartTlsIfOffered = 3  // opportunistic: no defence against an active attacker
    };
    enum Auth : std::int16_t { kNoAuth = 0, kAutoAuth = 1, kPlain = 2, kLogin = 3, kXOAuth2 = 4 };
    static constexpr std::uint16_t kImplicitTlsPort = 465;

    std::int16_t security = kNoTls;
    std::int16_t authType = kNoAuth;
    // UTF-8, as they go into the AUTH exchange.
    std::string userName;
    TSecret password;
    TSecret accessToken;
    bool verifyCertificate = true;
    std::string caFile;
    // Credentials may go without TLS only when the caller asked for it.
    bool allowClearTextAuth = false;

    bool operator==(const TSmtpSettings&) const = default;

    // Whether the session speaks EHLO for these settings alone.
    bool WantsEsmtp() const { return security != kNoTls || authType != kNoAuth; }
    // Whether the session tries STARTTLS: asked for by Security, or needed
    // to log on without sending credentials in clear text.
    bool StartTlsWanted() const {
        if (security == kStartTlsRequired || security == kStartTlsIfOffered) return true;
        return security == kNoTls && authType != kNoAuth && !allowClearTextAuth;
    }
};

}  // namespace quillpost
