// The HTML body and the images it shows.
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/char_class.h"
#include "encoding/html_text.h"
#include "mailer/mailer.h"
#include "message/address_syntax.h"
#include "message/message.h"
#include "platform/ansi_text.h"
#include "platform/file_access.h"
#include "util/errors.h"
#include "util/file_name.h"

namespace quillpost {
namespace {

constexpr std::int16_t kCharSetUtf8 = 3;
// Room enough for any generated ID, short enough for one header line.
constexpr std::size_t kMaxContentId = 200;

// The characters of a dot-atom but "%", which a cid: URL reads as an escape.
constexpr auto kContentIdCharacters = AlphanumericAnd("!#$&'*+-/=?^_`{|}~");

// Dot-atom text: words of those characters with single dots between them.
bool IsDotAtomText(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.') return false;
    if (text.find("..") != std::string_view::npos) return false;
    for (char c : text)
        if (c != '.' && !kContentIdCharacters[static_cast<unsigned char>(c)]) return false;
    return true;
}

// Whether ID can stand between the angle brackets of a Content-ID and after
// "cid:" as it is: a msg-id ("part1.logo@example.com") or its left side
// alone ("logo").
bool IsContentId(std::string_view id) {
    if (id.size() > kMaxContentId) return false;
    const std::size_t at = id.find('@');
    if (at == std::string_view::npos) return IsDotAtomText(id);
    return IsDotAtomText(id.substr(0, at)) && IsDotAtomText(id.substr(at + 1));
}

}  // namespace

bool TMailer::AddEmbeddedImage(std::string_view strFile, std::string_view strContentID) {
    std::string_view id = strContentID;
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    if (!IsContentId(id)) {
        response_ = "The Content-ID " + QuotedForMessage(strContentID) +
                    " is not valid: it takes letters, digits and !#$&'*+-/=?^_`{|}~, dots "
                    "between them and at most one @";
        return false;
    }
    for (const TEmbeddedImage& image : images_) {
        // Readers compare IDs without regard to case.
        if (SameTextIgnoringCase(image.contentId, id)) {
            response_ = "The Content-ID " + QuotedForMessage(id) + " is already used by " +
                        QuotedForMessage(image.file);
            return false;
        }
    }
    if (strFile.empty() || HasLineBreakOrNul(strFile) ||
        !platform::CanOpenFile(std::string(strFile),
                               platform::fmOpenRead | platform::fmShareDenyNone)) {
        response_ = "The image file " + QuotedForMessage(strFile) + " cannot be opened";
        return false;
    }
    images_.push_back({std::string(strFile), std::string(id)});
    return true;
}

void TMailer::BuildHtml(TmsMessage& message) const {
    if (htmlBody_.empty()) {
        if (!images_.empty())
            throw EMessageError("AddEmbeddedImage needs HTMLBody: the images are shown in it");
        return;
    }
    // The Encoding values other than 2 all uuencode: test what was set.
    if (message.Encoding() == meUU)
        throw EMessageError(
            "HTMLBody needs Encoding 2 (MIME): a uuencoded message has no place "
            "for it");
    for (const std::string& path : attachments_) {
        if (IsAlternativeName(path))
            throw EMessageError("HTMLBody and the attachment " +
                                QuotedForMessage(ExtractFileName(path)) +
                                " both give the HTML version; send one of them");
    }
    const std::string html = platform::TextToUtf8(htmlBody_);
    message.SetHtmlBody(charSet_ == kCharSetUtf8 ? html : HtmlInAscii(html));
    if (body_.empty()) BuildBodyFrom({HtmlToText(html)}, message.Body());
    for (const TEmbeddedImage& image : images_) {
        message.Related().AddFile(image.file);
        TmsAttItem& item = message.Related().Items(message.Related().Count() - 1);
        item.SetContentID(image.contentId);
        const std::string name = charSet_ == kCharSetUtf8 ? platform::TextToUtf8(item.FileName())
                                                          : platform::TextToAnsi(item.FileName());
        if (name != item.FileName()) item.SetFileName(name);
    }
}

}  // namespace quillpost
