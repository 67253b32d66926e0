#pragma once
// One SMTP session (plain RFC 821: HELO, MAIL FROM, RCPT TO, DATA, QUIT) that
// delivers one message to one server. Every reply line is checked as it
// arrives against the command it answers: DATA wants 354, every other command
// (the greeting and the final "." included) 2xx. The first line that does not
// fit becomes the exception's text.
// With Settings asking for TLS or a log-on (or an address that needs
// SMTPUTF8) the session greets with EHLO instead and may add STARTTLS or TLS
// from the first byte, and AUTH.
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "message/message.h"
#include "smtp/mail_base.h"
#include "smtp/smtp_settings.h"

namespace quillpost {

class TTempFileStream;

class TmsSMTP : public TmsMailBase, private TComponent::TFreeObserver {
public:
    // ServiceName "smtp", DefaultPort 25. The caller then sets
    // SetWinsockLoaded(true), Server, TimeOut, LogFileName and MailMessage.
    explicit TmsSMTP(TagWinsock* binding = nullptr);
    ~TmsSMTP() override;

    // TLS and log-on; read at each Connect and Login.
    TSmtpSettings Settings;
    // Read at each Send.
    TEnvelopeOptions Envelope;

    // A recipient the server refused in the last Send, and its reply line.
    struct TRefusedRecipient {
        std::string address;
        std::string reply;
    };
    const std::vector<TRefusedRecipient>& RefusedRecipients() const { return refused_; }
    // Envelope recipients of the last Send (refused ones included).
    std::int32_t RecipientCount() const { return recipientCount_; }

    // The message to send; not owned. Cleared when that message is destroyed.
    TmsMessage* MailMessage() const { return mailMessage_; }
    void SetMailMessage(TmsMessage* value);

    // True only during the first HELO attempt (its rejection fires no OnError).
    bool HeloAttempt() const { return heloAttempt_; }
    // The last reply line read.
    const std::string& LastReply() const { return lastReply_; }
    // True once the server has accepted the message text in the last Send
    // (a good reply after the final "."): a later failure does not undo the
    // delivery, and sending again would deliver it twice.
    bool MessageAccepted() const { return messageAccepted_; }
    // What the last session reached, e.g. "TLSv1.3 TLS_AES_256_GCM_SHA384;
    // AUTH PLAIN" or "plain"; empty before a connection was made.
    std::string ConnectionInfo() const;

    TNotifyEvent OnPrepare;   // before the message is composed
    TNotifyEvent OnSending;   // after composing, before MAIL FROM
    TNotifyEvent OnMailSent;  // after the reply to QUIT
    // OnProgress (inherited) reports the message text's progress.

    // With KeepOpen, a send that succeeds leaves the session open instead of
    // saying QUIT, and the next send goes over it after RSET.
    bool KeepOpen = false;
    // True when the last Send went over a session kept from an earlier one.
    bool Reused() const { return reused_; }

    // Connects, greets, sends the message and says QUIT; the connection is
    // closed on every way out (but success with KeepOpen). Failures are
    // exceptions.
    void Send();
    // Requires Server; resets the flags of an earlier attempt first.
    void Connect() override;
    // Checks, composes and sends the message over the open session.
    void Transmit();
    // Reads the lines of one reply through its final line.
    void ReadReply();
    // Accepts a continuation line or a final line that fits the command
    // being answered; raises ESocketError with any other line.
    void CheckReply(const std::string& Line);

protected:
    void HandleLine(const std::string& Line) override { CheckReply(Line); }
    void Login() override;
    void Logout() override;

private:
    void ComponentFreed(TComponent& component) override;
    // Completion: 2xx; TextWanted: 354 (to DATA); Delivery: 2xx to the final ".";
    // Challenge: 334 (AUTH wants more); ChallengeOrDone: 334 or 2xx.
    enum class Expect { Completion, TextWanted, Delivery, Challenge, ChallengeOrDone };
    // True for a final line that answers the command as hoped.
    bool Fits(const std::string& line) const;
    void SendCommand(const std::string& line, Expect expect = Expect::Completion);
    void Helo();
    // EHLO, learning the capabilities; a 5xx answer falls back to HELO when
    // MayFallBack, otherwise it fails the send.
    void Ehlo(bool mayFallBack);
    bool Offers(const std::string& keyword) const { return capabilities_.count(keyword) != 0; }
    platform::TlsSettings TlsFor() const;
    void UpgradeToTls();
    void Authenticate();
    // The mechanism's answer to AUTH, masked in every line from now on.
    // Built without temporaries, so nothing but Out ever holds it.
    void BuildResponse(const std::string& mechanism, TSecret& out);
    std::string ChooseMechanism() const;
    // Ends the session with Text, saying nothing more to the server.
    [[noreturn]] void Refuse(std::string text);
    // The first envelope address that needs SMTPUTF8, or "".
    std::string Utf8EnvelopeAddress() const;
    // Readies a kept session for the next message; false when there is none
    // that still works (then it is closed).
    bool ResumeSession();
    void PrepareMessage();
    void SendEnvelope();
    void SendData();
    // Makes the message's stream while the server prepares an answer.
    void MakeEarlyStream();
    // The stream for the message: the one made while the greeting was on its
    // way (its failure raised now), else the emptied spare, else a new one.
    std::unique_ptr<TTempFileStream> TakeStream();

    TmsMessage* mailMessage_ = nullptr;
    std::unique_ptr<TTempFileStream> stream_;
    // Within Send, the file work of the stream (creating and deleting a file)
    // is done while the server prepares an answer instead of in between.
    bool sending_ = false;
    std::unique_ptr<TTempFileStream> earlyStream_;
    // The last message's stream, kept with the session for the next one.
    std::unique_ptr<TTempFileStream> spare_;
    std::exception_ptr earlyFailure_;
    bool heloAttempt_ = false;
    bool rejected_ = false;  // the last command failed by a 4xx or 5xx reply
    // Set while the reply to QUIT is read: a server that hangs up instead of
    // answering it has still taken the message.
    bool loggingOut_ = false;
    bool messageAccepted_ = false;
    bool reused_ = false;
    // What the reply being read must be to let the dialogue go on.
    Expect expected_ = Expect::Completion;
    std::string lastReply_;
    std::vector<std::string> replyLines_;  // every line of the last reply
    // EHLO keywords (upper case) and their parameters.
    std::map<std::string, std::string> capabilities_;
    bool ehloFallback_ = false;  // an EHLO whose 5xx falls back to HELO
    bool reached_ = false;       // the last session connected
    std::string tlsInfo_;        // protocol and cipher of the last session's TLS
    std::string mechanism_;      // the AUTH mechanism that logged on
    std::vector<TRefusedRecipient> refused_;
    std::int32_t recipientCount_ = 0;
};

}  // namespace quillpost
