#pragma once
// The two decoders that DecodeFromStream creates: one fills a mail message,
// the other a news article, from the message's own header block.
#include "decoding/custom_decoder.h"

namespace quillpost {

class TmsMessageDecoder : public TmsCustomDecoder {
public:
    using TmsCustomDecoder::TmsCustomDecoder;
    // Message must be a TmsMessage.
    void FillFields() override;
};

class TmsArticleDecoder : public TmsCustomDecoder {
public:
    using TmsCustomDecoder::TmsCustomDecoder;
    // Message must be a TmsArticle.
    void FillFields() override;
};

}  // namespace quillpost
