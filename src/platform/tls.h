#pragma once
// A client TLS session as a byte engine: the socket component moves the
// records between it and the connected socket with its own non-blocking
// waits, so TLS shares the time-out, the cancel and the one-second tick of
// plain reads and writes, and bytes the socket layer read ahead are never
// lost to a library that reads the descriptor itself.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quillpost::platform {

struct TlsSettings {
    // The name the connection was made to: sent as SNI when it is a DNS
    // name, and matched against the certificate (an IP literal against its
    // address entries).
    std::string host;
    // False only for a test server: no chain, date or name check.
    bool verify = true;
    // A PEM file of trusted roots. Linux: instead of the system's store;
    // Windows: tried beside the system's.
    std::string caFile;
};

// Why a session failed, as far as the library can tell.
enum class TlsFailure {
    None,
    Untrusted,     // no chain to a trusted root
    Expired,       // outside its validity period
    HostMismatch,  // the certificate names another host
    CaFile,        // the CA file cannot be read or holds no certificate
    Protocol,      // anything else: version, cipher, a malformed or failed record
    // Found by the socket component rather than the library:
    PlainText,  // the peer answered in plain text (no TLS on that port)
    Closed,     // the peer closed the connection before TLS was up
};

class TlsSession {
public:
    enum class Status {
        Done,       // the step is complete
        WantInput,  // more bytes from the peer are needed
        Closed,     // the peer ended TLS (close_notify)
        Failed,     // see Failure() and Detail()
    };

    // A client session that has not started; null with Failure set in
    // *failure and Detail in *detail when the settings cannot be used.
    static std::unique_ptr<TlsSession> CreateClient(const TlsSettings& settings,
                                                    TlsFailure* failure, std::string* detail);
    virtual ~TlsSession() = default;

    // Bytes that came from the peer, in order.
    virtual void PutInput(const char* data, std::size_t count) = 0;
    // Appends the bytes due to the peer and forgets them.
    virtual void TakeOutput(std::string& out) = 0;

    // Advances the handshake with the input so far; Done once the server is
    // verified (when asked) and records may flow.
    virtual Status Handshake() = 0;
    // Seals plain text into records (taken with TakeOutput).
    virtual Status Write(const char* data, std::size_t count) = 0;
    // Appends every byte of plain text the input so far holds; WantInput
    // when nothing (more) is complete.
    virtual Status Read(std::string& plain) = 0;
    // Queues a close_notify.
    virtual void Shutdown() = 0;

    // Protocol and cipher suite, e.g. "TLSv1.3 TLS_AES_256_GCM_SHA384".
    virtual std::string Description() const = 0;
    TlsFailure Failure() const { return failure_; }
    // The library's own words for the failure.
    const std::string& Detail() const { return detail_; }

protected:
    // Sets the session up from Settings; false after Fail when they cannot
    // be used.
    virtual bool Init(const TlsSettings& settings) = 0;
    // Records why the session failed; false, to be returned at once.
    bool Fail(TlsFailure failure, const std::string& detail) {
        failure_ = failure;
        detail_ = detail;
        return false;
    }

private:
    // The platform's session, not yet set up.
    static std::unique_ptr<TlsSession> NewClient();

    TlsFailure failure_ = TlsFailure::None;
    std::string detail_;
};

// Whether a certificate's DNS name entry Pattern names Host: ASCII case
// folded, a wildcard only as the whole leftmost label of three or more.
bool DnsNameMatches(std::string_view pattern, std::string_view host);

}  // namespace quillpost::platform
