#pragma once
// The cryptography a message signature needs, from the system's library:
// SHA-256 in pieces, a PEM private key that signs a digest, and random bytes.
// Nothing here is written by hand.
#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quillpost::platform {

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
public:
    // Raises std::bad_alloc when the library cannot make a context.
    static std::unique_ptr<Sha256> Create();
    virtual ~Sha256() = default;
    virtual void Update(const void* data, std::size_t count) = 0;
    // The digest of everything so far; the object is spent afterwards.
    virtual Sha256Digest Finish() = 0;
};

enum class SigningKeyType { Rsa, Ed25519 };

class SigningKey {
public:
    // The first private key in Pem (PKCS#8 "PRIVATE KEY" or PKCS#1 "RSA
    // PRIVATE KEY"); null with the reason in *failure when there is none or
    // the platform cannot use it. An encrypted key is refused, never prompted for.
    static std::unique_ptr<SigningKey> FromPem(std::string_view pem, std::string* failure);
    virtual ~SigningKey() = default;

    virtual SigningKeyType Type() const = 0;
    // The modulus size of an RSA key; 256 for Ed25519.
    virtual int Bits() const = 0;
    // The signature of data whose SHA-256 digest is Digest: RSASSA-PKCS1-v1_5
    // for RSA, and for Ed25519 PureEdDSA over the 32 digest bytes (as RFC 8463
    // signs). False with the library's words in *failure.
    virtual bool SignDigest(const Sha256Digest& digest, std::string& signature,
                            std::string* failure) const = 0;
    // The public key as a DNS key record carries it: an RSA key's DER
    // SubjectPublicKeyInfo, an Ed25519 key's 32 raw bytes.
    virtual std::string PublicKey() const = 0;
};

// Fills Buffer with bytes from the system's cryptographic random source;
// raises std::runtime_error when it fails.
void RandomBytes(void* buffer, std::size_t count);

}  // namespace quillpost::platform
