#include "message/article.h"

#include "decoding/message_decoder.h"
#include "encoding/article_encoder.h"
#include "message/component_stream.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {

void TmsArticle::Assign(const TPersistent& source) {
    if (auto* other = dynamic_cast<const TmsArticle*>(&source)) {
        if (other == this) return;
        newsGroups_ = other->newsGroups_;
    }
    TmsCustomMessage::Assign(source);
}

void TmsArticle::Validate() const {
    TmsCustomMessage::Validate();
    if (newsGroups_.empty()) throw EMessageError(LoadMessage(msgNewsgroupRequired));
    if (Subject().empty()) throw EMessageError(LoadMessage(msgSubjectRequired));
}

void TmsArticle::EncodeToStream(TStream& stream) { EncodeWith<TmsArticleEncoder>(*this, stream); }

void TmsArticle::DecodeFromStream(TStream& stream) { DecodeWith<TmsArticleDecoder>(stream); }

void TmsArticle::Clear() {
    newsGroups_.clear();
    TmsCustomMessage::Clear();
}

void TmsArticle::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    TmsCustomMessage::WriteProperties(writer, prefix);
    if (!newsGroups_.empty()) writer.WriteString(prefix + "NewsGroups", newsGroups_);
}

bool TmsArticle::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name == "NewsGroups") {
        newsGroups_ = reader.ReadString();
        return true;
    }
    return TmsCustomMessage::ReadProperty(reader, name);
}

}  // namespace quillpost
