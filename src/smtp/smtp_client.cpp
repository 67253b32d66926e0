#include "smtp/smtp_client.h"

#include <algorithm>
#include <cstdint>

#include "base/ascii.h"
#include "base/utf8.h"
#include "base/winsock_codes.h"
#include "encoding/base64.h"
#include "encoding/temp_file_stream.h"
#include "platform/message_pump.h"
#include "smtp/stored_text.h"
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

// RFC 3461 4: printable ASCII but "+" and "=" as they are, any other byte
// as "+" and two upper-case hex digits.
std::string Xtext(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 33 && b <= 126 && b != '+' && b != '=') {
            out += c;
        } else {
            out += '+';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

// The SIZE parameter of EHLO: the largest message in bytes, 0 for none
// named (or a value no message here comes near).
std::int64_t SizeLimit(const std::string& parameter) {
    std::int64_t limit = 0;
    for (const char c : parameter) {
        if (!IsDigit(c)) break;
        if (limit > (INT64_MAX - 9) / 10) return 0;
        limit = limit * 10 + (c - '0');
    }
    return limit;
}

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
        // With PIPELINING the RSET goes out with the envelope.
        if (Uses("PIPELINING")) {
            resetDue_ = true;
            reused_ = true;
            return true;
        }
        try {
            SendCommand("RSET", Step::Rset);
            reused_ = true;
            return true;
        } catch (const ECanceledError&) {
            throw;  // a new session would send what the caller stopped
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
    step_ = Step::Idle;
    resetDue_ = false;
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
    step_ = Step::Greeting;
    try {
        if (!ReadReply()) Fail(lastReply_);
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
    // Only a server that refused the name is asked again (quietly). After
    // any other failure its reply may still be on the way, and a second
    // attempt would put every later reply one command late.
    if (!Command("HELO " + LocalHost(), Step::Helo)) SendCommand("HELO", Step::BareHelo);
}

void TmsSMTP::Ehlo(bool mayFallBack) {
    capabilities_.clear();
    if (!Command("EHLO " + LocalHost(), Step::Ehlo)) {
        // RFC 5321 4.1.4: a server that knows no EHLO says 5xx; HELO still works.
        if (!mayFallBack || lastReply_[0] != '5') Fail(lastReply_);
        Helo();
        return;
    }
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

bool TmsSMTP::Uses(const std::string& keyword) const {
    const std::vector<std::string>& off = Settings.disabledExtensions;
    return Offers(keyword) && std::find(off.begin(), off.end(), keyword) == off.end();
}

void TmsSMTP::UpgradeToTls() {
    SendCommand("STARTTLS", Step::StartTls);
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
        SendCommand("AUTH LOGIN", Step::AuthChallenge);
        SendCommand(user.Text(), Step::AuthChallenge);
        SendCommand(password.Text(), Step::AuthFinal);
    } else {
        TSecret line;
        line.Append("AUTH " + mechanism + " ");
        BuildResponse(mechanism, line);
        if (mechanism == "PLAIN") {
            SendCommand(line.Text(), Step::AuthFinal);
        } else {
            SendCommand(line.Text(), Step::AuthToken);
            // A refused token comes back as a challenge holding the details;
            // an empty answer brings the final 5xx.
            if (HasCode(lastReply_, "334")) SendCommand("", Step::AuthFinal);
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

void TmsSMTP::Fail(std::string text) {
    DoError(text);
    throw ESocketError(text);
}

void TmsSMTP::Refuse(std::string text) {
    // Nothing more goes to this server, QUIT included.
    established_ = false;
    Fail(std::move(text));
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
    step_ = Step::Quit;
    // The sent message's file goes while the server answers.
    stream_.reset();
    try {
        SendLine("QUIT");
        if (!ReadReply()) Fail(lastReply_);
    } catch (const EConnectionReset&) {
        // A server that resets rather than answers QUIT has ended the
        // dialogue as one that closes has: its earlier answers stand, a
        // refusal as much as an accepted message.
    }
    step_ = Step::Idle;
    if (OnMailSent) OnMailSent(*this);
}

// ---- replies ----

bool TmsSMTP::Fits(const std::string& line) const {
    if (!IsFinalLine(line)) return false;
    switch (step_) {
        case Step::Data:
            return HasCode(line, "354");
        case Step::AuthChallenge:
            return HasCode(line, "334");
        case Step::AuthToken:
            return HasCode(line, "334") || line[0] == '2';
        default:
            return line[0] == '2';
    }
}

void TmsSMTP::CheckReply(const std::string& Line) {
    // A refusal is an answer to the command, and QUIT can follow it; its
    // step decides what it means.
    if (IsContinuationLine(Line) || Fits(Line) || IsRejection(Line)) return;
    // Any other reply means the server is answering something else (one
    // reply late, say): it is left without QUIT, which it might take as part
    // of a message text.
    Refuse(Line);
}

bool TmsSMTP::ReadReply() {
    // The whole reply within one TimeOut, however its lines trickle in. The
    // answer to the final "." or to a chunk cannot come before the server
    // has the whole text; while it is still taking it, it is not idle.
    TimeOutSpan span(*this, step_ == Step::EndOfData || step_ == Step::Bdat);
    std::size_t lines = 0, bytes = 0;
    replyLines_.clear();
    for (;;) {
        ReadLine(lastReply_);
        replyLines_.push_back(lastReply_);
        if (IsFinalLine(lastReply_)) return !IsRejection(lastReply_);
        // Every complete line has passed CheckReply, so an empty line means
        // the server closed before the reply was complete. The command it
        // answers cannot count as accepted; only a missing answer to QUIT
        // is harmless, the dialogue being over.
        if (lastReply_.empty() && PeerClosed()) {
            if (step_ != Step::Quit) RaiseError(winsock::kConnectionReset);
            return true;
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

bool TmsSMTP::Command(const std::string& line, Step step) {
    try {
        SendLine(line);
        step_ = step;
        const bool accepted = ReadReply();
        step_ = Step::Idle;
        return accepted;
    } catch (...) {
        // A command that failed other than by a refusal may still be
        // answered: QUIT would read that answer as its own and replace the
        // real failure with it.
        established_ = false;
        step_ = Step::Idle;
        throw;
    }
}

void TmsSMTP::SendCommand(const std::string& line, Step step) {
    if (!Command(line, step)) Fail(lastReply_);
}

// ---- the message ----

void TmsSMTP::Transmit() {
    if (mailMessage_ == nullptr) RaiseError(msgMailMessageRequired);
    mailMessage_->Validate();
    stream_ = TakeStream();
    try {
        PrepareMessage();
        if (OnSending) OnSending(*this);
        if (mailMessage_ == nullptr) RaiseError(msgMailMessageRequired);
        if (!SendEnvelope()) {
            // Nothing of this message has gone out, so a new session cannot
            // deliver it twice.
            reused_ = false;
            OpenSession();
            SendEnvelope();
        }
        if (Chunked()) {
            SendChunks();
        } else {
            SendData();
        }
    } catch (...) {
        stream_.reset();
        throw;
    }
    // Within Send the stream goes once QUIT is out.
    if (!sending_) stream_.reset();
}

void TmsSMTP::MakeEarlyStream() {
    if (!sending_ || mailMessage_ == nullptr || stream_ || earlyStream_ || earlyFailure_ || spare_)
        return;
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

std::string TmsSMTP::MailParameters() {
    // RFC 6531: a UTF-8 address only to a server that offered SMTPUTF8.
    const std::string utf8Address = Utf8EnvelopeAddress();
    if (!utf8Address.empty() && !Offers("SMTPUTF8"))
        throw EMessageError("The address \"" + utf8Address +
                            "\" needs SMTPUTF8, which the server did not offer.");
    std::string parameters;
    storedSize_ = 0;
    eightBit_ = false;
    if (Uses("SIZE") || Uses("8BITMIME") || Uses("CHUNKING")) {
        const TStoredText::TSurvey survey =
            TStoredText::Survey(mailMessage_->LeadingLines, *stream_);
        storedSize_ = survey.size;
        eightBit_ = survey.eightBit;
    }
    if (Uses("SIZE")) {
        // Refused here rather than after the whole upload.
        const std::int64_t limit = SizeLimit(capabilities_.at("SIZE"));
        if (limit != 0 && storedSize_ > limit)
            Fail("The message is " + std::to_string(storedSize_) + " bytes, the server accepts " +
                 "at most " + std::to_string(limit) + " (SIZE)");
        parameters += " SIZE=" + std::to_string(storedSize_);
    }
    if (eightBit_ && Uses("8BITMIME")) parameters += " BODY=8BITMIME";
    if (!utf8Address.empty()) parameters += " SMTPUTF8";
    const TEnvelopeOptions& options = Envelope;
    if (Uses("DSN")) {
        if (!options.dsnReturn.empty()) parameters += " RET=" + options.dsnReturn;
        if (!options.envelopeId.empty()) parameters += " ENVID=" + Xtext(options.envelopeId);
    } else if (!options.dsnNotify.empty() || !options.dsnReturn.empty() ||
               !options.envelopeId.empty()) {
        LogNote(Offers("DSN")
                    ? "DSN is disabled: NOTIFY, RET and ENVID are left out."
                    : "The server does not offer DSN: NOTIFY, RET and ENVID are left out.");
    }
    return parameters;
}

std::string TmsSMTP::RcptParameters(const std::string& address) const {
    if (Envelope.dsnNotify.empty() || !Uses("DSN")) return "";
    return " NOTIFY=" + Envelope.dsnNotify + " ORCPT=rfc822;" + Xtext(address);
}

bool TmsSMTP::SendEnvelope() {
    const TmsMessage& message = *mailMessage_;
    refused_.clear();
    recipientCount_ = 0;
    const std::string mailParameters = MailParameters();
    const bool pipelined = Uses("PIPELINING");
    awaited_.clear();
    TEnvelopeReplies replies;
    // Without PIPELINING each command is answered before the next goes out;
    // with it the group leaves in one write and its replies are read in
    // order at its end, every one of them, whatever the others said.
    // GroupEnd: every recipient has been sent, so every one is answered.
    auto settle = [&](bool groupEnd) {
        if (pipelined && !groupEnd) return true;
        if (!TakeReplies(replies)) return false;
        Judge(replies, groupEnd);
        return true;
    };
    if (pipelined) HoldWrites();
    if (resetDue_) {
        resetDue_ = false;
        Issue("RSET", Step::Rset);
    }
    if (!message.Sender().Address().empty()) {
        Issue("MAIL FROM:<" + message.Sender().Address() + ">" + mailParameters, Step::Mail);
        if (!settle(false)) return false;
    }
    for (const TmsAddressList* list : {&message.Recipients(), &message.CC(), &message.BCC()})
        for (std::int32_t i = 0; i < list->Count(); ++i) {
            const std::string& address = list->Items(i).Address();
            Issue("RCPT TO:<" + address + ">" + RcptParameters(address), Step::Rcpt, address);
            ++recipientCount_;
            if (!settle(false)) return false;
        }
    // BDAT goes only after the envelope is known to be good.
    if (Chunked()) return settle(true);
    if (!pipelined) Judge(replies, true);
    Issue("DATA", Step::Data);
    return settle(true);
}

void TmsSMTP::Issue(const std::string& line, Step step, const std::string& recipient) {
    SendLine(line);
    awaited_.push_back({step, recipient});
}

bool TmsSMTP::TakeReplies(TEnvelopeReplies& replies) {
    std::vector<TAwaited> awaited;
    awaited.swap(awaited_);
    for (const TAwaited& command : awaited) {
        step_ = command.step;
        if (command.step == Step::Rset) {
            bool accepted = false;
            try {
                accepted = ReadReply();
            } catch (const ECanceledError&) {
                throw;  // the caller's word, not the server's state
            } catch (const EQuillpostError&) {
                // The server has closed or given up on the session since the
                // last message (an idle time-out, say).
            }
            if (accepted) continue;
            // The rest of the group is left unread: hanging up discards it.
            step_ = Step::Idle;
            established_ = false;
            Close();
            return false;
        }
        bool accepted = false;
        try {
            accepted = ReadReply();
        } catch (...) {
            established_ = false;
            step_ = Step::Idle;
            throw;
        }
        if (command.step == Step::Mail && !accepted) {
            replies.mailRefusal = lastReply_;
        } else if (command.step == Step::Rcpt && accepted) {
            ++replies.accepted;
        } else if (command.step == Step::Rcpt && replies.mailRefusal.empty()) {
            // After a refused MAIL every RCPT is refused for that alone.
            refused_.push_back({command.recipient, lastReply_});
        } else if (command.step == Step::Data) {
            replies.textWanted = accepted;
            if (!accepted) replies.dataRefusal = lastReply_;
        }
    }
    step_ = Step::Idle;
    return true;
}

void TmsSMTP::Judge(const TEnvelopeReplies& replies, bool complete) {
    std::string failure;
    if (!replies.mailRefusal.empty()) {
        failure = replies.mailRefusal;
    } else if (!Envelope.skipRefusedRecipients && !refused_.empty()) {
        // The first refusal ends the send, as it does without pipelining.
        failure = refused_.front().reply;
    } else if (complete && replies.accepted == 0 && !refused_.empty()) {
        // Every recipient refused: the last refusal says why, as a single
        // refused recipient would.
        failure = refused_.back().reply;
    } else if (!replies.dataRefusal.empty()) {
        failure = replies.dataRefusal;
    }
    if (failure.empty()) return;
    if (replies.textWanted) {
        // A server waiting for the text takes a QUIT, or a lone ".", as
        // text: the first would go astray, the second could deliver an
        // empty message to the recipients it accepted. Hanging up discards
        // the transaction.
        established_ = false;
        Close();
    }
    Fail(failure);
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
    step_ = Step::EndOfData;
    if (!ReadReply()) Fail(lastReply_);
    step_ = Step::Idle;
    messageAccepted_ = true;
}

void TmsSMTP::SendChunks() {
    // RFC 3030: the stored text itself, in chunks whose sizes are announced,
    // so nothing is stuffed and nothing ends it. With PIPELINING the next
    // chunk goes out before the last one's reply is read, keeping the line
    // busy; every reply is still read, in order.
    const bool pipelined = Uses("PIPELINING");
    TStoredText text(mailMessage_->LeadingLines, *stream_);
    const std::int64_t total = storedSize_;
    constexpr std::size_t kBlock = 64 * 1024;
    std::unique_ptr<char[]> block(new char[kBlock]);
    std::int64_t sent = 0;
    std::size_t unanswered = 0;
    std::string refusal;
    auto readReply = [&] {
        step_ = Step::Bdat;
        --unanswered;
        if (!ReadReply() && refusal.empty()) refusal = lastReply_;
    };
    try {
        do {
            const std::int64_t left = total - sent;
            const auto chunk = static_cast<std::size_t>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(kChunkSize)));
            const bool last = sent + static_cast<std::int64_t>(chunk) == total;
            // The command and the start of its chunk share a write.
            HoldWrites();
            SendLine("BDAT " + std::to_string(chunk) + (last ? " LAST" : ""));
            for (std::size_t done = 0; done < chunk;) {
                const std::size_t n = text.Read(block.get(), std::min(kBlock, chunk - done));
                if (n == 0) throw EInOutError("Stream read error");
                SendBlock(block.get(), n);
                done += n;
                ReportProgress(sent + static_cast<std::int64_t>(done), total);
            }
            ReleaseWrites();
            sent += static_cast<std::int64_t>(chunk);
            ++unanswered;
            if (unanswered > (pipelined ? 1u : 0u)) readReply();
        } while (sent < total && refusal.empty());
        while (unanswered > 0) readReply();
    } catch (...) {
        // A chunk cut short leaves the server counting bytes that never
        // come: only hanging up ends it.
        step_ = Step::Idle;
        established_ = false;
        Close();
        throw;
    }
    step_ = Step::Idle;
    ReportProgress(0, 1);
    if (!refusal.empty()) Fail(refusal);
    messageAccepted_ = true;
}

}  // namespace quillpost
