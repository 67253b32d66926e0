// Turning the Mailer's state into the message that is sent.
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "encoding/dkim_signer.h"
#include "mailer/mailer.h"
#include "message/address_syntax.h"
#include "message/message.h"
#include "platform/ansi_text.h"
#include "platform/installation.h"
#include "util/date_text.h"
#include "util/date_time.h"
#include "util/errors.h"
#include "util/short_string.h"
#include "util/word_wrap.h"

namespace quillpost {
namespace {

constexpr const char* kMailerName = "ASP Quillpost Component 2.2";

constexpr std::int16_t kCharSetUtf8 = 3;

// Text as the message's character set holds it: UTF-8 for CharSet 3, the
// ANSI code page (as the object kept it before it kept text losslessly)
// otherwise.
std::string InCharSet(std::string_view text, std::int16_t charSet) {
    return charSet == kCharSetUtf8 ? platform::TextToUtf8(text) : platform::TextToAnsi(text);
}

void CheckHeaderText(std::string_view text, const std::string& what) {
    if (const char* fault = HeaderTextFault(text)) throw EMessageError(what + " " + fault);
}

// An address the message cannot carry: not a mailbox, or UTF-8 in a message
// that is not (only CharSet 3 asks the server for SMTPUTF8).
void CheckAddress(std::string_view text, bool valid, std::int16_t charSet,
                  const std::string& what) {
    if (HasLineBreakOrNul(text))
        throw EMessageError(what + " contains a line break or a NUL character");
    if (!valid)
        throw EMessageError(what + " " + QuotedForMessage(text) + " is not a valid mail address");
    if (charSet != kCharSetUtf8 && !IsAscii(MailboxOf(text)))
        throw EMessageError(what + " " + QuotedForMessage(text) +
                            " holds characters outside ASCII, which only CharSet 3 carries");
}

void CheckParties(const TmsAddressList& list, std::int16_t charSet) {
    for (std::int32_t i = 0; i < list.Count(); ++i)
        CheckAddress(list.Items(i).Address(), true, charSet, "The address");
}

// The owner label goes into a header line: keep it short and on one line.
std::string OwnerLabel() {
    std::string label;
    for (char c : platform::InstallationOwner()) {
        if (IsAsciiControl(c)) c = ' ';
        if (c == '(' || c == ')') c = ' ';
        label += c;
    }
    return ShortString(label).substr(0, 64);
}

// Length of the line break at the start of Text: 2 for CR LF, 1 for a lone
// CR or LF, 0 when Text does not start with one.
std::size_t BreakAt(std::string_view text) {
    if (text.empty()) return 0;
    if (text[0] == '\r') return text.size() > 1 && text[1] == '\n' ? 2 : 1;
    return text[0] == '\n' ? 1 : 0;
}

// Emits the lines of one body entry. Every line break (CR LF, and also a
// lone CR or LF) ends a line, so no bare CR or LF reaches the wire. With
// Width 0 paragraphs are not wrapped.
template <typename Emit>
void EmitWrapped(std::string_view s, std::size_t width, bool utf8, Emit&& emit) {
    while (!s.empty()) {
        while (std::size_t n = BreakAt(s)) {
            s.remove_prefix(n);
            emit(std::string_view{});
        }
        std::size_t end = s.find_first_of("\r\n");
        std::string_view paragraph = s.substr(0, end);
        s.remove_prefix(paragraph.size());
        s.remove_prefix(BreakAt(s));
        if (width == 0) {
            emit(paragraph);
            continue;
        }
        std::string rest(paragraph);
        do {
            WrappedLine w = WrapLine(rest, width);
            // A word cut at the width is cut between characters, not inside one.
            if (utf8 && w.Head.size() == width && w.Rest.size() + width == rest.size()) {
                std::size_t keep = width;
                while (keep > 1 && (static_cast<unsigned char>(rest[keep]) & 0xC0) == 0x80) --keep;
                w.Head.resize(keep);
                w.Rest = rest.substr(keep);
            }
            emit(w.Head);
            rest = std::move(w.Rest);
        } while (!rest.empty());
    }
}

template <typename Emit>
void EmitSplit(std::string_view s, Emit&& emit) {
    for (;;) {
        std::size_t end = s.find_first_of("\r\n");
        emit(s.substr(0, end));
        if (end == std::string_view::npos) return;
        s.remove_prefix(end);
        s.remove_prefix(BreakAt(s));
    }
}

}  // namespace

void TMailer::BuildBody(TStrings& body) const { BuildBodyFrom(body_, body); }

void TMailer::BuildBodyFrom(const StringVector& entries, TStrings& body) const {
    body.Clear();
    auto emit = [&](std::string_view line) { body.Add(line); };
    for (const auto& entry : entries) {
        const std::string text = InCharSet(entry, charSet_);
        if (IsTrue(wordWrap_))
            EmitWrapped(text, wordWrapLen_, charSet_ == kCharSetUtf8, emit);
        else
            EmitSplit(text, emit);
    }
}

std::string TMailer::BuildBodyText() const {
    std::string text;
    auto emit = [&](std::string_view line) {
        text += line;
        text += "\r\n";
    };
    for (const auto& entry : body_) {
        if (IsTrue(wordWrap_))
            EmitWrapped(entry, wordWrapLen_, false, emit);
        else
            emit(entry);
    }
    return text;
}

void TMailer::BuildMessage(TmsMessage& message, std::string* messageId) const {
    if (fromAddress_.empty()) throw EEmptyFromAddress("FromAddress Property cannot be blank.");
    // Parties and extra header lines were checked where they entered; the
    // properties are checked here, where they are used.
    CheckAddress(fromAddress_, IsMailbox(fromAddress_), charSet_, "FromAddress");
    CheckHeaderText(fromName_, "FromName");
    CheckHeaderText(subject_, "Subject");
    CheckHeaderText(replyTo_, "ReplyTo");
    if (!replyTo_.empty()) CheckAddress(replyTo_, IsAddressValue(replyTo_), charSet_, "ReplyTo");
    CheckHeaderText(contentType_, "ContentType");
    CheckHeaderText(dateTime_, "DateTime");
    for (const auto* list : {&recipients_, &cc_, &bcc_}) CheckParties(*list, charSet_);

    auto text = [&](std::string_view v) { return InCharSet(v, charSet_); };
    message.Sender().SetAddress(text(fromAddress_));
    message.Sender().SetName(text(fromName_));
    for (const auto* list : {&recipients_, &cc_, &bcc_}) {
        TmsAddressList& target = list == &recipients_ ? message.Recipients()
                                 : list == &cc_       ? message.CC()
                                                      : message.BCC();
        for (std::int32_t i = 0; i < list->Count(); ++i)
            target.AddAddress(text(list->Items(i).Address()), text(list->Items(i).Name()));
    }

    message.SetEncoding(encoding_ == 2 ? meMIME : meUU);
    message.SetCharSet(charSet_ == 2 ? csISO8859 : charSet_ == kCharSetUtf8 ? csUTF8 : csUSASCII);
    TmsHeaders& headers = message.Headers();
    for (const auto& line : extraHeaders_) headers.Add(text(line));
    message.SetPriority(priority_ == 1 ? ptHigh : priority_ == 5 ? ptLow : ptNormal);

    if (IsTrue(urgent_)) headers.Add("Priority: urgent");
    headers.Add("Date: " + (dateTime_.empty() ? GmtDateText(Now()) : text(dateTime_)));
    if (WantsMessageId()) {
        const std::string id = NewMessageId(text(fromAddress_));
        headers.Add("Message-ID: " + id);
        if (messageId) *messageId = id;
    }
    if (IsTrue(confirmRead_)) headers.Add("X-Confirm-Reading-To: <" + text(fromAddress_) + ">");
    message.SetReturnReceipt(IsTrue(returnReceipt_));
    if (IsTrue(useMSMailHeaders_)) {
        headers.Add(priority_ == 1   ? "X-MSMail-Priority: High"
                    : priority_ == 5 ? "X-MSMail-Priority: Low"
                                     : "X-MSMail-Priority: Normal");
    }
    if (!replyTo_.empty()) headers.Add("Reply-To: " + text(replyTo_));
    message.SetSubject(text(subject_));
    BuildBody(message.Body());
    headers.Add(std::string("X-mailer: ") + kMailerName + " (" + OwnerLabel() + ")");

    // The file is read by the name as it was set; the message names it in its
    // own character set.
    for (const auto& path : attachments_) {
        message.Attachments().AddFile(path);
        TmsAttItem& item = message.Attachments().Items(message.Attachments().Count() - 1);
        if (std::string name = text(item.FileName()); name != item.FileName())
            item.SetFileName(name);
    }
    BuildHtml(message);
    if (!contentType_.empty() && attachments_.empty() && htmlBody_.empty()) {
        message.SetDetermineContentType(false);
        message.SetContentType(text(contentType_));
    }
    message.Signer = MakeSigner();
}

}  // namespace quillpost
