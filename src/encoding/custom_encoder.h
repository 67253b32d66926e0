#pragma once
// Composes one message object into the exact text sent after DATA: the
// header block, then one of five body layouts (a single text part, a MIME
// multipart with an optional nested alternative group, a message that is one
// attachment, plain text followed by uuencoded files, or text and HTML
// alternatives with the HTML's images and the attachments). Every line passes
// through WriteLine, which doubles a leading period, so the SMTP client can
// send the stream as it is.
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "message/address_list.h"
#include "message/attachment_item.h"
#include "message/custom_message.h"
#include "util/stream.h"

namespace quillpost {

// A text line this long or longer sends its part quoted-printable.
inline constexpr std::size_t kLongLine = 256;

class TmsCustomEncoder {
public:
    // Sets LongLines from the body; the creator then assigns Stream.
    explicit TmsCustomEncoder(TmsCustomMessage& message);
    TmsCustomEncoder(const TmsCustomEncoder&) = delete;
    TmsCustomEncoder& operator=(const TmsCustomEncoder&) = delete;
    virtual ~TmsCustomEncoder() = default;

    // Writes the whole message to Stream from position 0; the stream is left
    // at the end of what was written. Whatever was written before a failure
    // stays in the stream.
    void Encode();

    // The class's own header lines.
    virtual void WriteHeaders() = 0;

    // One line and CR LF, with one more "." in front of a line that begins
    // with "."; a text holding CR or LF is written as one line per piece
    // (CR LF, a lone CR and a lone LF each end a piece).
    void WriteLine(std::string_view text);

    TmsCustomMessage& Message;
    TStream* Stream = nullptr;
    // Some body line has kLongLine or more characters: the body goes out as
    // quoted-printable.
    bool LongLines = false;
    // Some body line holds a byte outside ASCII.
    bool EightBit = false;

    // Bytes gathered before one write to Stream.
    static constexpr std::size_t kWriteBufferSize = 64 * 1024;

protected:
    // "Name:" padded to ten characters, then one address per line, commas
    // between them. Nothing for an empty list.
    void WriteAddressList(std::string_view name, const TmsAddressList& list);
    // Deletes from the message's header list the first line of each name the
    // encoder writes itself.
    void RemoveReservedHeaders();
    // "Name <address>" with the name quoted where it needs it.
    static std::string AddressText(const TmsMailAddress& address);
    // Prefix, the address and After as one header text; in a UTF-8 message a
    // name that is not ASCII goes as encoded words, folded.
    std::string AddressLine(std::string_view prefix, const TmsMailAddress& address,
                            std::string_view after) const;
    // A header line of the caller's; in a UTF-8 message what is not ASCII
    // after the name goes as encoded words, folded. No line of it passes 998
    // octets (FitHeaderLine).
    void WriteHeaderLine(std::string_view line);
    // The charset that encoded words and extended parameters name.
    std::string_view HeaderCharset() const;

private:
    // The body lines: quoted-printable for ISO-8859-1, long lines or UTF-8
    // text that is not ASCII, otherwise as they are.
    void WriteBody();
    // The Content-Type and Content-Transfer-Encoding lines of a text part.
    void WriteTextPartHeaders(std::string_view contentType);
    void WriteTextMessage(const std::string& contentType);
    void WriteMultipartMessage(const std::string& contentType, bool alternative);
    // A boundary, none of Avoid, whose delimiter no body line or file holds.
    std::string FreshBoundary(std::initializer_list<std::string_view> avoid = {}) const;
    // The Content-Type of a multipart message and what follows it up to the
    // first delimiter.
    void WriteMultipartTop(std::string_view contentType, std::string_view boundary);
    // The text with an HTML alternative: multipart/alternative, the HTML in
    // multipart/related with its images, all inside multipart/mixed when
    // there are attachments.
    void WriteHtmlMessage();
    // The HTML alternative, with the images it shows when there are any.
    void WriteHtmlAlternative(const std::string& alternative, std::string_view outer);
    // The text or HTML alternative: Lines (each ended by CR LF) in the
    // message's character set, in the encoding that brings them back.
    void WriteTextAlternative(std::string_view subtype, std::string lines);
    // One file as a part: its headers and data. An image carries its
    // Content-ID.
    void WriteFilePart(TmsAttItem& item, bool image);
    void WriteAttachmentMessage();
    void WriteUUMessage();
    // How a file goes out: its own encoding and type, except that data the
    // encoding would not bring back byte for byte goes another way: seven-bit
    // data quoted-printable, and what quoted-printable cannot carry as text
    // (binary bytes, a line beyond its paragraph) base64.
    struct PartEncoding {
        TTransferEncoding encoding;
        std::string contentType;
    };
    static PartEncoding EncodingOf(TmsAttItem& item);
    void WriteAttachmentData(TmsAttItem& item, TTransferEncoding encoding);
    // The empty line after a file's data; when another empty line comes
    // before the next boundary, one that no reader takes as data.
    void WriteDataEnd(TTransferEncoding encoding, bool twoEmptyLines);
    void WriteBase64Data(TMemoryStream& data);
    void WriteQuotedPrintableData(TMemoryStream& data);
    // The whole of Source, from position 0, as quoted-printable lines; Exact
    // for a file's data, which must come back byte for byte.
    void WriteQuotedPrintable(TStream& source, bool exact = false);
    void WriteSevenBitData(TMemoryStream& data);
    // The Content-Type, Content-Transfer-Encoding and Content-Disposition
    // lines of an attachment that goes with its name.
    // With a ContentID, as an image shown in the HTML body.
    void WriteNamedPartHeaders(std::string_view fileName, const PartEncoding& part,
                               std::string_view contentId = {});

    // A line known to hold no CR or LF.
    void WriteSingleLine(std::string_view text);
    // Room for Count (at most kWriteBufferSize) more bytes in the write
    // buffer; Commit then takes what was put there.
    char* Room(std::size_t count);
    void Commit(std::size_t count) { used_ += count; }
    void Flush();

    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

}  // namespace quillpost
