// The TLS session over SChannel (SSPI) in buffer mode. SChannel is told to
// leave the server's certificate alone; after the handshake the chain is
// built and checked here, because Wine's SChannel checks nothing and its
// policy check alone passes a partial chain: either the chain's error status
// or the SSL policy reporting an error rejects the server.
#define SECURITY_WIN32
#include <windows.h>
// The SSPI and certificate headers need windows.h first.
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/file_access.h"
#include "platform/tls.h"

namespace quillpost::platform {
namespace {

// SECURITY_FLAG_IGNORE_CERT_CN_INVALID, declared only in wininet.h.
constexpr DWORD kIgnoreNameCheck = 0x00001000;

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), n, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(n - 1));
    return narrow;
}

std::string CodeText(long code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(code));
    return buffer;
}

// Wine names the suites it negotiates with their hash "<unknown>"; for the
// AEAD suites it offers that is the one their cipher implies.
std::string RepairedSuiteName(std::string name) {
    const std::string unknown = "<unknown>";
    auto at = name.find(unknown);
    if (at == std::string::npos) return name;
    bool sha384 = name.find("AES_256_GCM") != std::string::npos;
    bool sha256 =
        name.find("AES_128_GCM") != std::string::npos || name.find("CHACHA20") != std::string::npos;
    if (!sha384 && !sha256) return {};
    return name.replace(at, unknown.size(), sha384 ? "SHA384" : "SHA256");
}

// Dotted IPv4 text to its four bytes; the socket component speaks IPv4 only.
bool ParseIpv4(const std::string& text, BYTE out[4]) {
    int part = 0;
    unsigned value = 0;
    bool digits = false;
    for (char c : text + ".") {
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255) return false;
            digits = true;
        } else if (c == '.' && digits && part < 4) {
            out[part++] = static_cast<BYTE>(value);
            value = 0;
            digits = false;
        } else {
            return false;
        }
    }
    return part == 4;
}

// Whether the certificate's subject alternative names list Host: an address
// entry for an address, a DNS entry for a name. The subject's CN is never
// read: Windows' own policy falls back to it, and a name there alone is not
// enough (RFC 6125), as with OpenSSL's check on Linux.
bool CertificateNamesHost(PCCERT_CONTEXT cert, const std::string& host) {
    BYTE address[4];
    const bool isAddress = ParseIpv4(host, address);
    PCERT_EXTENSION ext = CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension,
                                            cert->pCertInfo->rgExtension);
    if (ext == nullptr) return false;
    CERT_ALT_NAME_INFO* info = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                             ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size))
        return false;
    bool found = false;
    for (DWORD i = 0; i < info->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = info->rgAltEntry[i];
        if (isAddress)
            found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                    entry.IPAddress.cbData == 4 &&
                    std::memcmp(entry.IPAddress.pbData, address, 4) == 0;
        else
            found = entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME &&
                    entry.pwszDNSName != nullptr && DnsNameMatches(Narrow(entry.pwszDNSName), host);
    }
    LocalFree(info);
    return found;
}

class SChannelSession final : public TlsSession {
public:
    ~SChannelSession() override {
        if (haveContext_) DeleteSecurityContext(&context_);
        if (haveCredentials_) FreeCredentialsHandle(&credentials_);
        if (roots_ != nullptr) CertCloseStore(roots_, 0);
    }

    bool Init(const TlsSettings& settings) override {
        host_ = settings.host;
        verify_ = settings.verify;
        BYTE address[4];
        // A name that does not convert would go without SNI.
        if (!host_.empty() && !ParseIpv4(host_, address) && Widen(host_).empty())
            return Fail(TlsFailure::HostMismatch, "cannot check the name " + host_);
        if (verify_ && !settings.caFile.empty() && !LoadRoots(settings.caFile)) return false;
        SCHANNEL_CRED cred{};
        cred.dwVersion = SCHANNEL_CRED_VERSION;
        cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        SECURITY_STATUS status = AcquireCredentialsHandleW(
            nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &cred,
            nullptr, nullptr, &credentials_, nullptr);
        if (status != SEC_E_OK)
            return Fail(TlsFailure::Protocol, "no TLS credentials, " + CodeText(status));
        haveCredentials_ = true;
        return true;
    }

    void PutInput(const char* data, std::size_t count) override { input_.append(data, count); }

    void TakeOutput(std::string& out) override {
        out += output_;
        output_.clear();
    }

