// The layout of a message with an HTML body: the text and the HTML as
// alternatives, the HTML's images beside it, the attachments after both.
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "encoding/custom_encoder.h"
#include "encoding/quoted_printable.h"
#include "util/file_name.h"
#include "util/stream.h"

namespace quillpost {
namespace {

// The HTML with every line break as CR LF and one at its end.
std::string HtmlLines(std::string_view html) {
    std::string lines;
    lines.reserve(html.size() + 2);
    for (std::size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < html.size() && html[i + 1] == '\n') ++i;
            lines += "\r\n";
        } else {
            lines += c;
        }
    }
    if (!lines.ends_with("\r\n")) lines += "\r\n";
    return lines;
}

// How a text part goes: as it is when its lines are short ASCII text without
// control characters but TAB, quoted-printable when that brings every byte
// back (no line beyond the paragraph it holds whole), else base64.
TTransferEncoding TextPartEncoding(std::string_view lines) {
    bool sevenBit = true;
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char c = lines[i];
        if (c == '\n') {
            start = i + 1;
            continue;
        }
        if (i - start + 4 >= kQPParagraphBufferSize) return teBase64;
        if (i - start >= kLongLine || static_cast<unsigned char>(c) >= 0x80 ||
            (IsAsciiControl(c) && c != '\t' && c != '\r'))
            sevenBit = false;
    }
    return sevenBit ? te7Bit : teQuotedPrintable;
}

// The body lines as one text, each ended by CR LF.
std::string JoinedLines(const TStrings& body) {
    std::string text;
    for (const std::string& line : body) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace

void TmsCustomEncoder::WriteHtmlMessage() {
    const TmsAttList& attachments = Message.Attachments();
    std::string outer;
    if (attachments.Count() > 0) {
        outer = FreshBoundary();
        WriteMultipartTop("multipart/mixed", outer);
        WriteLine("--" + outer);
    }
    const std::string alternative = FreshBoundary({outer});
    if (outer.empty()) {
        WriteMultipartTop("multipart/alternative", alternative);
    } else {
        WriteLine("Content-Type: multipart/alternative; boundary=\"" + alternative + "\"");
        WriteLine("");
    }
    WriteLine("--" + alternative);
    WriteTextAlternative("plain", JoinedLines(Message.Body()));
    WriteLine("");
    WriteLine("--" + alternative);
    WriteHtmlAlternative(alternative, outer);
    WriteLine("--" + alternative + "--");
    if (outer.empty()) return;
    for (TmsAttItem& item : attachments) {
        WriteLine("");
        WriteLine("--" + outer);
        WriteFilePart(item, false);
    }
    WriteLine("");
    WriteLine("--" + outer + "--");
}

void TmsCustomEncoder::WriteHtmlAlternative(const std::string& alternative,
                                            std::string_view outer) {
    if (Message.Related().Count() == 0) {
        WriteTextAlternative("html", HtmlLines(Message.HtmlBody()));
        WriteLine("");
        return;
    }
    const std::string related = FreshBoundary({outer, alternative});
    WriteLine("Content-Type: multipart/related; type=\"text/html\"; boundary=\"" + related + "\"");
    WriteLine("");
    WriteLine("--" + related);
    WriteTextAlternative("html", HtmlLines(Message.HtmlBody()));
    for (TmsAttItem& image : Message.Related()) {
        WriteLine("");
        WriteLine("--" + related);
        WriteFilePart(image, true);
    }
    WriteLine("");
    WriteLine("--" + related + "--");
    WriteLine("");
}

void TmsCustomEncoder::WriteTextAlternative(std::string_view subtype, std::string lines) {
    const TTransferEncoding encoding = TextPartEncoding(lines);
    // The ANSI bytes of the other character sets are named as ISO 8859-1, as
    // in the headers.
    const char* charset = Message.CharSet() == csUTF8 ? "utf-8"
                          : IsAscii(lines)            ? "us-ascii"
                                                      : "iso-8859-1";
    WriteLine("Content-Type: text/" + std::string(subtype) + "; charset=\"" + charset + '"');
    WriteLine(encoding == te7Bit              ? "Content-Transfer-Encoding: 7bit"
              : encoding == teQuotedPrintable ? "Content-Transfer-Encoding: quoted-printable"
                                              : "Content-Transfer-Encoding: base64");
    WriteLine("");
    TMemoryStream data;
    data.Assign(std::move(lines));
    if (encoding == te7Bit)
        WriteSevenBitData(data);
    else if (encoding == teQuotedPrintable)
        WriteQuotedPrintable(data, true);  // exact: the text comes back byte for byte
    else
        WriteBase64Data(data);
}

void TmsCustomEncoder::WriteFilePart(TmsAttItem& item, bool image) {
    PartEncoding part = EncodingOf(item);
    // Whatever its name says, an image is binary data.
    if (image) part.encoding = teBase64;
    WriteNamedPartHeaders(ExtractFileName(item.FileName()), part,
                          image ? std::string_view(item.ContentID()) : std::string_view{});
    WriteLine("");
    // The line end after the data is the next delimiter's.
    WriteAttachmentData(item, part.encoding);
}

}  // namespace quillpost
