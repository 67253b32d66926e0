#include "smtp/smtp_client.h"

#include "base/winsock_codes.h"
#include "encoding/temp_file_stream.h"
#include "platform/message_pump.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

bool IsFinalLine(const std::string& line) { return line.size() >= 4 && line[3] != '-'; }

}  // namespace

TmsSMTP::TmsSMTP(TagWinsock* binding) : TmsMailBase(binding) {
    ServiceName = "smtp";
    DefaultPort = 25;
}

TmsSMTP::~TmsSMTP() {
    if (mailMessage_ != nullptr) mailMessage_->RemoveFreeNotification(this);
}

void TmsSMTP::SetMailMessage(TmsMessage* value) {
    if (value == mailMessage_) return;
    if (mailMessage_ != nullptr) mailMessage_->RemoveFreeNotification(this);
    mailMessage_ = value;
    if (mailMessage_ != nullptr) mailMessage_->FreeNotification(this);
}

void TmsSMTP::ComponentFreed(TComponent& component) {
    if (&component == mailMessage_) mailMessage_ = nullptr;
}

// ---- session ----

void TmsSMTP::Send() {
    messageAccepted_ = false;
    sending_ = true;
    // However the send ends, no stream of it stays behind.
    struct EndOfSend {
        TmsSMTP& smtp;
        ~EndOfSend() {
            smtp.sending_ = false;
            smtp.stream_.reset();
            smtp.earlyStream_.reset();
            smtp.earlyFailure_ = nullptr;
        }
    } endOfSend{*this};
    try {
        OpenSession();
        Transmit();
    } catch (...) {
        // QUIT (if the server still listens) and close; a failure there
        // takes the place of this one.
        CloseSession();
        throw;
    }
    CloseSession();
}

void TmsSMTP::Connect() {
    if (Server.empty()) RaiseError(msgServerRequired);
    ResetState();
    established_ = false;
    TmsMailBase::Connect();
}

void TmsSMTP::Login() {
    EstablishConnection();
    established_ = true;
    if (sending_ && mailMessage_ != nullptr && !earlyStream_ && !earlyFailure_) {
        try {
            earlyStream_ = std::make_unique<TTempFileStream>();
        } catch (...) {
            // Reported where the stream is wanted, after the message is validated.
            earlyFailure_ = std::current_exception();
        }
    }
    ReadReply();
    heloAttempt_ = true;
    try {
        SendCommand("HELO " + LocalHost());
    } catch (...) {
        heloAttempt_ = false;
        // After a time-out or a cancel the connection is gone: a second
        // attempt could only hide why.
        if (!Connected()) throw;
        SendCommand("HELO");
    }
    heloAttempt_ = false;
}

void TmsSMTP::Logout() {
    platform::ProcessPendingMessages();
    loggingOut_ = true;
    try {
        SendLine("QUIT");
        // The sent message's file goes while the server answers.
        stream_.reset();
        ReadReply();
    } catch (...) {
        loggingOut_ = false;
        throw;
    }
    loggingOut_ = false;
    if (OnMailSent) OnMailSent(*this);
}

// ---- replies ----

void TmsSMTP::CheckReply(const std::string& Line) {
    if (Line.size() >= 4 && (Line[3] == '-' || Line[0] == '2' || Line.compare(0, 3, "354") == 0))
        return;
    std::string msg = Line;
    if (!heloAttempt_) DoError(msg);
    throw ESocketError(msg);
}

void TmsSMTP::ReadReply() {
    for (;;) {
        ReadLine(lastReply_);
        if (IsFinalLine(lastReply_)) return;
        // Every complete line has passed CheckReply, so an empty line means
        // the server closed before the reply was complete. The command it
        // answers cannot count as accepted; only a missing answer to QUIT
        // is harmless, the dialogue being over.
        if (lastReply_.empty() && PeerClosed()) {
            if (!loggingOut_) RaiseError(winsock::kConnectionReset);
            return;
        }
    }
}

void TmsSMTP::SendCommand(const std::string& line) {
    SendLine(line);
    ReadReply();
}

// ---- the message ----

void TmsSMTP::Transmit() {
    if (mailMessage_ == nullptr) RaiseError(msgMailMessageRequired);
    mailMessage_->Validate();
    stream_ = TakeStream();
    try {
        PrepareMessage();
        SendEnvelope();
        SendData();
    } catch (...) {
        stream_.reset();
        throw;
    }
    // Within Send the stream goes once QUIT is out.
    if (!sending_) stream_.reset();
}

std::unique_ptr<TTempFileStream> TmsSMTP::TakeStream() {
    if (earlyFailure_) {
        std::exception_ptr failure = earlyFailure_;
        earlyFailure_ = nullptr;
        std::rethrow_exception(failure);
    }
    if (earlyStream_) return std::move(earlyStream_);
    return std::make_unique<TTempFileStream>();
}

void TmsSMTP::PrepareMessage() {
    if (OnPrepare) OnPrepare(*this);
    // A handler may have let go of the message.
    if (mailMessage_ == nullptr) RaiseError(msgMailMessageRequired);
    mailMessage_->EncodeToStream(*stream_);
}

void TmsSMTP::SendEnvelope() {
    if (OnSending) OnSending(*this);
    if (mailMessage_ == nullptr) RaiseError(msgMailMessageRequired);
    const TmsMessage& message = *mailMessage_;
    if (!message.Sender().Address().empty())
        SendCommand("MAIL FROM:<" + message.Sender().Address() + ">");
    for (const TmsAddressList* list : {&message.Recipients(), &message.CC(), &message.BCC()})
        for (std::int32_t i = 0; i < list->Count(); ++i)
            SendCommand("RCPT TO:<" + list->Items(i).Address() + ">");
    SendCommand("DATA");
}

void TmsSMTP::SendData() {
    // The text and its end leave together, so the server is not woken for
    // each small piece of the end.
    HoldWrites();
    try {
        SendStream(*stream_);
        // The composed text carries its own period stuffing; this ends it.
        SendLine("");
        SendLine(".");
        ReleaseWrites();
    } catch (...) {
        DropHeldWrites();
        throw;
    }
    ReadReply();
    messageAccepted_ = true;
}

}  // namespace quillpost
