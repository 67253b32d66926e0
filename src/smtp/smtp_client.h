#pragma once
// One SMTP session (plain RFC 821: HELO, MAIL FROM, RCPT TO, DATA, QUIT) that
// delivers one message to one server. The session is a table of steps, one
// per command whose reply is awaited; every reply line is checked as it
// arrives against its step: DATA wants 354, every other command (the
// greeting and the final "." included) 2xx. A reply of the wrong kind ends
// the session at once; a refusal goes to the step's handler, and the first
// one that fails the send becomes the exception's text.
// With Settings asking for EHLO, TLS or a log-on (or an address that needs
// SMTPUTF8) the session greets with EHLO instead and may add STARTTLS or TLS
// from the first byte, and AUTH; it then uses the extensions the server
// offers (PIPELINING, SIZE, CHUNKING, 8BITMIME, DSN) but those disabled.
#include <cstdint>
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
    bool HeloAttempt() const { return step_ == Step::Helo; }
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
    // Reads the lines of one reply through its final line; false when it
    // is a refusal (4xx or 5xx).
    bool ReadReply();
    // Accepts a continuation line, a final line that fits the command being
    // answered, or a refusal; raises ESocketError with any other line.
    void CheckReply(const std::string& Line);

    // Bytes of stored text in each BDAT chunk.
    static constexpr std::size_t kChunkSize = 1024 * 1024;

protected:
    void HandleLine(const std::string& Line) override { CheckReply(Line); }
    void Login() override;
    void Logout() override;

private:
    void ComponentFreed(TComponent& component) override;
    // The command whose reply is awaited: one step per command.
    enum class Step : std::uint8_t {
        Greeting,
        Ehlo,
        Helo,  // the first HELO: a refusal is answered by a bare HELO
        BareHelo,
        StartTls,
        AuthChallenge,  // wants 334
        AuthFinal,      // wants 2xx
        AuthToken,      // 334 (details of a refusal) or 2xx
        Rset,
        Mail,
        Rcpt,
        Data,  // wants 354
        Bdat,
        EndOfData,  // the final "."
        Quit,
        Idle
    };
    // A command sent whose reply is still to be read (in a pipelined group).
    struct TAwaited {
        Step step;
        std::string recipient;
    };
    // What the replies to one message's envelope said.
    struct TEnvelopeReplies {
        std::string mailRefusal;
        std::string dataRefusal;
        std::int32_t accepted = 0;
        bool textWanted = false;  // DATA got its 354
    };
    // True for a final line that answers the command as hoped.
    bool Fits(const std::string& line) const;
    // Sends Line and reads its reply as Step's; false for a refusal. Any
    // other failure leaves the session without QUIT.
    bool Command(const std::string& line, Step step);
    // Command, failing the send on a refusal.
    void SendCommand(const std::string& line, Step step);
    // Fires OnError with Text and raises it; the session still ends in QUIT.
    [[noreturn]] void Fail(std::string text);
    void Helo();
    // EHLO, learning the capabilities; a 5xx answer falls back to HELO when
    // MayFallBack, otherwise it fails the send.
    void Ehlo(bool mayFallBack);
    bool Offers(const std::string& keyword) const { return capabilities_.count(keyword) != 0; }
    // Offered, and not among the extensions the settings turn off.
    bool Uses(const std::string& keyword) const;
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
    // The parameters of MAIL FROM and of each RCPT TO for this server.
    std::string MailParameters();
    std::string RcptParameters(const std::string& address) const;
    // Sends the envelope (with PIPELINING in one write); false when the kept
    // session it began with RSET was gone, and nothing of it counts.
    bool SendEnvelope();
    // Sends one envelope command and notes the reply it awaits; the replies
    // are read by TakeReplies.
    void Issue(const std::string& line, Step step, const std::string& recipient = "");
    // Reads the replies awaited; false when the RSET of a kept session failed.
    bool TakeReplies(TEnvelopeReplies& replies);
    // Fails the send when the replies so far decide it; Complete: every
    // recipient has been answered.
    void Judge(const TEnvelopeReplies& replies, bool complete);
    void SendData();
    // Whether the text goes by BDAT: RFC 3030 lets 8-bit text go only with
    // BODY=8BITMIME, so without it such a text goes by DATA.
    bool Chunked() const { return Uses("CHUNKING") && (!eightBit_ || Uses("8BITMIME")); }
    void SendChunks();
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
    bool messageAccepted_ = false;
    bool reused_ = false;
    // A kept session whose RSET goes out with the next envelope (PIPELINING).
    bool resetDue_ = false;
    // The step whose reply is being read.
    Step step_ = Step::Idle;
    std::vector<TAwaited> awaited_;
    // The stored size and 8-bit content of the message being sent.
    std::int64_t storedSize_ = 0;
    bool eightBit_ = false;
    std::string lastReply_;
    std::vector<std::string> replyLines_;  // every line of the last reply
    // EHLO keywords (upper case) and their parameters.
    std::map<std::string, std::string> capabilities_;
    bool reached_ = false;   // the last session connected
    std::string tlsInfo_;    // protocol and cipher of the last session's TLS
    std::string mechanism_;  // the AUTH mechanism that logged on
    std::vector<TRefusedRecipient> refused_;
    std::int32_t recipientCount_ = 0;
};

}  // namespace quillpost
