#pragma once
// The encoder of a news article: From and Newsgroups instead of the mail
// parties.
#include "encoding/custom_encoder.h"
#include "message/article.h"

namespace quillpost {

class TmsArticleEncoder : public TmsCustomEncoder {
public:
    explicit TmsArticleEncoder(TmsArticle& article)
        : TmsCustomEncoder(article), article_(article) {}

    void WriteHeaders() override;

private:
    TmsArticle& article_;
};

}  // namespace quillpost