    Status Handshake() override {
        BYTE address[4];
        // SNI carries DNS names only.
        std::wstring target = ParseIpv4(host_, address) ? std::wstring() : Widen(host_);
        for (;;) {
            SecBuffer in[2] = {
                {static_cast<unsigned long>(input_.size()), SECBUFFER_TOKEN, input_.data()},
                {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
            SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
            unsigned long flags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                  ISC_REQ_STREAM;
            unsigned long got = 0;
            SECURITY_STATUS status = InitializeSecurityContextW(
                &credentials_, haveContext_ ? &context_ : nullptr,
                target.empty() ? nullptr : target.data(), flags, 0, 0,
                haveContext_ ? &inDesc : nullptr, 0, haveContext_ ? nullptr : &context_, &outDesc,
                &got, nullptr);
            if (!haveContext_ && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
                haveContext_ = true;
            if (out[0].pvBuffer != nullptr) {
                output_.append(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
                FreeContextBuffer(out[0].pvBuffer);
            }
            if (status == SEC_E_INCOMPLETE_MESSAGE) return Status::WantInput;
            if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // no client certificate: go on
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
                Fail(TlsFailure::Protocol, "handshake failed, " + CodeText(status));
                return Status::Failed;
            }
            KeepExtra(in[1]);
            if (status == SEC_E_OK) return Finish();
            if (input_.empty()) return Status::WantInput;
        }
    }

    Status Write(const char* data, std::size_t count) override {
        while (count > 0) {
            std::size_t part = count < sizes_.cbMaximumMessage ? count : sizes_.cbMaximumMessage;
            std::string record(sizes_.cbHeader + part + sizes_.cbTrailer, '\0');
            char* p = record.data();
            std::memcpy(p + sizes_.cbHeader, data, part);
            SecBuffer buffers[4] = {
                {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, p},
                {static_cast<unsigned long>(part), SECBUFFER_DATA, p + sizes_.cbHeader},
                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, p + sizes_.cbHeader + part},
                {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
            if (status != SEC_E_OK) {
                Fail(TlsFailure::Protocol, "cannot seal a record, " + CodeText(status));
                return Status::Failed;
            }
            output_.append(p, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
            data += part;
            count -= part;
        }
        return Status::Done;
    }

    Status Read(std::string& plain) override {
        bool any = false;
        while (!input_.empty()) {
            SecBuffer buffers[4] = {
                {static_cast<unsigned long>(input_.size()), SECBUFFER_DATA, input_.data()},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) break;
            if (status == SEC_I_CONTEXT_EXPIRED) return Status::Closed;
            if (status != SEC_E_OK) {
                Fail(TlsFailure::Protocol,
                     (status == SEC_I_RENEGOTIATE ? "renegotiation is not supported, "
                                                  : "cannot open a record, ") +
                         CodeText(status));
                return Status::Failed;
            }
            std::string extra;
            for (const SecBuffer& b : buffers) {
                if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
                    plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
                    any = true;
                } else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) {
                    extra.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
                }
            }
            input_.swap(extra);
        }
        return any ? Status::Done : Status::WantInput;
    }

    void Shutdown() override {
        if (!haveContext_) return;
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc tokenDesc{SECBUFFER_VERSION, 1, &token};
        if (ApplyControlToken(&context_, &tokenDesc) != SEC_E_OK) return;
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        unsigned long got = 0;
        InitializeSecurityContextW(&credentials_, &context_, nullptr,
                                   ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM, 0, 0, nullptr, 0,
                                   nullptr, &outDesc, &got, nullptr);
        if (out.pvBuffer != nullptr) {
            output_.append(static_cast<const char*>(out.pvBuffer), out.cbBuffer);
            FreeContextBuffer(out.pvBuffer);
        }
    }

    std::string Description() const override { return description_; }

private:
    // The roots of a PEM file in a memory store.
    bool LoadRoots(const std::string& fileName) {
        std::uint32_t error = 0;
        auto file = OpenSharedRead(fileName, error);
        if (!file)
            return Fail(TlsFailure::CaFile,
                        fileName + ": cannot open, error " + std::to_string(error));
        std::string pem;
        char chunk[4096];
        for (std::int64_t n; (n = file->Read(chunk, sizeof chunk, error)) > 0;)
            pem.append(chunk, static_cast<std::size_t>(n));
        roots_ = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
        if (roots_ == nullptr) return Fail(TlsFailure::CaFile, "no certificate store");
        const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
        int count = 0;
        for (std::size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
            std::size_t stop = pem.find(end, at);
            if (stop == std::string::npos) break;
            stop += end.size();
            std::string block = pem.substr(at, stop - at);
            at = stop;
            DWORD size = 0;
            if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                      CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
                continue;
            std::string der(size, '\0');
            if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                     CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()),
                                     &size, nullptr, nullptr) &&
                CertAddEncodedCertificateToStore(roots_, X509_ASN_ENCODING,
                                                 reinterpret_cast<const BYTE*>(der.data()), size,
                                                 CERT_STORE_ADD_ALWAYS, nullptr))
                ++count;
        }
        if (count == 0) return Fail(TlsFailure::CaFile, fileName + ": no certificate in it");
        return true;
    }

