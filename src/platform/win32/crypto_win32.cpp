// Signing keys, SHA-256 and random bytes over CNG (BCrypt), with the PEM and
// ASN.1 decoding of CryptoAPI. CNG has no Ed25519: such a key is refused
// with a clear word instead.
#include <windows.h>
// After windows.h:
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <initializer_list>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/crypto.h"

namespace quillpost::platform {
namespace {

bool Ok(NTSTATUS status) { return status >= 0; }

std::string StatusText(const char* what, NTSTATUS status) {
    char code[16];
    wsprintfA(code, "0x%08lX", static_cast<unsigned long>(status));
    return std::string(what) + " failed (" + code + ")";
}

// Provider handles are opened once and shared: CNG's are safe on any thread.
BCRYPT_ALG_HANDLE Provider(const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0))) return nullptr;
    return handle;
}

BCRYPT_ALG_HANDLE Sha256Provider() {
    static const BCRYPT_ALG_HANDLE handle = Provider(BCRYPT_SHA256_ALGORITHM);
    return handle;
}

BCRYPT_ALG_HANDLE RsaProvider() {
    static const BCRYPT_ALG_HANDLE handle = Provider(BCRYPT_RSA_ALGORITHM);
    return handle;
}

class CngSha256 final : public Sha256 {
public:
    CngSha256() {
        if (Sha256Provider() == nullptr ||
            !Ok(BCryptCreateHash(Sha256Provider(), &hash_, nullptr, 0, nullptr, 0, 0)))
            throw std::bad_alloc();
    }
    ~CngSha256() override { BCryptDestroyHash(hash_); }
    CngSha256(const CngSha256&) = delete;
    CngSha256& operator=(const CngSha256&) = delete;

    void Update(const void* data, std::size_t count) override {
        // BCryptHashData takes a ULONG count: large pieces go in parts.
        auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
        while (count > 0) {
            const ULONG part = static_cast<ULONG>(std::min<std::size_t>(count, 1u << 30));
            BCryptHashData(hash_, bytes, part, 0);
            bytes += part;
            count -= part;
        }
    }
    Sha256Digest Finish() override {
        Sha256Digest digest{};
        BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        return digest;
    }

private:
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// CryptoAPI's decoded RSA private key: BLOBHEADER, RSAPUBKEY, then the
// modulus and the other numbers, little-endian.
struct CapiRsaKey {
    std::vector<BYTE> blob;
    const RSAPUBKEY& Header() const {
        return *reinterpret_cast<const RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
    }
    const BYTE* Numbers() const { return blob.data() + sizeof(BLOBHEADER) + sizeof(RSAPUBKEY); }
};

bool Decode(LPCSTR type, const BYTE* der, DWORD size, std::vector<BYTE>& out) {
    DWORD needed = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, der, size, 0, nullptr,
                             nullptr, &needed))
        return false;
    out.resize(needed);
    return CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, der, size, 0, nullptr,
                               out.data(), &needed) != FALSE;
}

void AppendBigEndian(std::vector<BYTE>& out, const BYTE* little, std::size_t count) {
    for (std::size_t i = count; i-- > 0;) out.push_back(little[i]);
}

class CngRsaKey final : public SigningKey {
public:
    CngRsaKey(BCRYPT_KEY_HANDLE key, CapiRsaKey capi) : key_(key), capi_(std::move(capi)) {}
    ~CngRsaKey() override {
        BCryptDestroyKey(key_);
        SecureZeroMemory(capi_.blob.data(), capi_.blob.size());
    }
    CngRsaKey(const CngRsaKey&) = delete;
    CngRsaKey& operator=(const CngRsaKey&) = delete;

    SigningKeyType Type() const override { return SigningKeyType::Rsa; }
    int Bits() const override { return static_cast<int>(capi_.Header().bitlen); }

    bool SignDigest(const Sha256Digest& digest, std::string& signature,
                    std::string* failure) const override {
        BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
        auto* hash = const_cast<UCHAR*>(digest.data());
        ULONG size = 0;
        NTSTATUS status = BCryptSignHash(key_, &padding, hash, static_cast<ULONG>(digest.size()),
                                         nullptr, 0, &size, BCRYPT_PAD_PKCS1);
        if (Ok(status)) {
            signature.assign(size, '\0');
            status = BCryptSignHash(key_, &padding, hash, static_cast<ULONG>(digest.size()),
                                    reinterpret_cast<UCHAR*>(signature.data()), size, &size,
                                    BCRYPT_PAD_PKCS1);
            signature.resize(size);
        }
        if (!Ok(status)) *failure = StatusText("BCryptSignHash", status);
        return Ok(status);
    }

