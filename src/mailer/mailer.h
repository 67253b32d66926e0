#pragma once
// The automation object: the complete description of one message plus its
// delivery settings. Strings are ANSI byte strings; the automation boundary
// converts wide strings and Booleans on the way in and out.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "base/non_copyable.h"
#include "message/address_list.h"
#include "smtp/smtp_settings.h"
#include "util/ansi_types.h"
#include "util/stream.h"
#include "util/string_vector.h"

namespace quillpost {

class TmsMessage;
class TmsSMTP;
class TStrings;

class TMailer : private TNonCopyable {
public:
    TMailer();
    // Ends a kept session as CloseConnection does.
    virtual ~TMailer();

    // --- methods ---
    bool SendMail();
    void ClearAttachments() { attachments_.clear(); }
    bool AddAttachment(std::string_view strAttach);
    bool AddRecipient(std::string_view strName, std::string_view strAddress);
    void ClearRecipients() { recipients_.Clear(); }
    bool AddCC(std::string_view strName, std::string_view strAddress);
    void ClearCCs() { cc_.Clear(); }
    bool AddBCC(std::string_view strName, std::string_view strAddress);
    void ClearBCCs() { bcc_.Clear(); }
    void ClearAllRecipients();
    void ClearBodyText() { body_.clear(); }
    bool GetBodyTextFromFile(std::string_view strInputFile, WordBool bolEraseInputFile,
                             WordBool bolShowWindow);
    void ClearExtraHeaders() { extraHeaders_.clear(); }
    bool AddExtraHeader(std::string_view strExtraHeader);
    // Says QUIT to a session KeepConnection kept open, and closes it.
    void CloseConnection() noexcept;

