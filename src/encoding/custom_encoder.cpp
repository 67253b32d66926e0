#include "encoding/custom_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "base/ascii.h"
#include "base/utf8.h"
#include "encoding/base64.h"
#include "encoding/boundary.h"
#include "encoding/header_words.h"
#include "encoding/quoted_printable.h"
#include "encoding/uucode.h"
#include "message/address_syntax.h"
#include "platform/message_pump.h"
#include "util/file_name.h"
#include "util/message_table.h"
#include "util/string_vector.h"

namespace quillpost {
namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::size_t kAddressIndent = 10;

// Base64 input per buffer fill: whole lines whose output fits the buffer.
constexpr std::size_t kBase64Chunk =
    TmsCustomEncoder::kWriteBufferSize / Base64LineEncoder::kLineSize * kBase64LineBytes;

// The header names the encoder writes itself, removed from the caller's list
// first so that none appears twice.
constexpr const char* kReservedHeaders[] = {
    "From",
    "To",
    "CC",
    "BCC",
    "Return-Receipt-To",
    "X-Priority",
    "Subject",
    "Mime-Version",
    "Content-Type",
    "X-Encoding",
    "Content-Transfer-Encoding",
};

// Text as one quoted string: a quote or backslash inside is escaped.
std::string QuotedString(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// A display name that holds a character with a meaning of its own in an
// address ("." as in J. Smith, but also "," or ":", which would otherwise
// split it into two addresses or a group) is quoted. One with a double quote
// is taken as quoted by the caller when it reads as one phrase; otherwise it
// is quoted whole, so no part of it can become an address of its own.
std::string DisplayName(std::string_view name) {
    if (name.find('"') != std::string_view::npos)
        return IsPhrase(name, true) ? std::string(name) : QuotedString(name);
    if (name.find_first_of(".,;:@<>()[]\\") == std::string_view::npos) return std::string(name);
    return QuotedString(name);
}

// A control character has no escape in a quoted parameter: a name with one
// goes in the extended form.
bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsAsciiControl);
}

// The body as one text, each line followed by CR LF, read without copying it.
class BodyTextStream : public TStream {
public:
    explicit BodyTextStream(const StringVector& lines) : lines_(lines) {
        for (const std::string& line : lines_) size_ += static_cast<std::int64_t>(line.size() + 2);
    }

    std::size_t Read(void* buffer, std::size_t count) override {
        auto* out = static_cast<char*>(buffer);
        std::size_t done = 0;
        while (done < count && line_ < lines_.size()) {
            const std::string& line = lines_[line_];
            const std::size_t length = line.size() + 2;
            const std::size_t take = std::min(count - done, length - offset_);
            for (std::size_t k = 0; k < take; ++k) {
                const std::size_t at = offset_ + k;
                out[done + k] = at < line.size() ? line[at] : kCRLF[at - line.size()];
            }
            done += take;
            offset_ += take;
            if (offset_ == length) {
                ++line_;
                offset_ = 0;
            }
        }
        pos_ += static_cast<std::int64_t>(done);
        return done;
    }

    std::size_t Write(const void*, std::size_t) override { return 0; }

    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
        std::int64_t target = origin == SeekOrigin::Begin     ? offset
                              : origin == SeekOrigin::Current ? pos_ + offset
                                                              : size_ + offset;
        target = std::clamp<std::int64_t>(target, 0, size_);
        if (target < pos_) {
            line_ = 0;
            offset_ = 0;
            pos_ = 0;
        }
        while (pos_ < target) {
            const std::size_t length = lines_[line_].size() + 2;
            const auto step =
                std::min<std::int64_t>(target - pos_, static_cast<std::int64_t>(length - offset_));
            offset_ += static_cast<std::size_t>(step);
            pos_ += step;
            if (offset_ == length) {
                ++line_;
                offset_ = 0;
            }
        }
        return pos_;
    }

    std::int64_t Size() override { return size_; }

private:
    const StringVector& lines_;
    std::int64_t size_ = 0;
    std::int64_t pos_ = 0;
    std::size_t line_ = 0;
    std::size_t offset_ = 0;
};

