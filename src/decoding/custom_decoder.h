#pragma once
// Parsing of a received message text back into a message object: the header
// block, the MIME layouts found by boundary lines, base64, quoted-printable and
// uuencoded data, and the recovery that keeps an unparsable text whole as an
// attachment. The subclasses only differ in the fields they fill.
#include <memory>
#include <string>
#include <string_view>

#include "encoding/line_stream.h"
#include "encoding/quoted_printable.h"
#include "message/attachment_item.h"
#include "message/custom_message.h"
#include "message/headers.h"
#include "util/stream.h"

namespace quillpost {

// Notice lines written into the body before the received text is kept.
inline constexpr const char* kDecodeNoticeHead =
    "The following error has been occured while processing the message:";
inline constexpr const char* kDecodeNoticeTail =
    "The original message will be stored as an attachment";
inline constexpr const char* kOriginalFileName = "original.eml";
inline constexpr const char* kOriginalContentType = "message/rfc822";

class TmsCustomDecoder {
public:
    // Loads the whole of Stream, from its start. Set Message before Decode.
    explicit TmsCustomDecoder(TStream& stream);
    TmsCustomDecoder(const TmsCustomDecoder&) = delete;
    TmsCustomDecoder& operator=(const TmsCustomDecoder&) = delete;
    virtual ~TmsCustomDecoder();

    // Not owned.
    TmsCustomMessage* Message = nullptr;

    // Fills Message from the text. A parse failure ends normally, with a
    // notice in the body and the whole text kept as "original.eml"; other
    // failures are raised.
    void Decode();

    // Copies the fields of the message's own header block into Message.
    virtual void FillFields() = 0;

protected:
    TLineStream Lines;
    TmsHeaders MessageHeaders;
    TmsHeaders PartHeaders;
    std::string Boundary;
    // Lives only while one quoted-printable text is decoded.
    std::unique_ptr<TQuotedPrintable> Codec;
    bool InAlternative = false;
    std::string OuterBoundary;
    bool AllAlternative = false;

    // Clears List and reads header lines up to the empty line (consumed).
    // Returns false when the text ended inside the block.
    bool ReadHeaderBlock(TmsHeaders& list);
    // A part's header block must be followed by the part: one that runs to
    // the end of the text is a truncated message.
    void ReadPartHeaders();
    [[noreturn]] static void RaiseParserError(int number);
    void StoreOriginal(std::string_view text);

    void DecodeMime();
    void DecodeAlternativeMessage();
    void DecodeMultipart();
    void DecodeFirstPart();
    void DecodeParts();
    void DecodeAttachmentMessage();
    void DecodeTextMessage();
    void DecodePlainMessage();
    void DecodeUUBlocks(std::string line);

private:
    // How the data lines of one attachment are read.
    enum class DataKind { Base64, UUEncoded, QuotedPrintable, SevenBit };
    // The transfer encoding a part's Headers name: the item's encoding and the
    // way its data lines are read.
    struct TPartEncoding {
        DataKind kind;
        TTransferEncoding encoding;
    };
    static TPartEncoding PartEncodingOf(const TStrings& headers);
    // Reads data lines into Item until a line begins with Boundary (when
    // StopAtBoundary) or is "." (when StopAtPeriod), or the end; returns the
    // line that ended the data.
    std::string ReadAttachmentData(TmsAttItem& item, DataKind kind, bool stopAtBoundary,
                                   bool stopAtPeriod);
    // Quoted-printable Lines decoded into Stream through Codec.
    // OpenEnd: no line end follows the last line.
    void DecodeQuotedPrintable(StringVector& lines, TStream& stream, bool openEnd = false);
    // Body's lines decoded as quoted-printable, then split again.
    void DecodeBodyQuotedPrintable();
    void SetBodyText(std::string_view text);
    std::string NextAttachmentName(bool alternative) const;
    // An upper bound of the text not yet read.
    std::size_t TextLeft();
};

}  // namespace quillpost
