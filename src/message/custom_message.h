#pragma once
// What mail messages and news articles share: sender, subject, body lines,
// extra header lines, attachments and the options that choose the layout.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "message/attachment_list.h"
#include "message/component.h"
#include "message/headers.h"
#include "message/mail_address.h"
#include "message/strings.h"
#include "util/stream.h"

namespace quillpost {

enum TMsgEncoding : std::uint8_t { meMIME = 0, meUU = 1 };
enum TCharSet : std::uint8_t { csUSASCII = 0, csISO8859 = 1, csUTF8 = 2 };

inline constexpr const char* kMsgEncodingNames[] = {"meMIME", "meUU"};
inline constexpr const char* kCharSetNames[] = {"csUSASCII", "csISO8859", "csUTF8"};

class TmsCustomMessage : public TComponent {
public:
    explicit TmsCustomMessage(TComponent* owner = nullptr);

    // Owned objects: the setters copy into them, never replace them.
    TmsAttList& Attachments() { return attachments_; }
    const TmsAttList& Attachments() const { return attachments_; }
    // Full copies of Value's entries; the stored content type then becomes
    // "text/plain" for an empty list and "multipart/mixed" otherwise.
    void SetAttachments(const TmsAttList& value);

    // With DetermineContentType the value is computed from the body and the
    // attachments and stored; otherwise the stored text is returned.
    std::string ContentType() const;
    // Stores the lower-cased text, cut to 255 characters.
    void SetContentType(std::string_view value);

    TMsgEncoding Encoding() const { return encoding_; }
    void SetEncoding(TMsgEncoding value) { encoding_ = value; }

    TmsMailAddress& Sender() { return sender_; }
    const TmsMailAddress& Sender() const { return sender_; }
    void SetSender(const TmsMailAddress& value) { sender_.Assign(value); }

    const std::string& Subject() const { return subject_; }
    void SetSubject(std::string_view value);

    TCharSet CharSet() const { return charSet_; }
    void SetCharSet(TCharSet value) { charSet_ = value; }

    TmsHeaders& Headers() { return headers_; }
    const TmsHeaders& Headers() const { return headers_; }
    void SetHeaders(const TStrings& value) { headers_.Assign(value); }

    TStrings& Body() { return body_; }
    const TStrings& Body() const { return body_; }
    void SetBody(const TStrings& value) { body_.Assign(value); }

    // The HTML version of the body, in the message's character set. When it
    // is set the message goes out as a text and an HTML alternative, the
    // HTML with the images of Related beside it, and the attachments after
    // them. Neither is streamed with the component.
    const std::string& HtmlBody() const { return htmlBody_; }
    void SetHtmlBody(std::string_view value) { htmlBody_ = value; }
    // The images the HTML shows, each with its Content-ID.
    TmsAttList& Related() { return related_; }
    const TmsAttList& Related() const { return related_; }

    bool DetermineContentType() const { return determineContentType_; }
    void SetDetermineContentType(bool value) { determineContentType_ = value; }

    // Accepts any of the message classes; DetermineContentType is not copied.
    void Assign(const TPersistent& source) override;
    // Reloads every attachment's bytes from the file it names.
    void Loaded() override;

    // Raises EMessageError when a required field is missing; changes nothing.
    virtual void Validate() const;
    // Writes the complete message text (headers, blank line, body) to Stream.
    virtual void EncodeToStream(TStream& stream) = 0;
    // Header lines (no CR LF, none beginning with ".") that go before the
    // composed text, set by the encoding (a signature over that text).
    std::vector<std::string> LeadingLines;
    // Fills this message from the message text read from Stream.
    virtual void DecodeFromStream(TStream& stream) = 0;
    // Back to an empty state; DetermineContentType keeps its value.
    virtual void Clear();

    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;

protected:
    // The owned object whose properties are streamed as "Head.Name"; null
    // when there is none. ReadProperty hands such names to it.
    virtual TPersistent* OwnedNamed(std::string_view head);

    // EncodeToStream and DecodeFromStream of a class with its own encoder and
    // decoder.
    template <class TEncoder, class TMessage>
    static void EncodeWith(TMessage& message, TStream& stream) {
        TEncoder encoder(message);
        encoder.Stream = &stream;
        encoder.Encode();
    }
    template <class TDecoder>
    void DecodeWith(TStream& stream) {
        TDecoder decoder(stream);
        decoder.Message = this;
        decoder.Decode();
    }

private:
    // Declared so that destruction runs sender, attachments, body, headers.
    TmsHeaders headers_;
    TStrings body_;
    TmsAttList attachments_;
    TmsAttList related_;
    TmsMailAddress sender_;
    // Reading ContentType stores what it computes, also through a const reference.
    mutable std::string contentType_ = "text/plain";
    std::string subject_;
    std::string htmlBody_;
    TMsgEncoding encoding_ = meMIME;
    TCharSet charSet_ = csUSASCII;
    bool determineContentType_ = true;
};

}  // namespace quillpost