    std::string PublicKey() const override {
        // PUBLICKEYBLOB: the private blob's header, RSAPUBKEY and modulus.
        const DWORD modulus = capi_.Header().bitlen / 8;
        std::vector<BYTE> blob(capi_.blob.begin(), capi_.blob.begin() + sizeof(BLOBHEADER) +
                                                       sizeof(RSAPUBKEY) + modulus);
        reinterpret_cast<BLOBHEADER*>(blob.data())->bType = PUBLICKEYBLOB;
        reinterpret_cast<RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER))->magic = 0x31415352;  // RSA1
        std::vector<BYTE> rsaPublic = Encode(RSA_CSP_PUBLICKEYBLOB, blob.data());
        static char rsaOid[] = szOID_RSA_RSA;
        static BYTE nullParameters[] = {0x05, 0x00};
        CERT_PUBLIC_KEY_INFO info{};
        info.Algorithm.pszObjId = rsaOid;
        info.Algorithm.Parameters = {sizeof nullParameters, nullParameters};
        info.PublicKey = {static_cast<DWORD>(rsaPublic.size()), rsaPublic.data(), 0};
        const std::vector<BYTE> der = Encode(X509_PUBLIC_KEY_INFO, &info);
        return std::string(der.begin(), der.end());
    }

private:
    static std::vector<BYTE> Encode(LPCSTR type, const void* value) {
        DWORD size = 0;
        if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, value, 0, nullptr, nullptr, &size))
            return {};
        std::vector<BYTE> der(size);
        if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, value, 0, nullptr, der.data(), &size))
            return {};
        der.resize(size);
        return der;
    }

    BCRYPT_KEY_HANDLE key_;
    CapiRsaKey capi_;
};

// The BCRYPT_RSAPRIVATE_BLOB of a CryptoAPI key: exponent, modulus and the
// two primes, big-endian.
std::vector<BYTE> CngPrivateBlob(const CapiRsaKey& capi) {
    const RSAPUBKEY& header = capi.Header();
    const DWORD modulus = header.bitlen / 8, prime = header.bitlen / 16;
    std::vector<BYTE> exponent;
    for (DWORD e = header.pubexp; e != 0; e >>= 8)
        exponent.insert(exponent.begin(), BYTE(e & 0xFF));
    BCRYPT_RSAKEY_BLOB cng{
        BCRYPT_RSAPRIVATE_MAGIC, header.bitlen, ULONG(exponent.size()), modulus, prime, prime};
    std::vector<BYTE> blob(reinterpret_cast<BYTE*>(&cng),
                           reinterpret_cast<BYTE*>(&cng) + sizeof cng);
    blob.insert(blob.end(), exponent.begin(), exponent.end());
    AppendBigEndian(blob, capi.Numbers(), modulus);
    AppendBigEndian(blob, capi.Numbers() + modulus, prime);
    AppendBigEndian(blob, capi.Numbers() + modulus + prime, prime);
    return blob;
}

// The DER of the first PEM block in Pem and its label ("PRIVATE KEY", ...).
bool PemBlock(std::string_view pem, std::vector<BYTE>& der, std::string& label) {
    const std::size_t begin = pem.find("-----BEGIN ");
    if (begin == std::string_view::npos) return false;
    const std::size_t end = pem.find("-----", begin + 11);
    if (end == std::string_view::npos) return false;
    label = std::string(pem.substr(begin + 11, end - begin - 11));
    const std::string_view text = pem.substr(begin);
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data(), DWORD(text.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr))
        return false;
    der.resize(size);
    return CryptStringToBinaryA(text.data(), DWORD(text.size()), CRYPT_STRING_BASE64HEADER,
                                der.data(), &size, nullptr, nullptr) != FALSE;
}

