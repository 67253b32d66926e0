// The layout of a message with an HTML body: the text and the HTML as
// alternatives, the HTML's images beside it, the attachments after both.
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "encoding/custom_encoder.h"
#include "encoding/header_words.h"
#include "util/file_name.h"
#include "util/stream.h"

namespace quillpost {
namespace {

constexpr std::size_t kLongHtmlLine = 256;

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

// Whether the lines of Html go as they are: short, ASCII and without
// control characters but TAB.
bool HtmlIsSevenBit(std::string_view lines) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char c = lines[i];
        if (c == '\n') {
            start = i + 1;
            continue;
        }
        if (i - start >= kLongHtmlLine || static_cast<unsigned char>(c) >= 0x80) return false;
        if (IsAsciiControl(c) && c != '\t' && c != '\r') return false;
    }
    return true;
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
    WriteTextPartHeaders("text/plain");
    WriteLine("");
    WriteBody();
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
        WriteHtmlPart();
        WriteLine("");
        return;
    }
    const std::string related = FreshBoundary({outer, alternative});
    WriteLine("Content-Type: multipart/related; type=\"text/html\"; boundary=\"" + related + "\"");
    WriteLine("");
    WriteLine("--" + related);
    WriteHtmlPart();
    for (TmsAttItem& image : Message.Related()) {
        WriteLine("");
        WriteLine("--" + related);
        WriteFilePart(image, true);
    }
    WriteLine("");
    WriteLine("--" + related + "--");
    WriteLine("");
}

void TmsCustomEncoder::WriteHtmlPart() {
    std::string lines = HtmlLines(Message.HtmlBody());
    const bool sevenBit = HtmlIsSevenBit(lines) && Message.CharSet() != csISO8859;
    const TCharSet charSet = Message.CharSet();
    WriteLine(std::string("Content-Type: text/html; charset=\"") +
              (charSet == csUTF8      ? "utf-8"
               : charSet == csISO8859 ? "iso-8859-1"
                                      : "us-ascii") +
              '"');
    WriteLine(sevenBit ? "Content-Transfer-Encoding: 7bit"
                       : "Content-Transfer-Encoding: quoted-printable");
    WriteLine("");
    if (sevenBit) {
        lines.resize(lines.size() - 2);
        WriteLine(lines);
        return;
    }
    TMemoryStream source;
    source.Assign(std::move(lines));
    // Exact: the page comes back byte for byte, line ends as CR LF.
    WriteQuotedPrintable(source, true);
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
