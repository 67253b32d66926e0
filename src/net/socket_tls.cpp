// The socket component's byte path with and without TLS, and the start of a
// TLS session on a connected socket. The session itself is a platform
// engine; every byte it needs moved goes through the same non-blocking
// socket calls and waits as plain text, under the same TimeOut.
#include <cstring>

#include "base/winsock_codes.h"
#include "net/socket.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

constexpr std::size_t kReadChunk = 4096;
// A bound on what StartTls discards, so a peer that floods cannot hold it.
constexpr std::size_t kDiscardLimit = 64 * 1024;

// TLS records begin with a content type byte of 20..24 (SSL 2 hellos with
// 0x80 and up); a printable first byte is a peer speaking plain text.
bool LooksLikePlainText(const std::string& bytes) {
    if (bytes.empty()) return false;
    auto first = static_cast<unsigned char>(bytes[0]);
    return first >= 0x20 && first < 0x7F;
}

std::string FailureText(platform::TlsFailure cause, const std::string& detail,
                        const std::string& host) {
    using platform::TlsFailure;
    switch (cause) {
        case TlsFailure::Untrusted:
            return "The server's certificate is not trusted (" + detail + ")";
        case TlsFailure::Expired:
            return "The server's certificate has expired or is not yet valid (" + detail + ")";
        case TlsFailure::HostMismatch:
            return "The server's certificate does not match the host name " + host + " (" + detail +
                   ")";
        case TlsFailure::CaFile:
            return "The CA file cannot be used: " + detail;
        case TlsFailure::PlainText:
            return "TLS expected on this port, the server spoke plain SMTP";
        case TlsFailure::Closed:
            return "The server closed the connection during the TLS handshake";
        case TlsFailure::None:
        case TlsFailure::Protocol:
            break;
    }
    return "TLS failed: " + detail;
}

}  // namespace

void TagSocket::SendBytes(const char* data, std::size_t count, bool restartOnProgress) {
    if (!tls_) {
        SendRaw(data, count, restartOnProgress);
        return;
    }
    if (tls_->Write(data, count) != platform::TlsSession::Status::Done)
        RaiseTls(tls_->Failure(), tls_->Detail());
    std::string sealed;
    tls_->TakeOutput(sealed);
    SendRaw(sealed.data(), sealed.size(), restartOnProgress);
}

long TagSocket::ReceiveInto(std::string& out, int& code) {
    using Status = platform::TlsSession::Status;
    if (tlsClosed_) return 0;
    char chunk[kReadChunk];
    long n = events_->Recv(chunk, sizeof chunk);
    readAny_ = true;
    if (n < 0) {
        code = events_->LastError();
        return -1;
    }
    if (!tls_ || n == 0) {
        out.append(chunk, static_cast<std::size_t>(n));
        return n;
    }
    tls_->PutInput(chunk, static_cast<std::size_t>(n));
    std::size_t before = out.size();
    Status status = tls_->Read(out);
    if (status == Status::Failed) RaiseTls(tls_->Failure(), tls_->Detail());
    // Reading may owe the peer an answer (a key update).
    std::string answer;
    tls_->TakeOutput(answer);
    if (!answer.empty()) SendRaw(answer.data(), answer.size(), false);
    if (status == Status::Closed) {
        tlsClosed_ = true;
        phase_ = Phase::PeerClosed;
    }
    if (out.size() > before) return static_cast<long>(out.size() - before);
    if (tlsClosed_) return 0;
    // Only part of a record, or a record without text: nothing to hand out yet.
    code = winsock::kWouldBlock;
    return -1;
}

std::string TagSocket::TakeWaitingBytes() {
    std::string taken = std::move(received_);
    received_.clear();
    char chunk[kReadChunk];
    while (taken.size() < kDiscardLimit) {
        long n = events_->Recv(chunk, sizeof chunk);
        if (n <= 0) break;
        taken.append(chunk, static_cast<std::size_t>(n));
    }
    readable_ = false;
    owesRecv_ = false;
    return taken;
}