// One DER element at the start of Der: its tag and contents; false when Der
// does not hold a whole one.
bool TakeElement(std::span<const BYTE>& der, BYTE& tag, std::span<const BYTE>& contents) {
    if (der.size() < 2) return false;
    tag = der[0];
    std::size_t length = der[1], at = 2;
    if (length & 0x80) {
        const std::size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 4 || der.size() < 2 + bytes) return false;
        length = 0;
        for (; at < 2 + bytes; ++at) length = length << 8 | der[at];
    }
    if (der.size() - at < length) return false;
    contents = der.subspan(at, length);
    der = der.subspan(at + length);
    return true;
}

// The algorithm and key of a PKCS#8 PrivateKeyInfo: SEQUENCE { version,
// SEQUENCE { OID, ... }, OCTET STRING key }. Read here rather than through
// CryptDecodeObjectEx(PKCS_PRIVATE_KEY_INFO), which not every crypt32 has.
bool SplitPkcs8(std::span<const BYTE> der, std::span<const BYTE>& oid, std::span<const BYTE>& key) {
    BYTE tag = 0;
    std::span<const BYTE> info, version, algorithm;
    if (!TakeElement(der, tag, info) || tag != 0x30) return false;
    if (!TakeElement(info, tag, version) || tag != 0x02) return false;
    if (!TakeElement(info, tag, algorithm) || tag != 0x30) return false;
    if (!TakeElement(algorithm, tag, oid) || tag != 0x06) return false;
    return TakeElement(info, tag, key) && tag == 0x04;
}

bool SameBytes(std::span<const BYTE> a, std::initializer_list<BYTE> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The PKCS#1 RSAPrivateKey inside Der (PKCS#8 or PKCS#1 by Label); empty
// with *failure set otherwise.
std::vector<BYTE> RsaPrivateKeyDer(const std::string& label, const std::vector<BYTE>& der,
                                   std::string* failure) {
    if (label == "RSA PRIVATE KEY") return der;
    if (label != "PRIVATE KEY") {
        *failure = label == "ENCRYPTED PRIVATE KEY"
                       ? "the key is encrypted"
                       : "the PEM block is a " + label + ", not a private key";
        return {};
    }
    std::span<const BYTE> oid, key;
    if (!SplitPkcs8(der, oid, key)) {
        *failure = "the PKCS#8 key cannot be decoded";
        return {};
    }
    if (SameBytes(oid, {0x2B, 0x65, 0x70})) {  // 1.3.101.112
        *failure = "Ed25519 keys are not supported on Windows; use an RSA key";
        return {};
    }
    if (!SameBytes(oid, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01})) {  // rsaEncryption
        *failure = "the key is neither RSA nor Ed25519";
        return {};
    }
    return {key.begin(), key.end()};
}

}  // namespace

std::unique_ptr<Sha256> Sha256::Create() { return std::make_unique<CngSha256>(); }

std::unique_ptr<SigningKey> SigningKey::FromPem(std::string_view pem, std::string* failure) {
    std::vector<BYTE> der;
    std::string label;
    if (!PemBlock(pem, der, label)) {
        *failure = "no PEM block in the key file";
        return nullptr;
    }
    std::vector<BYTE> rsa = RsaPrivateKeyDer(label, der, failure);
    // Zeroed whether or not the key was taken.
    SecureZeroMemory(der.data(), der.size());
    if (rsa.empty()) return nullptr;
    CapiRsaKey capi;
    const bool decoded = Decode(PKCS_RSA_PRIVATE_KEY, rsa.data(), DWORD(rsa.size()), capi.blob);
    SecureZeroMemory(rsa.data(), rsa.size());
    if (!decoded || capi.blob.size() < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY)) {
        *failure = "the RSA key cannot be decoded";
        return nullptr;
    }
    std::vector<BYTE> blob = CngPrivateBlob(capi);
    BCRYPT_KEY_HANDLE key = nullptr;
    const NTSTATUS status =
        RsaProvider() == nullptr
            ? NTSTATUS(-1)
            : BCryptImportKeyPair(RsaProvider(), nullptr, BCRYPT_RSAPRIVATE_BLOB, &key, blob.data(),
                                  ULONG(blob.size()), 0);
    SecureZeroMemory(blob.data(), blob.size());
    if (!Ok(status)) {
        *failure = StatusText("BCryptImportKeyPair", status);
        return nullptr;
    }
    return std::make_unique<CngRsaKey>(key, std::move(capi));
}

void RandomBytes(void* buffer, std::size_t count) {
    if (!Ok(BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(count),
                            BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        throw std::runtime_error("the system's random source failed");
}

}  // namespace quillpost::platform
