#include "message/attachment_item.h"

#include "base/ascii.h"
#include "platform/content_type.h"
#include "util/errors.h"
#include "util/file_name.h"
#include "util/short_string.h"

namespace quillpost {

const char* TransferEncodingName(TTransferEncoding value) {
    if (static_cast<std::int32_t>(value) >= kTransferEncodingCount) RaiseRangeError();
    return kTransferEncodingNames[value];
}

std::string ContentTypeForFile(std::string_view name) {
    std::string result = platform::RegisteredContentType(ExtractFileExt(name));
    if (result.empty()) result = "application/octet-stream";
    return result;
}

TTransferEncoding TransferEncodingForContentType(std::string_view contentType) {
    // Whole texts only: a type with parameters is sent in base64.
    const std::string upper = AsciiUpperText(contentType);
    if (upper == "TEXT/PLAIN" || upper == "TEXT/RTF" || upper == "TEXT/HTML")
        return teQuotedPrintable;
    if (upper == "MESSAGE/RFC822") return te7Bit;
    return teBase64;
}

bool IsAlternativeName(std::string_view fileName) {
    return StartsWithIgnoringCase(ExtractFileName(fileName), "_alt.");
}

void TmsAttItem::SetFileName(std::string_view name) {
    fileName_ = ShortString(name);
    if (fileName_.empty()) return;
    contentType_ = ShortString(ContentTypeForFile(fileName_));
    transferEncoding_ = TransferEncodingForContentType(contentType_);
}

void TmsAttItem::SetContentType(std::string_view value) { contentType_ = ShortString(value); }

void TmsAttItem::Assign(const TPersistent& source) {
    auto* other = dynamic_cast<const TmsAttItem*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    data_.Assign(other->data_.Bytes());
    contentType_ = other->contentType_;
    transferEncoding_ = other->transferEncoding_;
    fileName_ = other->fileName_;
    contentId_ = other->contentId_;
}

}  // namespace quillpost
