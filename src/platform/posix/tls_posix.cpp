// The TLS session over OpenSSL with memory BIOs: the library never touches
// the descriptor, so the socket component's poll() waits, read-ahead and
// time-out stay the only ones.
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "platform/posix/openssl_errors.h"
#include "platform/tls.h"

namespace quillpost::platform {
namespace {

bool IsAddressLiteral(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

class OpenSslSession final : public TlsSession {
public:
    ~OpenSslSession() override {
        if (ssl_ != nullptr) SSL_free(ssl_);  // frees both BIOs
        if (ctx_ != nullptr) SSL_CTX_free(ctx_);
    }

    bool Init(const TlsSettings& settings) override {
        ERR_clear_error();
        ctx_ = SSL_CTX_new(TLS_client_method());
        if (ctx_ == nullptr) return Fail(TlsFailure::Protocol, LibraryErrorText());
        if (SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION) != 1)
            return Fail(TlsFailure::Protocol, "cannot require TLS 1.2: " + LibraryErrorText());
        if (settings.verify) {
            if (settings.caFile.empty()) {
                // Without the system's roots every chain would fail; say why.
                if (SSL_CTX_set_default_verify_paths(ctx_) != 1)
                    return Fail(TlsFailure::CaFile,
                                "the system's trusted roots: " + LibraryErrorText());
            } else if (SSL_CTX_load_verify_locations(ctx_, settings.caFile.c_str(), nullptr) != 1) {
                return Fail(TlsFailure::CaFile, settings.caFile + ": " + LibraryErrorText());
            }
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        } else {
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
        }
        ssl_ = SSL_new(ctx_);
        BIO* in = BIO_new(BIO_s_mem());
        BIO* out = BIO_new(BIO_s_mem());
        if (ssl_ == nullptr || in == nullptr || out == nullptr) {
            BIO_free(in);
            BIO_free(out);
            return Fail(TlsFailure::Protocol, LibraryErrorText());
        }
        SSL_set_bio(ssl_, in, out);  // owned by the session from here
        in_ = in;
        out_ = out;
        SSL_set_connect_state(ssl_);
        // An empty input is "not yet", never an end of stream.
        if (BIO_set_mem_eof_return(in, -1) != 1)
            return Fail(TlsFailure::Protocol, LibraryErrorText());

        const std::string& host = settings.host;
        bool address = IsAddressLiteral(host);
        // SNI carries DNS names only.
        if (!address && !host.empty() && SSL_set_tlsext_host_name(ssl_, host.c_str()) != 1)
            return Fail(TlsFailure::Protocol,
                        "cannot send the name " + host + ": " + LibraryErrorText());
        if (settings.verify) {
            // The name is matched against subjectAltName alone: a certificate
            // naming its host only in the subject's CN is refused (RFC 6125),
            // as browsers do.
            SSL_set_hostflags(
                ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
            int ok = address ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str())
                             : SSL_set1_host(ssl_, host.c_str());
            if (ok != 1) return Fail(TlsFailure::HostMismatch, "cannot check the name " + host);
        }
        return true;
    }

    void PutInput(const char* data, std::size_t count) override {
        // A memory BIO fails only without memory; the bytes are then lost
        // and the session with them.
        if (count > 0 && BIO_write(in_, data, static_cast<int>(count)) != static_cast<int>(count))
            inputLost_ = true;
    }

    void TakeOutput(std::string& out) override {
        char* data = nullptr;
        long size = BIO_get_mem_data(out_, &data);
        if (size <= 0) return;
        out.append(data, static_cast<std::size_t>(size));
        (void)BIO_reset(out_);
    }

    Status Handshake() override {
        if (inputLost_) return InputLost();
        ERR_clear_error();
        int rc = SSL_do_handshake(ssl_);
        if (rc == 1) return Status::Done;
        return Outcome(rc);
    }

    Status Write(const char* data, std::size_t count) override {
        ERR_clear_error();
        // A memory BIO takes everything: one call seals the whole text.
        std::size_t written = 0;
        if (count == 0) return Status::Done;
        if (SSL_write_ex(ssl_, data, count, &written) == 1 && written == count) return Status::Done;
        Status status = Outcome(0);
        if (status != Status::WantInput) return status;
        Fail(TlsFailure::Protocol, "the session cannot send now");
        return Status::Failed;
    }

    Status Read(std::string& plain) override {
        if (inputLost_) return InputLost();
        bool any = false;
        for (;;) {
            ERR_clear_error();
            char buffer[16384];
            std::size_t n = 0;
            if (SSL_read_ex(ssl_, buffer, sizeof buffer, &n) == 1) {
                plain.append(buffer, n);
                any = true;
                continue;
            }
            Status status = Outcome(0);
            if (status == Status::WantInput && any) return Status::Done;
            return status;
        }
    }

    void Shutdown() override {
        ERR_clear_error();
        SSL_shutdown(ssl_);
    }

    std::string Description() const override {
        const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl_);
        std::string text = SSL_get_version(ssl_);
        if (cipher != nullptr) {
            const char* name = SSL_CIPHER_standard_name(cipher);
            text += " ";
            text += name != nullptr ? name : SSL_CIPHER_get_name(cipher);
        }
        return text;
    }

private:
    Status InputLost() {
        Fail(TlsFailure::Protocol, "received bytes could not be kept");
        return Status::Failed;
    }

    Status Outcome(int rc) {
        switch (SSL_get_error(ssl_, rc)) {
            case SSL_ERROR_WANT_READ:
            case SSL_ERROR_WANT_WRITE:
                return Status::WantInput;
            case SSL_ERROR_ZERO_RETURN:
                return Status::Closed;
            default:
                break;
        }
        long verify = SSL_get_verify_result(ssl_);
        std::string library = LibraryErrorText();
        if (verify == X509_V_OK) {
            Fail(TlsFailure::Protocol, library.empty() ? "handshake failed" : library);
            return Status::Failed;
        }
        std::string text = X509_verify_cert_error_string(verify);
        switch (verify) {
            case X509_V_ERR_CERT_HAS_EXPIRED:
            case X509_V_ERR_CERT_NOT_YET_VALID:
            case X509_V_ERR_CRL_HAS_EXPIRED:
                Fail(TlsFailure::Expired, text);
                break;
            case X509_V_ERR_HOSTNAME_MISMATCH:
            case X509_V_ERR_IP_ADDRESS_MISMATCH:
                Fail(TlsFailure::HostMismatch, text);
                break;
            default:
                Fail(TlsFailure::Untrusted, text);
                break;
        }
        return Status::Failed;
    }

    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
    bool inputLost_ = false;
};

}  // namespace

std::unique_ptr<TlsSession> TlsSession::NewClient() { return std::make_unique<OpenSslSession>(); }

}  // namespace quillpost::platform
