#pragma once
// The encoder of a mail message: From, To, CC and the generated header lines.
#include "encoding/custom_encoder.h"
#include "message/message.h"

namespace quillpost {

class TmsMessageEncoder : public TmsCustomEncoder {
public:
    explicit TmsMessageEncoder(TmsMessage& message) : TmsCustomEncoder(message), mail_(message) {}

    // BCC parties are never written.
    void WriteHeaders() override;

private:
    TmsMessage& mail_;
};

}  // namespace quillpost
