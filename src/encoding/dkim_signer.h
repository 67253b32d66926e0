#pragma once
// DKIM signatures (RFC 6376, RFC 8463 for Ed25519), relaxed/relaxed: the
// composed text is read back once, its periods unstuffed, the body hashed as
// it streams by and the chosen header fields signed. The signature field is
// handed back as lines to send before the text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"
#include "util/stream.h"
#include "util/string_vector.h"

namespace quillpost {

struct TDkimOptions {
    std::string domain;
    std::string selector;
    // Field names to sign, each as often as it occurs; empty for the usual
    // set. From and Subject are always listed once more than they occur, so
    // that no one can add one the signature would not cover.
    StringVector headers;
    // Seconds since 1970 for t=; negative for the time of signing.
    std::int64_t time = -1;
};

// The relaxed body canonicalisation fed in pieces of any size, hashed as it goes.
class TRelaxedBodyHash {
public:
    TRelaxedBodyHash();
    void Update(const char* data, std::size_t count);
    platform::Sha256Digest Finish();

private:
    void StartContent();
    void Flush();

    std::unique_ptr<platform::Sha256> sha_;
    std::string out_;
    std::size_t blankLines_ = 0;  // empty lines held back: only text after them keeps them
    bool space_ = false;          // blanks seen since the last character kept
    bool cr_ = false;             // a CR that may begin a line end
    bool content_ = false;        // the current line has a character kept
};

// One header field (its lines joined by CR LF, without the last) in relaxed
// form: "name:value" with no CR LF.
std::string RelaxedHeaderField(std::string_view field);

class TDkimSigner {
public:
    // Raises EMessageError naming DKIM and the cause when Pem holds no key
    // that can sign (RSA outside 1024 to 4096 bits included).
    TDkimSigner(TDkimOptions options, std::string_view pem);
    ~TDkimSigner();
    TDkimSigner(const TDkimSigner&) = delete;
    TDkimSigner& operator=(const TDkimSigner&) = delete;

    // The DKIM-Signature field over the composed text in Stream from Start
    // to its end, as lines without CR LF (none over 78 characters). Leaves
    // the stream at its end.
    std::vector<std::string> Sign(TStream& stream, std::int64_t start) const;

    // The TXT record that publishes the key, as a zone file line.
    std::string DnsRecord() const;

    // "rsa-sha256" or "ed25519-sha256".
    const char* Algorithm() const;

private:
    // The field's lines over the header Fields and the body's hash.
    std::vector<std::string> SignatureField(const std::vector<std::string>& fields,
                                            const platform::Sha256Digest& bodyHash) const;

    TDkimOptions options_;
    std::unique_ptr<platform::SigningKey> key_;
};

}  // namespace quillpost