    // Bytes past the handshake message just used stay for the next step.
    void KeepExtra(const SecBuffer& extra) {
        if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 &&
            extra.cbBuffer <= input_.size())
            input_.erase(0, input_.size() - extra.cbBuffer);
        else
            input_.clear();
    }

    Status Finish() {
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK) {
            Fail(TlsFailure::Protocol, "no record sizes");
            return Status::Failed;
        }
        Describe();
        if (verify_ && !VerifyServer()) return Status::Failed;
        return Status::Done;
    }

    void Describe() {
        SecPkgContext_ConnectionInfo info{};
        description_ = "TLS";
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK) {
            if ((info.dwProtocol & SP_PROT_TLS1_3_CLIENT) != 0) description_ = "TLSv1.3";
            if ((info.dwProtocol & SP_PROT_TLS1_2_CLIENT) != 0) description_ = "TLSv1.2";
        }
        SecPkgContext_CipherInfo cipher{};
        cipher.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_CIPHER_INFO, &cipher) != SEC_E_OK)
            return;
        std::string name = RepairedSuiteName(Narrow(cipher.szCipherSuite));
        if (!name.empty()) description_ += " " + name;
    }

    // The chain of the server's certificate, built by Engine (null: the
    // system's), checked for trust and dates and then by the SSL policy.
    TlsFailure CheckChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT server, std::string& detail) {
        LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof para;
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        if (!CertGetCertificateChain(engine, server, nullptr, server->hCertStore, &para, 0, nullptr,
                                     &chain)) {
            detail = "no chain, error " + std::to_string(GetLastError());
            return TlsFailure::Untrusted;
        }
        DWORD errors = chain->TrustStatus.dwErrorStatus;
        TlsFailure result = TlsFailure::None;
        if ((errors & CERT_TRUST_IS_NOT_TIME_VALID) != 0) {
            detail = "outside its validity period";
            result = TlsFailure::Expired;
        } else if (errors != CERT_TRUST_NO_ERROR) {
            detail = "chain status " + CodeText(static_cast<long>(errors));
            result = TlsFailure::Untrusted;
        } else {
            std::wstring name = Widen(host_);
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof ssl;
            ssl.dwAuthType = AUTHTYPE_SERVER;
            // The name is matched here, against subjectAltName alone.
            ssl.fdwChecks = kIgnoreNameCheck;
            ssl.pwszServerName = name.data();
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof policy;
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS status{};
            status.cbSize = sizeof status;
            if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
                detail = "policy check failed, error " + std::to_string(GetLastError());
                result = TlsFailure::Untrusted;
            } else if (status.dwError == static_cast<DWORD>(CERT_E_EXPIRED)) {
                detail = "outside its validity period";
                result = TlsFailure::Expired;
            } else if (status.dwError != 0) {
                detail = "policy error " + CodeText(static_cast<long>(status.dwError));
                result = TlsFailure::Untrusted;
            } else if (!CertificateNamesHost(server, host_)) {
                detail = "no subjectAltName of the certificate names it";
                result = TlsFailure::HostMismatch;
            }
        }
        CertFreeCertificateChain(chain);
        return result;
    }

    bool VerifyServer() {
        PCCERT_CONTEXT server = nullptr;
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) !=
                SEC_E_OK ||
            server == nullptr)
            return Fail(TlsFailure::Untrusted, "the server sent no certificate");
        std::string detail;
        TlsFailure result = TlsFailure::Untrusted;
        if (roots_ != nullptr) {
            // The caller's roots as the only trusted ones first ...
            CERT_CHAIN_ENGINE_CONFIG config{};
            // The Windows 7 layout, the one every system (and Wine) takes.
            config.cbSize =
                offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveTrustedPeople) + sizeof(HCERTSTORE);
            config.hExclusiveRoot = roots_;
            HCERTCHAINENGINE engine = nullptr;
            if (CertCreateCertificateChainEngine(&config, &engine)) {
                result = CheckChain(engine, server, detail);
                CertFreeCertificateChainEngine(engine);
            } else {
                detail = "no chain engine, error " + std::to_string(GetLastError());
            }
        }
        // ... then the system's, unless the answer is already known.
        if (result == TlsFailure::Untrusted) {
            std::string systemDetail;
            TlsFailure system = CheckChain(nullptr, server, systemDetail);
            if (roots_ == nullptr || system != TlsFailure::Untrusted) {
                result = system;
                detail = systemDetail;
            }
        }
        CertFreeCertificateContext(server);
        if (result == TlsFailure::None) return true;
        return Fail(result, detail);
    }

    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveCredentials_ = false;
    bool haveContext_ = false;
    HCERTSTORE roots_ = nullptr;
    std::string host_;
    bool verify_ = true;
    std::string input_;
    std::string output_;
    SecPkgContext_StreamSizes sizes_{};
    std::string description_;
};

}  // namespace

std::unique_ptr<TlsSession> TlsSession::NewClient() { return std::make_unique<SChannelSession>(); }

}  // namespace quillpost::platform
