#pragma once
// How a session protects itself and logs on: the one set of submission
// settings the Mailer object hands to the SMTP client. The defaults give
// the plain HELO dialogue.
#include <cstdint>
#include <string>
#include <vector>

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
    // A plain session greets with EHLO too (and falls back to HELO on 5xx).
    bool useEsmtp = false;
    // Upper-case keywords of extensions never used, even when offered
    // (PIPELINING, SIZE, CHUNKING, 8BITMIME, DSN); checked where they enter.
    std::vector<std::string> disabledExtensions;

    bool operator==(const TSmtpSettings&) const = default;

    // Whether the session speaks EHLO for these settings alone.
    bool WantsEsmtp() const { return useEsmtp || security != kNoTls || authType != kNoAuth; }
    // Whether the session tries STARTTLS: asked for by Security, or needed
    // to log on without sending credentials in clear text.
    bool StartTlsWanted() const {
        if (security == kStartTlsRequired || security == kStartTlsIfOffered) return true;
        return security == kNoTls && authType != kNoAuth && !allowClearTextAuth;
    }
};

// What one message asks of the envelope; unlike TSmtpSettings it may change
// between the messages of a kept session.
struct TEnvelopeOptions {
    // Refused recipients do not stop the send while one is accepted.
    bool skipRefusedRecipients = false;
    // Delivery notices, used only when the server offers DSN; checked where
    // they enter. Notify: "", "NEVER" or a comma list of SUCCESS, FAILURE,
    // DELAY; Return: "", "FULL" or "HDRS"; EnvelopeId: printable ASCII,
    // xtext-encoded by the session.
    std::string dsnNotify;
    std::string dsnReturn;
    std::string envelopeId;
};

}  // namespace quillpost
