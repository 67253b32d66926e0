#pragma once
// The news article: the shared fields plus the newsgroups it is posted to.
#include <string>
#include <string_view>

#include "message/custom_message.h"

namespace quillpost {

class TmsArticle : public TmsCustomMessage {
public:
    explicit TmsArticle(TComponent* owner = nullptr) : TmsCustomMessage(owner) {}

    const char* ClassName() const override { return "TmsArticle"; }

    // A long text: not cut to 255 characters.
    const std::string& NewsGroups() const { return newsGroups_; }
    void SetNewsGroups(std::string_view value) { newsGroups_ = value; }

    // Filled only by message decoding; not streamed.
    const std::string& MessageId() const { return messageId_; }
    void SetMessageId(std::string_view value) { messageId_ = value; }
    const std::string& Path() const { return path_; }
    void SetPath(std::string_view value) { path_ = value; }

    void Assign(const TPersistent& source) override;
    // Also needs the newsgroups and the subject.
    void Validate() const override;
    void EncodeToStream(TStream& stream) override;
    void DecodeFromStream(TStream& stream) override;
    void Clear() override;

    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;

private:
    std::string newsGroups_;
    std::string messageId_;
    std::string path_;
};

}  // namespace quillpost