void TagSocket::StartTls(const platform::TlsSettings& Settings) {
    using Status = platform::TlsSession::Status;
    if (!Connected()) RaiseError(msgNotConnected);
    if (tls_) RaiseTls(platform::TlsFailure::Protocol, "TLS is already running");
    ReleaseWrites();
    tlsHost_ = Settings.host;
    tlsClosed_ = false;
    // The evidence for a plain-text peer: what it said before our hello, or
    // first in answer to it.
    std::string early = TakeWaitingBytes();
    // Before anything was asked of it, a TLS server is silent; a plain one greets.
    if (!readAny_ && LooksLikePlainText(early)) RaiseTls(platform::TlsFailure::PlainText, "");

    platform::TlsFailure failure = platform::TlsFailure::None;
    std::string detail;
    std::unique_ptr<platform::TlsSession> session =
        platform::TlsSession::CreateClient(Settings, &failure, &detail);
    if (!session) RaiseTls(failure, detail);

    // A peer that spoke plain text and then nothing more is named as such.
    auto raiseIfStopped = [&] {
        if (timedOut_ && !canceled_ && LooksLikePlainText(early))
            RaiseTls(platform::TlsFailure::PlainText, "");
        RaiseIfStopped();
    };
    StartTimer();
    bool anyInput = false;
    char chunk[kReadChunk];
    for (;;) {
        Status status = session->Handshake();
        std::string out;
        session->TakeOutput(out);
        if (!out.empty()) SendRaw(out.data(), out.size(), false);
        raiseIfStopped();
        if (status == Status::Done) break;
        if (status == Status::Failed) {
            // A certificate the library could judge came from a TLS server after all.
            bool plain =
                session->Failure() == platform::TlsFailure::Protocol && LooksLikePlainText(early);
            RaiseTls(plain ? platform::TlsFailure::PlainText : session->Failure(),
                     session->Detail());
        }
        if (status == Status::Closed) RaiseTls(platform::TlsFailure::Closed, "");
        // More of the server's handshake is needed.
        for (;;) {
            events_->DispatchPending();
            raiseIfStopped();
            long n = events_->Recv(chunk, sizeof chunk);
            if (n > 0) {
                if (!anyInput && LooksLikePlainText(std::string(chunk, 1)))
                    RaiseTls(platform::TlsFailure::PlainText, "");
                anyInput = true;
                session->PutInput(chunk, static_cast<std::size_t>(n));
                break;
            }
            if (n == 0) {
                RaiseTls(LooksLikePlainText(early) ? platform::TlsFailure::PlainText
                                                   : platform::TlsFailure::Closed,
                         "");
            }
            int code = events_->LastError();
            if (code != winsock::kWouldBlock && !canceled_)
                RaiseError(static_cast<std::uint16_t>(code));
            events_->WaitForActivity(false);
        }
    }
    StopTimer();
    tls_ = std::move(session);
    tlsDescription_ = tls_->Description();
    // Records that came with the end of the handshake hold text already.
    Status status = tls_->Read(received_);
    if (status == Status::Failed) RaiseTls(tls_->Failure(), tls_->Detail());
    if (status == Status::Closed) {
        tlsClosed_ = true;
        phase_ = Phase::PeerClosed;
    }
    // The next read must ask the socket rather than wait for news: the
    // handshake's last recv may have used up a read notification.
    owesRecv_ = true;
    if (!LogFileName.empty())
        AddLogLine("TLS established: " + tlsDescription_ +
                   (Settings.verify ? "" : " (certificate not verified)"));
}

void TagSocket::EndTls() {
    if (!tls_) return;
    tls_->Shutdown();
    std::string out;
    tls_->TakeOutput(out);
    // Courtesy only: the connection closes next whatever happens here.
    try {
        if (!out.empty()) events_->Send(out.data(), out.size());
    } catch (...) {
    }
    tls_.reset();
    tlsDescription_.clear();
}

void TagSocket::RaiseTls(platform::TlsFailure cause, const std::string& detail) {
    StopTimer();
    std::string msg = FailureText(cause, detail, tlsHost_);
    DoError(msg);
    // A session that failed cannot carry anything further, in TLS or in plain text.
    tls_.reset();
    Close();
    throw ETlsError(cause, msg);
}

}  // namespace quillpost
