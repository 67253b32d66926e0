#include "message/message.h"

#include "decoding/message_decoder.h"
#include "encoding/dkim_signer.h"
#include "encoding/message_encoder.h"
#include "message/article.h"
#include "message/component_stream.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

bool HasAddress(const TmsAddressList& list) {
    for (std::int32_t i = 0; i < list.Count(); ++i)
        if (!list.Items(i).Address().empty()) return true;
    return false;
}

}  // namespace

void TmsMessage::Assign(const TPersistent& source) {
    if (auto* other = dynamic_cast<const TmsMessage*>(&source)) {
        if (other == this) return;
        recipients_.Assign(other->recipients_);
        cc_.Assign(other->cc_);
        bcc_.Assign(other->bcc_);
        priority_ = other->priority_;
        returnReceipt_ = other->returnReceipt_;
    } else if (auto* article = dynamic_cast<const TmsArticle*>(&source)) {
        Headers().Assign(article->Headers());
    }
    TmsCustomMessage::Assign(source);
}

void TmsMessage::Validate() const {
    TmsCustomMessage::Validate();
    if (!HasAddress(recipients_) && !HasAddress(cc_) && !HasAddress(bcc_))
        throw EMessageError(LoadMessage(msgRecipientRequired));
}

void TmsMessage::EncodeToStream(TStream& stream) {
    EncodeWith<TmsMessageEncoder>(*this, stream);
    // The encoder writes from the stream's start.
    // A message encoded again without a signer keeps no stale signature.
    LeadingLines = Signer ? Signer->Sign(stream, 0) : std::vector<std::string>{};
}

void TmsMessage::DecodeFromStream(TStream& stream) { DecodeWith<TmsMessageDecoder>(stream); }

void TmsMessage::Clear() {
    TmsCustomMessage::Clear();
    cc_.Clear();
    bcc_.Clear();
    recipients_.Clear();
}

void TmsMessage::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    TmsCustomMessage::WriteProperties(writer, prefix);
    recipients_.WriteProperties(writer, prefix + "Recipients.");
    if (returnReceipt_) writer.WriteBoolean(prefix + "ReturnReceipt", true);
    if (priority_ != ptNormal) writer.WriteIdent(prefix + "Priority", kPriorityNames[priority_]);
    cc_.WriteProperties(writer, prefix + "CC.");
    bcc_.WriteProperties(writer, prefix + "BCC.");
}

TPersistent* TmsMessage::OwnedNamed(std::string_view head) {
    if (head == "Recipients") return &recipients_;
    if (head == "CC") return &cc_;
    if (head == "BCC") return &bcc_;
    return TmsCustomMessage::OwnedNamed(head);
}

bool TmsMessage::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name == "ReturnReceipt") {
        returnReceipt_ = reader.ReadBoolean();
    } else if (name == "Priority") {
        priority_ = static_cast<TPriority>(ReadEnumIdent(reader, kPriorityNames, 3, name));
    } else {
        return TmsCustomMessage::ReadProperty(reader, name);
    }
    return true;
}

}  // namespace quillpost