// Control bytes that no text file holds (TAB, LF, VT, FF, CR and ESC do);
// SUB also ends a line for the quoted-printable reader.
constexpr std::array<bool, 256> kBinaryByte = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 32; ++c) table[static_cast<std::size_t>(c)] = true;
    for (int c : {9, 10, 11, 12, 13, 27}) table[static_cast<std::size_t>(c)] = false;
    return table;
}();

// Whether Bytes travel as seven-bit lines and come back as they were: CR LF
// breaks only, a CR LF at the end (or nothing at all), no NUL (the writer
// ends the text there) and no line over the 998 octets SMTP and RFC 5322
// allow.
bool SevenBitCarries(const std::string& bytes) {
    if (!bytes.empty() && !bytes.ends_with(kCRLF)) return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\0') return false;
        if (c == '\n') return false;  // an LF after its CR is passed over below
        if (c != '\r') continue;
        if (i + 1 == bytes.size() || bytes[i + 1] != '\n' || i - start > kMaxLine) return false;
        start = ++i + 1;
    }
    return true;
}

// Whether Bytes begin as a message does, so that a reader of a message part
// takes them whole: header fields, each "Name:" or a folded line of the one
// before, up to an empty line or the end.
bool StartsWithHeaderBlock(std::string_view bytes) {
    bool first = true;
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::size_t end = bytes.find(kCRLF, pos);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(pos, end - pos);
        if (line.empty()) break;
        if (line[0] == ' ' || line[0] == '\t') {
            if (first) return false;
        } else if (!IsHeaderLine(line)) {
            return false;
        }
        first = false;
        pos = end + kCRLF.size();
    }
    return !first;
}

// Whether quoted-printable gives a reader Bytes back as text: no byte that
// marks binary data, and no line longer than the paragraph that the encoder
// and the decoder each hold whole.
bool QuotedPrintableCarries(const std::string& bytes) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (kBinaryByte[static_cast<unsigned char>(bytes[i])] ||
            i - start + 4 >= kQPParagraphBufferSize)
            return false;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') start = ++i + 1;
    }
    return true;
}

}  // namespace

TmsCustomEncoder::PartEncoding TmsCustomEncoder::EncodingOf(TmsAttItem& item) {
    PartEncoding part{item.TransferEncoding(), item.ContentType()};
    const std::string& bytes = item.Data().Bytes();
    if (part.encoding == te7Bit) {
        const bool message = StartsWithIgnoringCase(part.contentType, "message/");
        if (SevenBitCarries(bytes) && (!message || StartsWithHeaderBlock(bytes))) return part;
        // MIME lets a message or multipart type carry no other encoding, so
        // those go as plain data.
        part.encoding = teQuotedPrintable;
        if (message || StartsWithIgnoringCase(part.contentType, "multipart/"))
            part.contentType = "application/octet-stream";
    }
    if (part.encoding == teQuotedPrintable && !QuotedPrintableCarries(bytes))
        part.encoding = teBase64;
    return part;
}

TmsCustomEncoder::TmsCustomEncoder(TmsCustomMessage& message) : Message(message) {
    for (const std::string& line : Message.Body()) {
        if (line.size() >= kLongLine) LongLines = true;
        if (!EightBit && !IsAscii(line)) EightBit = true;
    }
}

void TmsCustomEncoder::Encode() {
    buffer_ = std::make_unique<char[]>(kWriteBufferSize);
    used_ = 0;
    Stream->SetPosition(0);
    try {
        WriteHeaders();
        if (Message.Encoding() == meUU) {
            WriteUUMessage();
        } else if (!Message.HtmlBody().empty()) {
            WriteHtmlMessage();
        } else {
            const std::string contentType = Message.ContentType();
            if (contentType == "multipart/mixed") {
                WriteMultipartMessage(contentType, false);
            } else if (contentType != "text/plain" && contentType != "text/html" &&
                       Message.DetermineContentType()) {
                if (contentType == "multipart/alternative")
                    WriteMultipartMessage(contentType, true);
                else
                    WriteAttachmentMessage();
            } else if (Message.Attachments().Count() == 0) {
                WriteTextMessage(contentType);
            } else {
                WriteAttachmentMessage();
            }
        }
    } catch (...) {
        // What was composed before the failure reaches the stream, as if
        // every line had been written on its own; the first error wins.
        try {
            Flush();
        } catch (...) {
        }
        throw;
    }
    Flush();
    buffer_.reset();
}

