// libFuzzer target: any received text, decoded as a mail message and as a
// news article. Nothing may crash, hang or escape as an exception, and a
// text that failed to parse must be kept whole beside the notice.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "decoding/custom_decoder.h"
#include "message/article.h"
#include "message/message.h"
#include "util/stream.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void DecodeAs(quillpost::TmsCustomMessage& message, const std::string& text) {
    quillpost::TMemoryStream stream;
    stream.Assign(text);
    message.DecodeFromStream(stream);
    // A text that holds the notice itself proves nothing.
    if (text.find(quillpost::kDecodeNoticeHead) != std::string::npos) return;
    const auto& body = message.Body();
    for (std::int32_t i = 0; i < body.Count(); ++i) {
        if (body[i] != quillpost::kDecodeNoticeHead) continue;
        // The notice is always followed by the whole text as the last entry.
        const auto& list = message.Attachments();
        Check(list.Count() > 0);
        const auto& original = list.Items(list.Count() - 1);
        Check(original.FileName() == quillpost::kOriginalFileName);
        Check(original.Data().Bytes() == text);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    quillpost::TmsMessage message;
    DecodeAs(message, text);
    quillpost::TmsArticle article;
    DecodeAs(article, text);
    return 0;
}
