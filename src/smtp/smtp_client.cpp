#include "smtp/smtp_client.h"

#include "base/winsock_codes.h"
#include "encoding/temp_file_stream.h"
#include "platform/message_pump.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

// No honest reply comes near these; a server that goes on past them is
// trying to fill memory or to hold the client.
constexpr std::size_t kReplyLineLimit = 1000;
constexpr std::size_t kReplyByteLimit = 64 * 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// RFC 5321 4.2: the last line of a reply is its three-digit code followed by
// a space or by nothing.
bool IsFinalLine(const std::string& line) {
    return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
           (line.size() == 3 || line[3] == ' ');
}

bool IsContinuationLine(const std::string& line) { return line.size() >= 4 && line[3] == '-'; }

bool IsRejection(const std::string& line) {
    return IsFinalLine(line) && (line[0] == '4' || line[0] == '5');
}

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
    reused_ = false;
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
        if (!ResumeSession()) OpenSession();
        Transmit();
    } catch (...) {
        // QUIT (if the server still listens) and close; a failure there
        // takes the place of this one.
        CloseSession();
        throw;
    }
    if (!KeepOpen) CloseSession();
}

bool TmsSMTP::ResumeSession() {
    if (!Connected()) return false;
    if (established_ && !PeerClosed()) {
        try {
            SendLine("RSET");
            expected_ = Expect::Completion;
            MakeEarlyStream();
            ReadReply();
            reused_ = true;
            return true;
        } catch (const EQuillpostError&) {
            // The server has closed or given up on the session since the
            // last message (an idle time-out, say). Nothing of this message
            // has gone out, so a new session cannot deliver it twice.
        }
    }
    established_ = false;
    Close();
    return false;
}

void TmsSMTP::Connect() {
    if (Server.empty()) RaiseError(msgServerRequired);
    ResetState();
    expected_ = Expect::Completion;
    established_ = false;
    TmsMailBase::Connect();
}

void TmsSMTP::Login() {
    EstablishConnection();
    established_ = true;
    MakeEarlyStream();
    ReadReply();
    heloAttempt_ = true;
    try {
        SendCommand("HELO " + LocalHost());
    } catch (...) {
        heloAttempt_ = false;
        // Only a server that refused the name is asked again. After any other
        // failure its reply may still be on the way, and the second attempt
        // would put every later reply one command late.
        if (!rejected_ || !Connected() || !established_) throw;
        SendCommand("HELO");
    }
    heloAttempt_ = false;
}

void TmsSMTP::Logout() {
    platform::ProcessPendingMessages();
    loggingOut_ = true;
    try {
        SendLine("QUIT");
        expected_ = Expect::Completion;
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

bool TmsSMTP::Fits(const std::string& line) const {
    if (!IsFinalLine(line)) return false;
    if (expected_ == Expect::TextWanted) return line.compare(0, 3, "354") == 0;
    return line[0] == '2';
}

void TmsSMTP::CheckReply(const std::string& Line) {
    if (IsContinuationLine(Line) || Fits(Line)) return;
    // A rejection is an answer to the command, and QUIT can follow it. Any
    // other reply means the server is answering something else (one reply
    // late, say): it is left without QUIT, which it might take as part of a
    // message text.
    const bool rejection = IsRejection(Line);
    rejected_ = rejection;
    if (!rejection) established_ = false;
    std::string msg = Line;
    // A rejected first HELO fires nothing: the second attempt answers it.
    if (!heloAttempt_ || !rejection) DoError(msg);
    throw ESocketError(msg);
}

void TmsSMTP::ReadReply() {
    // The whole reply within one TimeOut, however its lines trickle in. The
    // answer to the final "." cannot come before the server has the whole
    // text; while it is still taking it, it is not idle.
    TimeOutSpan span(*this, expected_ == Expect::Delivery);
    std::size_t lines = 0, bytes = 0;
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
        bytes += lastReply_.size() + 2;
        if (++lines >= kReplyLineLimit || bytes > kReplyByteLimit) {
            // The rest of the reply is unread: the dialogue is out of step.
            established_ = false;
            std::string msg =
                "Server reply too long: more than " +
                (lines >= kReplyLineLimit ? std::to_string(kReplyLineLimit) + " lines"
                                          : std::to_string(kReplyByteLimit) + " bytes");
            DoError(msg);
            throw ESocketError(msg);
        }
    }
}

void TmsSMTP::SendCommand(const std::string& line, Expect expect) {
    rejected_ = false;
    try {
        SendLine(line);
        expected_ = expect;
        ReadReply();
    } catch (...) {
        // A command that failed other than by a rejection may still be
        // answered: QUIT would read that answer as its own and replace the
        // real failure with it.
        if (!rejected_) established_ = false;
        throw;
    }
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

void TmsSMTP::MakeEarlyStream() {
    if (!sending_ || mailMessage_ == nullptr || earlyStream_ || earlyFailure_) return;
    try {
        earlyStream_ = std::make_unique<TTempFileStream>();
    } catch (...) {
        // Reported where the stream is wanted, after the message is validated.
        earlyFailure_ = std::current_exception();
    }
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
    SendCommand("DATA", Expect::TextWanted);
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
        // The server reads everything as message text until the final
        // period: a QUIT now would be taken as text and its reply waited for
        // in vain. Hanging up discards the unfinished message.
        Close();
        throw;
    }
    expected_ = Expect::Delivery;
    ReadReply();
    messageAccepted_ = true;
}

}  // namespace quillpost