    // --- properties ---
    const std::string& RemoteHost() const { return remoteHost_; }
    void SetRemoteHost(std::string_view v) { remoteHost_ = v; }
    const std::string& Subject() const { return subject_; }
    void SetSubject(std::string_view v) { subject_ = v; }
    const std::string& FromName() const { return fromName_; }
    void SetFromName(std::string_view v) { fromName_ = v; }
    const std::string& FromAddress() const { return fromAddress_; }
    void SetFromAddress(std::string_view v) { fromAddress_ = v; }
    const std::string& ReplyTo() const { return replyTo_; }
    void SetReplyTo(std::string_view v) { replyTo_ = v; }
    const std::string& ContentType() const { return contentType_; }
    void SetContentType(std::string_view v) { contentType_ = v; }
    // Put only: every assignment appends one body entry.
    void SetBodyText(std::string_view v) { body_.emplace_back(v); }
    const std::string& SMTPLog() const { return smtpLog_; }
    void SetSMTPLog(std::string_view v) { smtpLog_ = v; }
    // Reads 1 only when 1 was stored; the default 2 (MIME) reads back as 0.
    std::int16_t Encoding() const { return encoding_ == 1 ? 1 : 0; }
    void SetEncoding(std::int16_t v) { encoding_ = v; }
    std::int16_t CharSet() const { return charSet_; }
    void SetCharSet(std::int16_t v) { charSet_ = v; }
    std::int16_t Priority() const { return priority_; }
    // Values outside 1..5 are ignored.
    void SetPriority(std::int16_t v);
    const std::string& Response() const { return response_; }
    WordBool Urgent() const { return urgent_; }
    void SetUrgent(WordBool v) { urgent_ = v; }
    static std::string Version() { return "2.2"; }
    const std::string& PGPPath() const { return pgpPath_; }
    void SetPGPPath(std::string_view v) { pgpPath_ = v; }
    const std::string& PGPParams() const { return pgpParams_; }
    void SetPGPParams(std::string_view v) { pgpParams_ = v; }
    std::int16_t TimeOut() const { return static_cast<std::int16_t>(timeOut_); }
    // Sign-extends into the 32-bit field; no range check.
    void SetTimeOut(std::int16_t v) { timeOut_ = v; }
    WordBool ConfirmRead() const { return confirmRead_; }
    void SetConfirmRead(WordBool v) { confirmRead_ = v; }
    WordBool ReturnReceipt() const { return returnReceipt_; }
    void SetReturnReceipt(WordBool v) { returnReceipt_ = v; }
    WordBool UseMSMailHeaders() const { return useMSMailHeaders_; }
    void SetUseMSMailHeaders(WordBool v) { useMSMailHeaders_ = v; }
    WordBool WordWrap() const { return wordWrap_; }
    void SetWordWrap(WordBool v) { wordWrap_ = v; }
    std::int16_t WordWrapLen() const { return static_cast<std::int16_t>(wordWrapLen_); }
    // A negative value raises the range error and keeps the old one.
    void SetWordWrapLen(std::int16_t v);
    const std::string& DateTime() const { return dateTime_; }
    void SetDateTime(std::string_view v) { dateTime_ = v; }
    WordBool Live() const { return live_; }
    void SetLive(WordBool v) { live_ = v; }
    // Put only on the automation surface; read by the body-from-file reader.
    void SetPGPTimeOut(std::int32_t v) { pgpTimeOut_ = v; }
    // How the last message went out: TLS, certificate check, log-on.
    const std::string& ConnectionInfo() const { return connectionInfo_; }
    // 0..3 and 0..4; other values raise the range error and keep the old one.
    std::int16_t Security() const { return session_.security; }
    void SetSecurity(std::int16_t v);
    std::int16_t AuthType() const { return session_.authType; }
    void SetAuthType(std::int16_t v);
    // The credentials refuse the control bytes a mechanism cannot carry (a
    // NUL ends a field of PLAIN, 0x01 one of XOAUTH2): Response names the
    // member, an error is raised and the old value stays.
    const std::string& UserName() const { return session_.userName; }
    void SetUserName(std::string_view v);
    void SetPassword(std::string_view v);
    void SetAccessToken(std::string_view v);
    WordBool AllowClearTextAuth() const { return ToWordBool(session_.allowClearTextAuth); }
    void SetAllowClearTextAuth(WordBool v) { session_.allowClearTextAuth = IsTrue(v); }
    WordBool VerifyCertificate() const { return ToWordBool(session_.verifyCertificate); }
    void SetVerifyCertificate(WordBool v) { session_.verifyCertificate = IsTrue(v); }
    const std::string& CAFile() const { return session_.caFile; }
    void SetCAFile(std::string_view v) { session_.caFile = v; }
    WordBool KeepConnection() const { return keepConnection_; }
    void SetKeepConnection(WordBool v) { keepConnection_ = v; }
    WordBool UseESMTP() const { return ToWordBool(session_.useEsmtp); }
    void SetUseESMTP(WordBool v) { session_.useEsmtp = IsTrue(v); }
    WordBool SkipRefusedRecipients() const { return ToWordBool(envelope_.skipRefusedRecipients); }
    void SetSkipRefusedRecipients(WordBool v) { envelope_.skipRefusedRecipients = IsTrue(v); }
    // The keyword lists and the envelope identifier are checked where they
    // enter, as the server will read them: a value that is not valid raises,
    // Response names the member and the value, and the old value stays. The
    // lists take any case and blanks around their names, and read back
    // normalised (upper case, no blanks, each name once in a fixed order),
    // as they are sent.
    std::string DisableExtensions() const;
    void SetDisableExtensions(std::string_view v);
    const std::string& DSNNotify() const { return envelope_.dsnNotify; }
    void SetDSNNotify(std::string_view v);
    const std::string& DSNReturn() const { return envelope_.dsnReturn; }
    void SetDSNReturn(std::string_view v);
    const std::string& EnvelopeID() const { return envelope_.envelopeId; }
    void SetEnvelopeID(std::string_view v);
    // After SendMail: "address<TAB>reply" for each recipient the server
    // refused, lines ended by CR LF but the last; empty when none.
    const std::string& RefusedRecipients() const { return refusedRecipients_; }

