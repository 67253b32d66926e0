#include "message/custom_message.h"

#include "base/ascii.h"
#include "message/component_stream.h"
#include "util/errors.h"
#include "util/file_name.h"
#include "util/message_table.h"
#include "util/short_string.h"

namespace quillpost {
namespace {

constexpr const char* kDefaultContentType = "text/plain";

}  // namespace

TmsCustomMessage::TmsCustomMessage(TComponent* owner) : TComponent(owner) {}

void TmsCustomMessage::SetAttachments(const TmsAttList& value) {
    // Assigning the list to itself must not empty it.
    if (&value != &attachments_) attachments_.Assign(value);
    contentType_ = attachments_.Count() == 0 ? kDefaultContentType : "multipart/mixed";
}

std::string TmsCustomMessage::ContentType() const {
    if (!determineContentType_) return contentType_;
    if (encoding_ == meUU) {
        contentType_.clear();
        return contentType_;
    }
    const std::int32_t attached = attachments_.Count();
    bool allAlternative = attached > 0;
    for (const TmsAttItem& item : attachments_)
        allAlternative = allAlternative && IsAlternativeName(item.FileName());

    if (allAlternative)
        contentType_ = "multipart/alternative";
    else if (attached == 0)
        contentType_ = kDefaultContentType;
    else if (!body_.Empty() || attached >= 2)
        contentType_ = "multipart/mixed";
    else
        contentType_ = attachments_.Items(0).ContentType();
    return contentType_;
}

void TmsCustomMessage::SetContentType(std::string_view value) {
    contentType_ = AsciiLowerText(ShortString(value));
}

void TmsCustomMessage::SetSubject(std::string_view value) { subject_ = ShortString(value); }

void TmsCustomMessage::Assign(const TPersistent& source) {
    auto* other = dynamic_cast<const TmsCustomMessage*>(&source);
    if (!other) {
        TComponent::Assign(source);
        return;
    }
    if (other == this) return;
    sender_.Assign(other->sender_);
    subject_ = other->subject_;
    encoding_ = other->encoding_;
    charSet_ = other->charSet_;
    headers_.Assign(other->headers_);
    body_.Assign(other->body_);
    SetAttachments(other->attachments_);
    related_.Assign(other->related_);
    htmlBody_ = other->htmlBody_;
    contentType_ = other->ContentType();
    SetTag(other->Tag());
}

void TmsCustomMessage::Loaded() {
    TComponent::Loaded();
    for (TmsAttItem& item : attachments_) item.Data().LoadFromFile(item.FileName());
}

void TmsCustomMessage::Validate() const {
    if (sender_.Address().empty()) throw EMessageError(LoadMessage(msgSenderRequired));
}

void TmsCustomMessage::Clear() {
    body_.Clear();
    attachments_.Clear();
    related_.Clear();
    htmlBody_.clear();
    sender_.Clear();
    headers_.Clear();
    subject_.clear();
    encoding_ = meMIME;
    charSet_ = csUSASCII;
    contentType_.clear();
}

void TmsCustomMessage::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    TComponent::WriteProperties(writer, prefix);
    attachments_.WriteProperties(writer, prefix + "Attachments.");
    // The computed value is what a reader of the property sees, so that is what
    // is saved; the creation value counts as the default.
    if (const std::string type = ContentType(); type != kDefaultContentType)
        writer.WriteString(prefix + "ContentType", type);
    if (encoding_ != meMIME) writer.WriteIdent(prefix + "Encoding", kMsgEncodingNames[encoding_]);
    sender_.WriteProperties(writer, prefix + "Sender.");
    if (!subject_.empty()) writer.WriteString(prefix + "Subject", subject_);
    if (charSet_ != csUSASCII) writer.WriteIdent(prefix + "CharSet", kCharSetNames[charSet_]);
    headers_.WriteProperties(writer, prefix + "Headers.");
    body_.WriteProperties(writer, prefix + "Body.");
    if (!determineContentType_) writer.WriteBoolean(prefix + "DetermineContentType", false);
}

TPersistent* TmsCustomMessage::OwnedNamed(std::string_view head) {
    if (head == "Attachments") return &attachments_;
    if (head == "Sender") return &sender_;
    if (head == "Headers") return &headers_;
    if (head == "Body") return &body_;
    return nullptr;
}

bool TmsCustomMessage::ReadProperty(ComponentReader& reader, std::string_view name) {
    std::string_view head;
    std::string_view rest;
    if (SplitPropertyName(name, head, rest)) {
        TPersistent* const owned = OwnedNamed(head);
        return owned != nullptr && owned->ReadProperty(reader, rest);
    }
    if (name == "ContentType") {
        SetContentType(reader.ReadString());
    } else if (name == "Encoding") {
        encoding_ = static_cast<TMsgEncoding>(ReadEnumIdent(reader, kMsgEncodingNames, 2, name));
    } else if (name == "Subject") {
        SetSubject(reader.ReadString());
    } else if (name == "CharSet") {
        charSet_ = static_cast<TCharSet>(ReadEnumIdent(reader, kCharSetNames, 3, name));
    } else if (name == "DetermineContentType") {
        determineContentType_ = reader.ReadBoolean();
    } else {
        return TComponent::ReadProperty(reader, name);
    }
    return true;
}

}  // namespace quillpost
