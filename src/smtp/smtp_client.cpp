#include "smtp/smtp_client.h"

#include "base/ascii.h"
#include "base/utf8.h"
#include "base/winsock_codes.h"
#include "encoding/base64.h"
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

bool HasCode(const std::string& line, const char* code) { return line.compare(0, 3, code) == 0; }

// Appends the base64 of Bytes to Out, encoding in place.
void AppendBase64(std::string_view bytes, TSecret& out) {
    const std::size_t start = out.Text().size();
    out.Reserve(start + Base64EncodedSize(bytes.size()));
    std::string& buffer = out.Buffer();
    buffer.resize(start + Base64EncodedSize(bytes.size()));
    buffer.resize(start + EncodeBase64Block(bytes.data(), bytes.size(), buffer.data() + start));
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
    // However the send ends, no stream of it stays behind, but for the one a
    // kept session empties for its next message.
    struct EndOfSend {
        TmsSMTP& smtp;
        ~EndOfSend() {
            smtp.sending_ = false;
            if (smtp.KeepOpen && smtp.Connected() && smtp.stream_)
                smtp.spare_ = std::move(smtp.stream_);
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
    // A session greeted with HELO learned of no SMTPUTF8; a new one asks.
    if (capabilities_.empty() && !Utf8EnvelopeAddress().empty()) {
        try {
            CloseSession();
        } catch (const EQuillpostError&) {
            // Closed all the same; the new session is what counts.
        }
        return false;
    }
    if (established_ && !PeerClosed()) {
        try {
            SendCommand("RSET");
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
    reached_ = false;
    tlsInfo_.clear();
    mechanism_.clear();
    capabilities_.clear();
    const bool implicitTls = Settings.security == TSmtpSettings::kImplicitTls;
    ServiceName = implicitTls ? "submissions" : "smtp";
    DefaultPort = implicitTls ? TSmtpSettings::kImplicitTlsPort : 25;
    TmsMailBase::Connect();
}

std::string TmsSMTP::ConnectionInfo() const {
    if (!reached_) return "";
    std::string info;
    if (tlsInfo_.empty()) {
        info = mechanism_.empty() ? "plain" : "plain; AUTH without TLS (" + mechanism_ + ")";
    } else {
        info = tlsInfo_;
        if (!Settings.verifyCertificate) info += "; certificate not verified";
        if (!mechanism_.empty()) info += "; AUTH " + mechanism_;
    }
    if (reused_) info += "; reused";
    return info;
}

void TmsSMTP::Login() {
    EstablishConnection();
    established_ = true;
    reached_ = true;
    if (Settings.security == TSmtpSettings::kImplicitTls) {
        StartTls(TlsFor());
        tlsInfo_ = TlsDescription();
    }
    MakeEarlyStream();
    try {
        ReadReply();
    } catch (const ETimedOutError&) {
        // A port of TLS from the first byte waits in silence for our hello.
        // Only a caller of the new settings gets the hint; the old text stays.
        if (!Settings.WantsEsmtp() || TlsActive()) throw;
        Refuse(
            "Plain SMTP expected on this port, the server sent no greeting (does it expect TLS "
            "from the first byte, Security 2?)");
    }
    if (!Settings.WantsEsmtp() && Utf8EnvelopeAddress().empty()) {
        Helo();
        return;
    }
    Ehlo(Settings.authType == TSmtpSettings::kNoAuth &&
         (Settings.security == TSmtpSettings::kNoTls ||
          Settings.security == TSmtpSettings::kStartTlsIfOffered));
    if (Settings.StartTlsWanted()) {
        if (Offers("STARTTLS")) {
            UpgradeToTls();
        } else if (Settings.security == TSmtpSettings::kStartTlsRequired) {
            Refuse("The server does not offer STARTTLS");
        }
    }
    if (Settings.authType != TSmtpSettings::kNoAuth) Authenticate();
}

void TmsSMTP::Helo() {
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

void TmsSMTP::Ehlo(bool mayFallBack) {
    capabilities_.clear();
    ehloFallback_ = mayFallBack;
    try {
        SendCommand("EHLO " + LocalHost());
    } catch (...) {
        ehloFallback_ = false;
        // RFC 5321 4.1.4: a server that knows no EHLO says 5xx; HELO still works.
        if (!mayFallBack || !rejected_ || lastReply_[0] != '5' || !Connected() || !established_)
            throw;
        Helo();
        return;
    }
    ehloFallback_ = false;
    // The first line greets; each further one names an extension.
    for (std::size_t i = 1; i < replyLines_.size(); ++i) {
        if (replyLines_[i].size() <= 4) continue;  // a bare "250": nothing offered
        std::string text = replyLines_[i].substr(4);
        std::size_t end = text.find_first_of(" =");
        capabilities_[AsciiUpperText(text.substr(0, end))] =
            end == std::string::npos ? "" : text.substr(end + 1);
    }
}

platform::TlsSettings TmsSMTP::TlsFor() const {
    return {HostFromServer(), Settings.verifyCertificate, Settings.caFile};
}

void TmsSMTP::UpgradeToTls() {
    SendCommand("STARTTLS");
    try {
        // StartTls drops whatever came after the "220": it could only be forged.
        StartTls(TlsFor());
    } catch (const ETlsError& e) {
        // Security 0 asked for no TLS; it was tried to keep the log-on
        // secret. A relay with a certificate nobody can check needs the way out.
        if (Settings.security != TSmtpSettings::kNoTls) throw;
        throw ETlsError(e.cause, std::string(e.what()) +
                                     "; STARTTLS was tried for the log-on (AllowClearTextAuth = "
                                     "True logs on in clear text, for a trusted local relay)");
    }
    tlsInfo_ = TlsDescription();
    // What the server offered before TLS may have been altered on the way.
    Ehlo(false);
}

void TmsSMTP::Authenticate() {
    // Without TLS the credentials could be read on the way; they go in clear
    // only when the caller named the member that allows it.
    if (!TlsActive() && !Settings.allowClearTextAuth)
        Refuse(
            "The server does not offer STARTTLS: the credentials are not sent without TLS "
            "(AllowClearTextAuth = True sends them in clear text, for a trusted local relay)");
    const std::string mechanism = ChooseMechanism();
    if (mechanism.empty())
        Refuse("The server offers no authentication method this client can use (AUTH " +
               (Offers("AUTH") ? capabilities_.at("AUTH") : "not offered") + ")");
    AddSecret(Settings.password.Text());
    AddSecret(Settings.accessToken.Text());
    if (mechanism == "LOGIN") {
        TSecret user, password;
        AppendBase64(Settings.userName, user);
        AppendBase64(Settings.password.Text(), password);
        AddSecret(user.Text());
        AddSecret(password.Text());
        // The prompts are not read: their order is fixed, their texts are not.
        SendCommand("AUTH LOGIN", Expect::Challenge);
        SendCommand(user.Text(), Expect::Challenge);
        SendCommand(password.Text(), Expect::Completion);
    } else {
        TSecret line;
        line.Append("AUTH " + mechanism + " ");
        BuildResponse(mechanism, line);
        if (mechanism == "PLAIN") {
            SendCommand(line.Text());
        } else {
            SendCommand(line.Text(), Expect::ChallengeOrDone);
            // A refused token comes back as a challenge holding the details;
            // an empty answer brings the final 5xx.
            if (HasCode(lastReply_, "334")) SendCommand("");
        }
    }
    mechanism_ = mechanism;
}

void TmsSMTP::BuildResponse(const std::string& mechanism, TSecret& out) {
    const std::string& user = Settings.userName;
    TSecret response;
    if (mechanism == "PLAIN") {
        response.Reserve(user.size() + Settings.password.Text().size() + 2);
        response.Append('\0');
        response.Append(user);
        response.Append('\0');
        response.Append(Settings.password.Text());
    } else {
        const char ctrlA = '\x01';  // the separator of the XOAUTH2 fields
        response.Reserve(user.size() + Settings.accessToken.Text().size() + 32);
        response.Append("user=");
        response.Append(user);
        response.Append(ctrlA);
        response.Append("auth=Bearer ");
        response.Append(Settings.accessToken.Text());
        response.Append(ctrlA);
        response.Append(ctrlA);
    }
    const std::size_t start = out.Text().size();
    AppendBase64(response.Text(), out);
    AddSecret(std::string_view(out.Text()).substr(start));
}

std::string TmsSMTP::ChooseMechanism() const {
    switch (Settings.authType) {
        case TSmtpSettings::kPlain:
            return "PLAIN";
        case TSmtpSettings::kLogin:
            return "LOGIN";
        case TSmtpSettings::kXOAuth2:
            return "XOAUTH2";
        default:
            break;
    }
    auto it = capabilities_.find("AUTH");
    if (it == capabilities_.end()) return "";
    const std::string offered = " " + AsciiUpperText(it->second) + " ";
    auto has = [&](const char* name) {
        return offered.find(" " + std::string(name) + " ") != std::string::npos;
    };
    if (!Settings.accessToken.Empty() && has("XOAUTH2")) return "XOAUTH2";
    if (has("PLAIN")) return "PLAIN";
    if (has("LOGIN")) return "LOGIN";
    return "";
}

void TmsSMTP::Refuse(std::string text) {
    // Nothing more goes to this server, QUIT included.
    established_ = false;
    DoError(text);
    throw ESocketError(text);
}

std::string TmsSMTP::Utf8EnvelopeAddress() const {
    if (mailMessage_ == nullptr || mailMessage_->CharSet() != csUTF8) return "";
    const TmsMessage& message = *mailMessage_;
    if (!IsAscii(message.Sender().Address())) return message.Sender().Address();
    for (const TmsAddressList* list : {&message.Recipients(), &message.CC(), &message.BCC()})
        for (std::int32_t i = 0; i < list->Count(); ++i)
            if (!IsAscii(list->Items(i).Address())) return list->Items(i).Address();
    return "";
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
    switch (expected_) {
        case Expect::TextWanted:
            return HasCode(line, "354");
        case Expect::Challenge:
            return HasCode(line, "334");
        case Expect::ChallengeOrDone:
            return HasCode(line, "334") || line[0] == '2';
        default:
            return line[0] == '2';
    }
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
    // A rejected first HELO fires nothing: the second attempt answers it;
    // likewise the 5xx to an EHLO that falls back to HELO.
    const bool answered = heloAttempt_ || (ehloFallback_ && Line[0] == '5');
    if (!answered || !rejection) DoError(msg);
    throw ESocketError(msg);
}

void TmsSMTP::ReadReply() {
    // The whole reply within one TimeOut, however its lines trickle in. The
    // answer to the final "." cannot come before the server has the whole
    // text; while it is still taking it, it is not idle.
    TimeOutSpan span(*this, expected_ == Expect::Delivery);
    std::size_t lines = 0, bytes = 0;
    replyLines_.clear();
    for (;;) {
        ReadLine(lastReply_);
        replyLines_.push_back(lastReply_);
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
    if (!sending_ || mailMessage_ == nullptr || earlyStream_ || earlyFailure_ || spare_) return;
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
    if (spare_ && spare_->Clear()) return std::move(spare_);
    spare_.reset();
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
    // RFC 6531: a UTF-8 address only to a server that offered SMTPUTF8.
    const std::string utf8Address = Utf8EnvelopeAddress();
    if (!utf8Address.empty() && !Offers("SMTPUTF8"))
        throw EMessageError("The address \"" + utf8Address +
                            "\" needs SMTPUTF8, which the server did not offer.");
    const std::string mailParameters = utf8Address.empty() ? "" : " SMTPUTF8";
    if (!message.Sender().Address().empty())
        SendCommand("MAIL FROM:<" + message.Sender().Address() + ">" + mailParameters);
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
        for (const std::string& line : mailMessage_->LeadingLines) SendLine(line);
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