    // --- for C++ hosts such as the command line (not on the automation surface) ---
    // Writes the exact text that SendMail would send after DATA, without
    // connecting anywhere.
    void ComposeMessage(TStream& out);
    // Called while the composed message is sent: bytes sent so far, total bytes.
    std::function<void(std::int64_t sent, std::int64_t total)> OnSendProgress;

    // --- state for assembly and sending (not on the automation surface) ---
    const TmsAddressList& Recipients() const { return recipients_; }
    const TmsAddressList& CCs() const { return cc_; }
    const TmsAddressList& BCCs() const { return bcc_; }
    const StringVector& ExtraHeaders() const { return extraHeaders_; }
    const StringVector& BodyLines() const { return body_; }
    const StringVector& Attachments() const { return attachments_; }
    std::int16_t StoredEncoding() const { return encoding_; }
    std::int32_t TimeOutSeconds() const { return timeOut_; }
    std::int32_t PGPTimeOut() const { return pgpTimeOut_; }

    // Fills a fresh message from this object's state; reads the attachment
    // files. Any failure raises, naming the property or the file.
    void BuildMessage(TmsMessage& message) const;
    // The body lines as sent: into a message's Body, or as the one text of
    // the test mode (entries kept whole, each ended by CR LF).
    void BuildBody(TStrings& body) const;
    std::string BuildBodyText() const;
    // Entry N (from 0) of RemoteHost: runs between "," and ";", taken
    // verbatim; empty when there are fewer entries.
    std::string GetHost(int n) const;
    // What the test mode hands to the network messenger.
    std::string MessengerCommandLine() const;

protected:
    void SetResponse(std::string_view text) { response_ = text; }

private:
    // The kept session when it can carry a send to Host, else a new one (a
    // kept one that cannot is closed first).
    std::unique_ptr<TmsSMTP> TakeSession(const std::string& host);
    bool AddParty(TmsAddressList& list, std::string_view name, std::string_view address);
    [[noreturn]] void RefuseCredential(const char* member, int byte, const char* why);
    // A setter's refusal: Text becomes Response and the raised error's text.
    [[noreturn]] void RefuseSetting(const std::string& text);
    // What the session reports of refused recipients, after a send.
    void NoteRefusedRecipients(const TmsSMTP& smtp, bool delivered);

    std::string remoteHost_;
    std::string fromName_;
    std::string fromAddress_;
    std::string replyTo_;
    TmsAddressList recipients_;
    TmsAddressList cc_;
    TmsAddressList bcc_;
    std::string subject_;
    std::string smtpLog_;
    std::int16_t encoding_ = 2;
    std::int16_t charSet_ = 1;
    std::uint8_t priority_ = 3;
    WordBool urgent_ = kWordFalse;
    std::string response_;
    std::string dateTime_;
    std::string pgpPath_;
    std::string pgpParams_;
    std::int32_t timeOut_ = 45;
    WordBool confirmRead_ = kWordFalse;
    WordBool returnReceipt_ = kWordFalse;
    StringVector extraHeaders_;
    std::string contentType_;
    StringVector body_;
    WordBool wordWrap_ = kWordFalse;
    std::uint16_t wordWrapLen_ = 70;
    StringVector attachments_;
    WordBool useMSMailHeaders_ = kWordTrue;
    WordBool live_ = kWordTrue;
    std::int32_t pgpTimeOut_ = 45;
    TSmtpSettings session_;
    // Handed to the session with every message; not part of what a kept
    // connection must match.
    TEnvelopeOptions envelope_;
    std::string refusedRecipients_;
    // The count of refused recipients the last send put into Response.
    std::string refusalNote_;
    std::string connectionInfo_;
    WordBool keepConnection_ = kWordFalse;
    // The connection KeepConnection keeps between sends, and the thread that
    // opened it: its waits work only there.
    std::unique_ptr<TmsSMTP> kept_;
    std::thread::id keptThread_;
};

// True when Text holds a CR, LF or NUL: such a text must never reach an SMTP
// command line.
bool HasLineBreakOrNul(std::string_view text);

}  // namespace quillpost
