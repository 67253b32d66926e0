#include "mailer/mailer.h"

#include <exception>

#include "base/ascii.h"
#include "message/address_syntax.h"
#include "message/message.h"
#include "util/errors.h"

namespace quillpost {

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void TMailer::ComposeMessage(TStream& out) {
    TmsMessage message;
    BuildMessage(message);
    message.EncodeToStream(out);
}

bool TMailer::AddAttachment(std::string_view strAttach) {
    try {
        attachments_.emplace_back(strAttach);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMailer::AddParty(TmsAddressList& list, std::string_view name, std::string_view address) {
    // The address goes into the envelope and the headers as it is: anything
    // but a mailbox could add a parameter, a command or a party there.
    if (!IsMailbox(address)) {
        response_ = "The address " + QuotedForMessage(address) + " is not a valid mail address";
        return false;
    }
    if (const char* fault = HeaderTextFault(name)) {
        response_ = "The name " + QuotedForMessage(name) + " " + fault;
        return false;
    }
    try {
        list.AddAddress(address, name);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMailer::AddRecipient(std::string_view strName, std::string_view strAddress) {
    return AddParty(recipients_, strName, strAddress);
}

bool TMailer::AddCC(std::string_view strName, std::string_view strAddress) {
    return AddParty(cc_, strName, strAddress);
}

bool TMailer::AddBCC(std::string_view strName, std::string_view strAddress) {
    return AddParty(bcc_, strName, strAddress);
}

void TMailer::ClearAllRecipients() {
    recipients_.Clear();
    cc_.Clear();
    bcc_.Clear();
}

bool TMailer::AddExtraHeader(std::string_view strExtraHeader) {
    // A line without a field name (an empty one above all) would end the
    // header block early and put the headers that follow it into the body.
    if (strExtraHeader.empty()) return false;
    const char* fault = IsHeaderLine(strExtraHeader) ? HeaderTextFault(strExtraHeader)
                                                     : "has no header name and colon";
    if (fault) {
        response_ = "The header line " + QuotedForMessage(strExtraHeader) + " " + fault;
        return false;
    }
    try {
        extraHeaders_.emplace_back(strExtraHeader);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TMailer::SetPriority(std::int16_t v) {
    if (v >= 1 && v <= 5) priority_ = static_cast<std::uint8_t>(v);
}

void TMailer::SetWordWrapLen(std::int16_t v) {
    if (v < 0) RaiseRangeError();
    wordWrapLen_ = static_cast<std::uint16_t>(v);
}

void TMailer::SetSecurity(std::int16_t v) {
    if (v < TSmtpSettings::kNoTls || v > TSmtpSettings::kStartTlsIfOffered) RaiseRangeError();
    session_.security = v;
}

void TMailer::SetAuthType(std::int16_t v) {
    if (v < TSmtpSettings::kNoAuth || v > TSmtpSettings::kXOAuth2) RaiseRangeError();
    session_.authType = v;
}

namespace {

// The first byte of Text that Refused says no to, or -1.
template <typename TRefused>
int FirstRefused(std::string_view text, TRefused refused) {
    for (char c : text)
        if (refused(c)) return static_cast<unsigned char>(c);
    return -1;
}

std::string ByteText(int byte) {
    const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4] + digits[byte & 15];
}

}  // namespace

void TMailer::RefuseCredential(const char* member, int byte, const char* why) {
    // The value itself is never repeated: it may be a secret.
    RefuseSetting(std::string(member) + " contains the control byte " + ByteText(byte) + ", " +
                  why + "; the value was not taken");
}

void TMailer::RefuseSetting(const std::string& text) {
    response_ = text;
    throw EMessageError(text);
}

void TMailer::SetUserName(std::string_view v) {
    // A name goes into every mechanism's fields; no control byte belongs in one.
    if (int byte = FirstRefused(v, IsAsciiControl); byte >= 0)
        RefuseCredential("UserName", byte, "which no log-on carries safely");
    session_.userName = v;
}

void TMailer::SetPassword(std::string_view v) {
    // LOGIN carries any byte; only PLAIN's field separator cannot be told apart.
    if (int byte = FirstRefused(v, [](char c) { return c == 0; }); byte >= 0)
        RefuseCredential("Password", byte, "which ends a field of AUTH PLAIN");
    session_.password.Assign(v);
}

void TMailer::SetAccessToken(std::string_view v) {
    // A bearer token is printable ASCII (RFC 6750 b64token); 0x01 would end
    // the XOAUTH2 field and let the rest forge another.
    if (int byte = FirstRefused(v, IsAsciiControl); byte >= 0)
        RefuseCredential("AccessToken", byte, "which ends a field of AUTH XOAUTH2");
    session_.accessToken.Assign(v);
}

}  // namespace quillpost
