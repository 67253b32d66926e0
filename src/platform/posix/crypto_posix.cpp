// Signing keys, SHA-256 and random bytes over OpenSSL.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <limits>
#include <new>
#include <stdexcept>

#include "platform/crypto.h"
#include "platform/posix/openssl_errors.h"

namespace quillpost::platform {
namespace {

class OpenSslSha256 final : public Sha256 {
public:
    OpenSslSha256() : ctx_(EVP_MD_CTX_new()) {
        if (ctx_ == nullptr || EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(ctx_);
            throw std::bad_alloc();
        }
    }
    ~OpenSslSha256() override { EVP_MD_CTX_free(ctx_); }
    OpenSslSha256(const OpenSslSha256&) = delete;
    OpenSslSha256& operator=(const OpenSslSha256&) = delete;

    void Update(const void* data, std::size_t count) override {
        EVP_DigestUpdate(ctx_, data, count);
    }
    Sha256Digest Finish() override {
        Sha256Digest digest{};
        unsigned int size = 0;
        EVP_DigestFinal_ex(ctx_, digest.data(), &size);
        return digest;
    }

private:
    EVP_MD_CTX* ctx_;
};

// A passphrase is never asked for: an encrypted key fails to load instead of
// waiting at a terminal.
int NoPassphrase(char*, int, int, void*) { return -1; }

class OpenSslKey final : public SigningKey {
public:
    explicit OpenSslKey(EVP_PKEY* key) : key_(key) {}
    ~OpenSslKey() override { EVP_PKEY_free(key_); }
    OpenSslKey(const OpenSslKey&) = delete;
    OpenSslKey& operator=(const OpenSslKey&) = delete;

    SigningKeyType Type() const override {
        return EVP_PKEY_get_base_id(key_) == EVP_PKEY_ED25519 ? SigningKeyType::Ed25519
                                                              : SigningKeyType::Rsa;
    }
    int Bits() const override { return EVP_PKEY_get_bits(key_); }

    bool SignDigest(const Sha256Digest& digest, std::string& signature,
                    std::string* failure) const override {
        ERR_clear_error();
        const bool done = Type() == SigningKeyType::Rsa ? SignRsa(digest, signature)
                                                        : SignEd25519(digest, signature);
        if (!done) *failure = "OpenSSL: " + LibraryErrorText();
        return done;
    }

    std::string PublicKey() const override {
        if (Type() == SigningKeyType::Ed25519) {
            std::string raw(32, '\0');
            std::size_t size = raw.size();
            EVP_PKEY_get_raw_public_key(key_, reinterpret_cast<unsigned char*>(raw.data()), &size);
            raw.resize(size);
            return raw;
        }
        const int size = i2d_PUBKEY(key_, nullptr);
        if (size <= 0) return {};
        std::string der(static_cast<std::size_t>(size), '\0');
        auto* out = reinterpret_cast<unsigned char*>(der.data());
        i2d_PUBKEY(key_, &out);
        return der;
    }

private:
    bool SignRsa(const Sha256Digest& digest, std::string& signature) const {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key_, nullptr);
        std::size_t size = 0;
        bool done = ctx != nullptr && EVP_PKEY_sign_init(ctx) == 1 &&
                    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
                    EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256()) == 1 &&
                    EVP_PKEY_sign(ctx, nullptr, &size, digest.data(), digest.size()) == 1;
        if (done) {
            signature.assign(size, '\0');
            done = EVP_PKEY_sign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &size,
                                 digest.data(), digest.size()) == 1;
            signature.resize(size);
        }
        EVP_PKEY_CTX_free(ctx);
        return done;
    }

    bool SignEd25519(const Sha256Digest& digest, std::string& signature) const {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        std::size_t size = 64;
        signature.assign(size, '\0');
        const bool done = ctx != nullptr &&
                          EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key_) == 1 &&
                          EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()),
                                         &size, digest.data(), digest.size()) == 1;
        signature.resize(size);
        EVP_MD_CTX_free(ctx);
        return done;
    }

    EVP_PKEY* key_;
};

}  // namespace

std::unique_ptr<Sha256> Sha256::Create() { return std::make_unique<OpenSslSha256>(); }

std::unique_ptr<SigningKey> SigningKey::FromPem(std::string_view pem, std::string* failure) {
    if (pem.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        *failure = "the key file is too large";
        return nullptr;
    }
    ERR_clear_error();
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* key =
        bio == nullptr ? nullptr : PEM_read_bio_PrivateKey(bio, nullptr, NoPassphrase, nullptr);
    BIO_free(bio);
    if (key == nullptr) {
        const std::string why = LibraryErrorText();
        *failure = "no usable private key in PEM form" + (why.empty() ? "" : " (" + why + ")");
        return nullptr;
    }
    const int type = EVP_PKEY_get_base_id(key);
    if (type != EVP_PKEY_RSA && type != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        *failure = "the key is neither RSA nor Ed25519";
        return nullptr;
    }
    return std::make_unique<OpenSslKey>(key);
}

void RandomBytes(void* buffer, std::size_t count) {
    if (count > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(count)) != 1)
        throw std::runtime_error("the system's random source failed");
}

}  // namespace quillpost::platform