char* TmsCustomEncoder::Room(std::size_t count) {
    if (used_ + count > kWriteBufferSize) Flush();
    return buffer_.get() + used_;
}

void TmsCustomEncoder::Flush() {
    const std::size_t count = used_;
    used_ = 0;
    // A short write fails the composition: a part cut off must not go out.
    Stream->WriteBuffer(buffer_.get(), count);
}

void TmsCustomEncoder::WriteSingleLine(std::string_view text) {
    const bool dot = !text.empty() && text.front() == '.';
    const std::size_t total = text.size() + (dot ? 1 : 0) + kCRLF.size();
    if (total > kWriteBufferSize) {
        Flush();
        if (dot) Stream->WriteBuffer(".", 1);
        Stream->WriteBuffer(text.data(), text.size());
        Stream->WriteBuffer(kCRLF.data(), kCRLF.size());
        return;
    }
    char* out = Room(total);
    if (dot) *out++ = '.';
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\r';
    out[text.size() + 1] = '\n';
    Commit(total);
}

void TmsCustomEncoder::WriteLine(std::string_view text) {
    // A text with its own line breaks (a model filled directly) is written as
    // one line per piece, so no lone CR or LF reaches the text and every piece
    // gets the period rule.
    std::size_t start = 0;
    while (true) {
        const std::size_t stop = text.find_first_of(kCRLF, start);
        if (stop == std::string_view::npos) {
            WriteSingleLine(text.substr(start));
            return;
        }
        WriteSingleLine(text.substr(start, stop - start));
        start = stop + 1;
        if (text[stop] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

std::string TmsCustomEncoder::AddressText(const TmsMailAddress& address) {
    return DisplayName(address.Name()) + " <" + address.Address() + ">";
}

std::string TmsCustomEncoder::AddressLine(std::string_view prefix, const TmsMailAddress& address,
                                          std::string_view after) const {
    if (Message.CharSet() != csUTF8 || IsAscii(address.Name()))
        return std::string(prefix) + AddressText(address) + std::string(after);
    return WriteHeaderWords(prefix, address.Name(), THeaderText::Phrase,
                            " <" + address.Address() + ">" + std::string(after));
}

std::string_view TmsCustomEncoder::HeaderCharset() const {
    // ISO 8859-1 names the ANSI bytes of the other character sets closely
    // enough, and ASCII exactly.
    return Message.CharSet() == csUTF8 ? "utf-8" : "iso-8859-1";
}

void TmsCustomEncoder::WriteHeaderLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (Message.CharSet() != csUTF8 || IsAscii(line) || colon == std::string_view::npos) {
        WriteLine(FitHeaderLine(line, HeaderCharset()));
        return;
    }
    WriteLine(FitHeaderLine(
        WriteHeaderWords(line.substr(0, colon + 1), line.substr(colon + 1), THeaderText::Mixed),
        HeaderCharset()));
}

void TmsCustomEncoder::WriteAddressList(std::string_view name, const TmsAddressList& list) {
    const std::int32_t count = list.Count();
    if (count == 0) return;
    std::string label(name);
    if (label.empty() || label.back() != ':') label += ':';
    if (label.size() < kAddressIndent) label.resize(kAddressIndent, ' ');
    for (std::int32_t i = 0; i < count; ++i) {
        // The first line is not cut to a short text: that would cut into an
        // address.
        WriteLine(AddressLine(i == 0 ? label : std::string(kAddressIndent, ' '), list.Items(i),
                              i + 1 < count ? "," : ""));
    }
}

void TmsCustomEncoder::RemoveReservedHeaders() {
    for (const char* name : kReservedHeaders) RemoveHeader(Message.Headers(), name);
}

void TmsCustomEncoder::WriteBody() {
    const StringVector& body = Message.Body().Lines();
    if (Message.CharSet() == csISO8859 || LongLines || (Message.CharSet() == csUTF8 && EightBit)) {
        BodyTextStream source(body);
        WriteQuotedPrintable(source);
    } else {
        for (const std::string& line : body) WriteLine(line);
    }
}

void TmsCustomEncoder::WriteTextPartHeaders(std::string_view contentType) {
    // Not cut to a short text: a long stored type would lose the charset.
    std::string line = "Content-Type: ";
    line += contentType;
    if (Message.CharSet() == csISO8859) {
        line += "; charset=\"iso-8859-1\"";
        WriteLine(FitHeaderLine(line, HeaderCharset()));
        WriteLine("Content-Transfer-Encoding: quoted-printable");
    } else if (Message.CharSet() == csUTF8) {
        line += "; charset=\"utf-8\"";
        WriteLine(FitHeaderLine(line, HeaderCharset()));
        WriteLine(LongLines || EightBit ? "Content-Transfer-Encoding: quoted-printable"
                                        : "Content-Transfer-Encoding: 7bit");
    } else {
        line += "; charset=\"us-ascii\"";
        WriteLine(FitHeaderLine(line, HeaderCharset()));
        WriteLine(LongLines ? "Content-Transfer-Encoding: quoted-printable"
                            : "Content-Transfer-Encoding: 7bit");
    }
}

void TmsCustomEncoder::WriteTextMessage(const std::string& contentType) {
    WriteTextPartHeaders(contentType);
    WriteLine("");
    WriteBody();
}

std::string TmsCustomEncoder::FreshBoundary(std::initializer_list<std::string_view> avoid) const {
    // A file or text that holds the delimiter would end its part early.
    return MakeBoundary([&](std::string_view boundary) {
        if (std::ranges::find(avoid, boundary) != avoid.end()) return true;
        const std::string delimiter = "--" + std::string(boundary);
        auto holds = [&](std::string_view text) {
            return text.find(delimiter) != std::string_view::npos;
        };
        for (const std::string& line : Message.Body())
            if (holds(line)) return true;
        // Base64 holds no "-": the images and base64 files need no search.
        if (holds(Message.HtmlBody())) return true;
        for (TmsAttItem& item : Message.Attachments())
            if (item.TransferEncoding() != teBase64 && holds(item.Data().Bytes())) return true;
        return false;
    });
}

void TmsCustomEncoder::WriteMultipartMessage(const std::string& contentType, bool alternative) {
    std::string boundary = FreshBoundary();
    WriteMultipartTop(contentType, boundary);
    WriteLine("--" + boundary);

    const TmsAttList& attachments = Message.Attachments();
    // Raises the list's index error for a multipart message without files.
    bool nested = IsAlternativeName(attachments.Items(0).FileName());
    // A mixed message that starts with "_alt." files holds the text and those
    // files as an alternative group, its first part.
    bool group = nested && !alternative;
    std::string outer;
    if (group) {
        outer = boundary;
        boundary = FreshBoundary({outer});
        WriteLine("Content-Type:  multipart/alternative; boundary=\"" + boundary + "\"");
        WriteLine("Content-Transfer-Encoding: 7bit");
        WriteLine("");
        WriteLine("--" + boundary);
    }

    if (!Message.Body().Empty()) {
        WriteTextPartHeaders("text/plain");
        WriteLine("");
        WriteBody();
        WriteLine("");
        WriteLine("--" + boundary);
    }

    const std::int32_t count = attachments.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        TmsAttItem& item = attachments.Items(i);
        const std::string_view fileName = ExtractFileName(item.FileName());
        if (i > 0) {
            WriteLine("");
            WriteLine("--" + boundary);
        }
        const bool named = !alternative && !nested;
        const PartEncoding part = EncodingOf(item);
        if (named) {
            WriteNamedPartHeaders(fileName, part);
        } else {
            // An alternative text of a UTF-8 message says so when its file is
            // UTF-8 text.
            const bool utf8 = Message.CharSet() == csUTF8 &&
                              part.contentType.starts_with("text/") &&
                              !IsAscii(item.Data().Bytes()) && IsUtf8(item.Data().Bytes());
            WriteLine("Content-Type: " + part.contentType + (utf8 ? "; charset=\"utf-8\"" : ""));
            WriteLine(std::string("Content-Transfer-Encoding: ") +
                      TransferEncodingName(part.encoding));
        }
        WriteLine("");
        WriteAttachmentData(item, part.encoding);
        const bool closesGroup =
            group && i + 1 < count && !IsAlternativeName(attachments.Items(i + 1).FileName());
        WriteDataEnd(part.encoding, i + 1 < count && !closesGroup);
        if (i + 1 == count) {
            WriteLine("--" + boundary + "--");
            // A group that runs to the last file (only when the caller set
            // the type) closes the enclosing message too.
            if (group) {
                WriteLine("");
                WriteLine("--" + outer + "--");
            }
        } else if (closesGroup) {
            nested = false;
            group = false;
            WriteLine("--" + boundary + "--");
            boundary = outer;
        }
    }
}

void TmsCustomEncoder::WriteMultipartTop(std::string_view contentType, std::string_view boundary) {
    WriteLine("Content-Type: " + std::string(contentType) + "; boundary=\"" +
              std::string(boundary) + "\"");
    WriteLine("X-Encoding: MIME");
    WriteLine("");
    WriteLine(LoadMessage(msgMultipartPreamble));
    WriteLine("");
}

void TmsCustomEncoder::WriteDataEnd(TTransferEncoding encoding, bool twoEmptyLines) {
    // The line end before a boundary is the boundary's; a reader takes any
    // empty line before that as data. Base64 readers skip it.
    if (!twoEmptyLines || encoding == teBase64) {
        WriteLine("");
    } else if (encoding == teQuotedPrintable) {
        // A soft break that decodes to nothing.
        WriteLine("=");
    }
    // Seven-bit data ends with its own line end and has no soft break.
}

void TmsCustomEncoder::WriteAttachmentMessage() {
    TmsAttItem& item = Message.Attachments().Items(0);
    const PartEncoding part = EncodingOf(item);
    WriteNamedPartHeaders(ExtractFileName(item.FileName()), part);
    WriteLine("");
    WriteAttachmentData(item, part.encoding);
}

void TmsCustomEncoder::WriteNamedPartHeaders(std::string_view fileName, const PartEncoding& part,
                                             std::string_view contentId) {
    std::string encoding =
        std::string("Content-Transfer-Encoding: ") + TransferEncodingName(part.encoding);
    // An image of the HTML body is shown in it, under its Content-ID.
    if (!contentId.empty()) encoding += "\r\nContent-ID: <" + std::string(contentId) + '>';
    const std::string disposition =
        contentId.empty() ? "Content-Disposition: attachment;" : "Content-Disposition: inline;";
    const bool utf8 = Message.CharSet() == csUTF8 && !IsAscii(fileName);
    if (!utf8 && !HasControl(fileName)) {
        const std::string quoted = QuotedString(fileName);
        WriteLine("Content-Type: " + part.contentType + "; name=" + quoted);
        WriteLine(encoding);
        WriteLine(disposition + " filename=" + quoted);
        return;
    }
    // A UTF-8 name, or one with a control character, goes in the parameters'
    // extended form, then a plain ASCII one for readers that know only that:
    // readers take the first they know.
    const std::string_view charset = HeaderCharset();
    const std::string plain = AsciiFallbackName(fileName);
    WriteLine("Content-Type: " + part.contentType + ";" +
              WriteExtendedParam("name", fileName, charset) + ";\r\n\tname=\"" + plain + '"');
    WriteLine(encoding);
    WriteLine(disposition + WriteExtendedParam("filename", fileName, charset) +
              ";\r\n\tfilename=\"" + plain + '"');
}

void TmsCustomEncoder::WriteUUMessage() {
    WriteLine("");
    for (const std::string& line : Message.Body()) WriteLine(line);
    for (TmsAttItem& item : Message.Attachments()) {
        WriteLine("");
        WriteLine("begin 600 " + std::string(ExtractFileName(item.FileName())));
        TMemoryStream& data = item.Data();
        const std::string& bytes = data.Bytes();
        // A length that is a multiple of 45 (none included) ends with the
        // line of an empty chunk.
        for (std::size_t pos = 0;;) {
            const std::size_t take = std::min(kUULineBytes, bytes.size() - pos);
            WriteLine(EncodeUULine(std::string_view(bytes).substr(pos, take)));
            pos += take;
            if (take < kUULineBytes) break;
        }
        data.SetPosition(data.Size());
        WriteLine("`");
        WriteLine("end");
    }
}

void TmsCustomEncoder::WriteAttachmentData(TmsAttItem& item, TTransferEncoding encoding) {
    switch (encoding) {
        case teBase64:
            WriteBase64Data(item.Data());
            break;
        case teQuotedPrintable:
            WriteQuotedPrintableData(item.Data());
            break;
        case te7Bit:
            WriteSevenBitData(item.Data());
            break;
    }
}

void TmsCustomEncoder::WriteBase64Data(TMemoryStream& data) {
    // Whole lines straight into the write buffer. No base64 line can begin
    // with "." or hold a line break, so the period rule has nothing to do.
    const std::string& bytes = data.Bytes();
    Base64LineEncoder encoder;
    for (std::size_t pos = 0; pos < bytes.size(); pos += kBase64Chunk) {
        const std::size_t take = std::min(kBase64Chunk, bytes.size() - pos);
        char* out = Room(Base64LineEncoder::StepMaxOutput(take));
        Commit(encoder.Step(bytes.data() + pos, take, out));
    }
    // The last, shorter line; empty when the length is a multiple of 57.
    char* out = Room(Base64LineEncoder::kFinishMaxOutput);
    Commit(encoder.Finish(out));
    data.SetPosition(data.Size());
}

void TmsCustomEncoder::WriteQuotedPrintableData(TMemoryStream& data) {
    WriteQuotedPrintable(data, true);
}

void TmsCustomEncoder::WriteQuotedPrintable(TStream& source, bool exact) {
    // The encoded lines go straight into the write buffer, or are copied
    // there from a scratch buffer when a step's worst case does not fit; the pump
    // turns per 64 KiB read, as for the line list.
    QuotedPrintableLineEncoder encoder;
    encoder.DoublePeriods = true;
    encoder.Exact = exact;
    // Neither buffer is read before it is written: no need to clear them.
    const auto chunk = std::make_unique_for_overwrite<char[]>(kQPPumpInterval);
    std::unique_ptr<char[]> scratch;
    auto write = [&](auto&& step, std::size_t bound) {
        if (bound <= kWriteBufferSize) {
            char* out = Room(bound);
            Commit(step(out));
            return;
        }
        if (!scratch)
            scratch = std::make_unique_for_overwrite<char[]>(
                QuotedPrintableLineEncoder::StepMaxOutput(kQPPumpInterval));
        const std::size_t n = step(scratch.get());
        // Through the write buffer, so no write to Stream exceeds it.
        for (std::size_t pos = 0; pos < n; pos += kWriteBufferSize) {
            const std::size_t take = std::min(kWriteBufferSize, n - pos);
            std::memcpy(Room(take), scratch.get() + pos, take);
            Commit(take);
        }
    };
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    std::int64_t consumed = 0;
    std::size_t sincePump = 0;
    while (consumed < size) {
        const std::size_t got = source.Read(chunk.get(), kQPPumpInterval);
        if (got == 0) break;
        write([&](char* out) { return encoder.Step(chunk.get(), got, out); },
              encoder.MaxOutput(got));
        consumed += static_cast<std::int64_t>(got);
        sincePump += got;
        if (sincePump >= kQPPumpInterval) {
            sincePump = 0;
            platform::ProcessPendingMessages();
        }
    }
    write([&](char* out) { return encoder.Finish(out); }, encoder.MaxOutput(0));
}

void TmsCustomEncoder::WriteSevenBitData(TMemoryStream& data) {
    const std::string& bytes = data.Bytes();
    // The text ends at a NUL byte.
    const std::size_t end = std::min(bytes.find('\0'), bytes.size());
    const char* s = bytes.data();
    std::size_t i = 0;
    while (i < end) {
        std::size_t j = i;
        while (j < end && s[j] != '\r' && s[j] != '\n') ++j;
        WriteSingleLine(std::string_view(s + i, j - i));
        if (j < end && s[j] == '\r') ++j;
        if (j < end && s[j] == '\n') ++j;
        i = j;
    }
    data.SetPosition(data.Size());
}

}  // namespace quillpost
