#pragma once
// One attached file held in memory: its bytes, the name the caller gave, the
// content type found from the name's extension and the transfer encoding the
// encoder applies.
#include <cstdint>
#include <string>
#include <string_view>

#include "message/persistent.h"
#include "util/stream.h"

namespace quillpost {

enum TTransferEncoding : std::uint8_t {
    te7Bit = 0,
    teBase64 = 1,
    teQuotedPrintable = 2,
};

// The names written after "Content-Transfer-Encoding: ", indexed by value.
inline constexpr const char* kTransferEncodingNames[] = {"7bit", "Base64", "Quoted-Printable"};
inline constexpr std::int32_t kTransferEncodingCount = 3;

// The name of Value; raises ERangeError for a value outside the table.
const char* TransferEncodingName(TTransferEncoding value);

// The content type registered for Name's extension, or "application/octet-stream".
std::string ContentTypeForFile(std::string_view name);

// The transfer encoding that suits a content type: quoted-printable for plain,
// rich and HTML text, seven-bit for a whole message, base64 for the rest.
TTransferEncoding TransferEncodingForContentType(std::string_view contentType);

// Whether an attached file is part of the alternative group: its name (the
// directory aside) begins with "_alt.", in any case.
bool IsAlternativeName(std::string_view fileName);

class TmsAttItem : public TPersistent {
public:
    const char* ClassName() const override { return "TmsAttItem"; }

    TMemoryStream& Data() { return data_; }
    const TMemoryStream& Data() const { return data_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& ContentType() const { return contentType_; }
    TTransferEncoding TransferEncoding() const { return transferEncoding_; }

    // Stores Name (cut to 255); a non-empty Name also sets the content type
    // and transfer encoding from its extension. Data is not touched.
    void SetFileName(std::string_view name);
    void SetContentType(std::string_view value);
    void SetTransferEncoding(TTransferEncoding value) { transferEncoding_ = value; }
    // An image the HTML body shows: its Content-ID, without angle brackets.
    // Not streamed with the list.
    const std::string& ContentID() const { return contentId_; }
    void SetContentID(std::string_view value) { contentId_ = value; }

    // Copies the bytes too.
    void Assign(const TPersistent& source) override;

private:
    TMemoryStream data_;
    std::string fileName_;
    std::string contentType_;
    std::string contentId_;
    TTransferEncoding transferEncoding_ = te7Bit;
};

}  // namespace quillpost
