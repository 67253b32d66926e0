#include "decoding/custom_decoder.h"

#include <algorithm>
#include <new>
#include <utility>

#include "base/ascii.h"
#include "encoding/base64.h"
#include "encoding/uucode.h"
#include "platform/message_pump.h"
#include "util/errors.h"
#include "util/message_table.h"
#include "util/short_string.h"

namespace quillpost {
namespace {

bool BeginsWith(std::string_view text, std::string_view prefix) {
    // The first byte settles nearly every data line without a call.
    return text.size() >= prefix.size() && (prefix.empty() || text[0] == prefix[0]) &&
           text.compare(0, prefix.size(), prefix) == 0;
}

std::string_view Cut(std::string_view text) { return text.substr(0, kShortStringMax); }

// The file name a part's Content-Disposition gives.
std::string DispositionFileName(const TStrings& headers) {
    return GetParamValue("filename", GetHeaderValue(headers, "Content-Disposition"));
}

// Appends the bytes of base64 lines to one buffer that grows geometrically,
// so a large attachment costs linear work. A line whose length is not a
// multiple of four carries its last characters over to the next one: data
// broken at any position decodes as the one text it is.
class Base64Appender {
public:
    explicit Base64Appender(std::string& out) : out_(out) {}

    void Add(std::string_view line) {
        if (!carry_.empty()) {
            const std::size_t take = std::min(line.size(), 4 - carry_.size());
            carry_.append(line.substr(0, take));
            line.remove_prefix(take);
            if (carry_.size() < 4) return;
            DecodeGroups(carry_);
            carry_.clear();
        }
        const std::size_t whole = line.size() / 4 * 4;
        if (whole != 0) DecodeGroups(line.substr(0, whole));
        carry_.assign(line.substr(whole));
    }

    // Room for the bytes that the rest of the text could hold at most, so
    // the buffer is not copied as it grows. The guess is not free: it takes
    // address space (and on Windows commit charge) up front, hence the cap;
    // Finish gives back what a small attachment did not use. Beyond the cap
    // the buffer grows geometrically again, and a guess that the system
    // refuses is no failure.
    void Reserve(std::size_t textLeft) {
        constexpr std::size_t kLimit = std::size_t{256} << 20;
        try {
            out_.reserve(out_.size() + std::min(textLeft / 4 * 3 + 3, kLimit));
        } catch (const std::bad_alloc&) {
        }
    }

    void Finish() {
        if (!carry_.empty()) DecodeGroups(carry_);
        carry_.clear();
        if (out_.capacity() > 2 * out_.size() + 65536) out_.shrink_to_fit();
    }

private:
    void DecodeGroups(std::string_view text) {
        const std::size_t at = out_.size();
        out_.resize(at + Base64DecodedMaxSize(text.size()));
        out_.resize(at + DecodeBase64Block(text, out_.data() + at));
    }

    std::string& out_;
    std::string carry_;
};

// A codec failure inside body text is a fault of the received text, not of
// the system: it ends like every other parse error, with the text kept.
template <typename F>
void AsParseError(F&& work) {
    try {
        work();
    } catch (const EMessageParserError&) {
        throw;
    } catch (const EQuillpostError& e) {
        throw EMessageParserError(e.what());
    }
}

// A text part whose charset parameter names UTF-8: the message reads back as
// a UTF-8 one.
bool IsUtf8CharSet(std::string_view contentType) {
    const std::string charset = AsciiLowerText(GetParamValue("charset", contentType));
    return charset == "utf-8" || charset == "utf8";
}

}  // namespace

TmsCustomDecoder::TmsCustomDecoder(TStream& stream) { Lines.LoadFromStream(stream); }

TmsCustomDecoder::~TmsCustomDecoder() = default;

void TmsCustomDecoder::Decode() {
    // A message whose header block runs to the end has no body, which is
    // allowed; only part header blocks must be followed by their part.
    ReadHeaderBlock(MessageHeaders);
    FillFields();
    try {
        if (GetHeaderValue(MessageHeaders, "MIME-VERSION") == "1.0")
            DecodeMime();
        else
            DecodePlainMessage();
    } catch (const EMessageParserError& e) {
        StoreOriginal(e.what());
    }
}

bool TmsCustomDecoder::ReadHeaderBlock(TmsHeaders& list) {
    list.Clear();
    std::string line;
    for (;;) {
        Lines.NextLine(line);
        if (Lines.AtEnd()) return false;
        if (line.empty() || line == TLineStream::EndMarker) return true;
        list.Add(line);
    }
}

void TmsCustomDecoder::ReadPartHeaders() {
    if (!ReadHeaderBlock(PartHeaders)) RaiseParserError(msgUnableToRetrieveHeaders);
}

void TmsCustomDecoder::RaiseParserError(int number) {
    throw EMessageParserError(LoadMessage(static_cast<unsigned>(number)));
}

void TmsCustomDecoder::StoreOriginal(std::string_view text) {
    TStrings& body = Message->Body();
    body.Add(kDecodeNoticeHead);
    body.Add(text);
    body.Add(kDecodeNoticeTail);
    try {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(kOriginalFileName);
        item->SetTransferEncoding(te7Bit);
        item->SetContentType(kOriginalContentType);
        item->Data().Assign(Lines.Bytes());
        Message->Attachments().Add(std::move(item));
    } catch (const std::exception&) {
        // The notice stands; a copy that cannot be made is not reported.
    }
}

void TmsCustomDecoder::DecodeMime() {
    const std::string ct = GetHeaderValue(MessageHeaders, "Content-type");
    const std::string lower = AsciiLowerText(ct);
    if (lower.find("multipart/alternative") != std::string::npos)
        DecodeAlternativeMessage();
    else if (lower.find("multipart") != std::string::npos)
        DecodeMultipart();
    else if (!ct.empty() && lower.find("text/") == std::string::npos)
        DecodeAttachmentMessage();
    else if (!GetParamValue("name", ct).empty())
        DecodeAttachmentMessage();
    else
        DecodeTextMessage();
}

void TmsCustomDecoder::DecodeAlternativeMessage() {
    AllAlternative = true;
    DecodeMultipart();
}

void TmsCustomDecoder::DecodeMultipart() {
    Boundary = "--" + GetParamValue("Boundary", GetHeaderValue(MessageHeaders, "Content-Type"));
    std::string line;
    do {
        Lines.NextLine(line);
        if (Lines.AtEnd()) RaiseParserError(msgNoBoundary);
    } while (line != Boundary);
    DecodeFirstPart();
    DecodeParts();
}

void TmsCustomDecoder::DecodeFirstPart() {
    ReadPartHeaders();
    const std::string ct = GetHeaderValue(PartHeaders, "Content-Type");
    std::string line;
    if (AsciiLowerText(ct).find("multipart/alternative") != std::string::npos) {
        InAlternative = true;
        OuterBoundary = Boundary;
        Boundary = "--" + GetParamValue("boundary", ct);
        do {
            Lines.NextLine(line);
            if (Lines.AtEnd()) RaiseParserError(msgNoBoundary);
        } while (Cut(line) != Boundary);
        ReadPartHeaders();
    }
    const std::string encoding =
        AsciiLowerText(GetHeaderValue(PartHeaders, "Content-Transfer-Encoding"));
    // Not body text: DecodeParts takes it as the first attachment.
    if (encoding == "base64") return;

    TStrings& body = Message->Body();
    body.Clear();
    const bool quoted = encoding == "quoted-printable";
    if (quoted) Message->SetCharSet(csISO8859);
    if (IsUtf8CharSet(ct)) Message->SetCharSet(csUTF8);
    for (;;) {
        Lines.NextLine(line);
        if (Lines.AtEnd() || line == Boundary) break;
        body.Add(line);
    }
    if (body.Empty()) body.Add("");
    if (quoted) DecodeBodyQuotedPrintable();
    if (Lines.AtEnd()) RaiseParserError(msgNoBoundary);
}

void TmsCustomDecoder::DecodeParts() {
    TmsAttList& attachments = Message->Attachments();
    bool done = false;
    while (!done) {
        platform::ProcessPendingMessages();
        if (!Message->Body().Empty() || attachments.Count() > 0) ReadPartHeaders();
        auto item = std::make_unique<TmsAttItem>();
        try {
            std::string ct = ShortString(GetHeaderValue(PartHeaders, "Content-type"));
            if (ct.empty()) ct = "text/plain";
            item->SetContentType(FirstToken(ct));
            item->SetFileName(GetParamValue("name", ct));
            const auto [kind, encoding] = PartEncodingOf(PartHeaders);
            item->SetTransferEncoding(encoding);
            if (item->FileName().empty()) {
                item->SetFileName(DispositionFileName(PartHeaders));
                item->SetTransferEncoding(encoding);
            }
            if (item->FileName().empty()) {
                const std::string contentType = item->ContentType();
                item->SetFileName(NextAttachmentName(InAlternative || AllAlternative));
                item->SetTransferEncoding(encoding);
                if (!contentType.empty()) item->SetContentType(contentType);
            }
            const std::string last = ReadAttachmentData(*item, kind, true, false);
            attachments.Add(std::move(item));

            const std::string closing = Boundary + "--";
            done = last == closing || Lines.AtEnd();
            if (done && InAlternative) {
                // The nested group is over: go on with the enclosing parts.
                done = false;
                InAlternative = false;
                Boundary = OuterBoundary;
                std::string line;
                do {
                    Lines.NextLine(line);
                    if (Lines.AtEnd()) RaiseParserError(msgNoClosingBoundary);
                } while (!BeginsWith(line, Boundary));
                // The enclosing closing line right after the group ends the
                // message; reading on would make an attachment of the epilogue.
                done = line == Boundary + "--";
            }
        } catch (const EMessageParserError&) {
            throw;
        } catch (const EQuillpostError&) {
            // Only a fault of the text is a parse error; running out of
            // memory is the caller's failure and goes on up.
            RaiseParserError(msgAttachmentDecodeError);
        }
    }
}

void TmsCustomDecoder::DecodeAttachmentMessage() {
    auto item = std::make_unique<TmsAttItem>();
    try {
        const std::string ct = ShortString(GetHeaderValue(MessageHeaders, "Content-type"));
        if (ct.empty()) RaiseParserError(msgMissingContentType);
        item->SetFileName(GetParamValue("name", ct));
        item->SetContentType(FirstToken(ct));
        const auto [kind, encoding] = PartEncodingOf(MessageHeaders);
        item->SetTransferEncoding(encoding);
        if (item->FileName().empty()) {
            item->SetFileName(DispositionFileName(MessageHeaders));
            if (item->FileName().empty()) item->SetFileName(NextAttachmentName(false));
            item->SetTransferEncoding(encoding);
            item->SetContentType(FirstToken(ct));
        }
        ReadAttachmentData(*item, kind, false,
                           kind == DataKind::Base64 || kind == DataKind::UUEncoded);
        Message->Attachments().Add(std::move(item));
    } catch (const EMessageParserError&) {
        throw;
    } catch (const EQuillpostError&) {
        RaiseParserError(msgAttachmentDecodeError);
    }
}

void TmsCustomDecoder::DecodeTextMessage() {
    const std::string encoding =
        AsciiLowerText(GetHeaderValue(MessageHeaders, "Content-Transfer-Encoding"));
    TStrings& body = Message->Body();
    body.Clear();
    const bool quoted = encoding == "quoted-printable";
    if (quoted) Message->SetCharSet(csISO8859);
    if (IsUtf8CharSet(GetHeaderValue(MessageHeaders, "Content-Type"))) Message->SetCharSet(csUTF8);
    std::string line;
    if (encoding != "base64") {
        for (;;) {
            Lines.NextLine(line);
            if (Lines.AtEnd()) break;
            body.Add(line);
        }
        if (quoted) DecodeBodyQuotedPrintable();
        return;
    }
    std::string text;
    AsParseError([&] {
        Base64Appender appender(text);
        appender.Reserve(TextLeft());
        for (;;) {
            Lines.NextLine(line);
            if (Lines.AtEnd()) break;
            if (!line.empty()) appender.Add(line);
        }
        appender.Finish();
    });
    SetBodyText(text);
}

void TmsCustomDecoder::DecodePlainMessage() {
    std::string line;
    for (;;) {
        Lines.NextLine(line);
        if (!Lines.AtEnd() && IsUUBeginLine(line)) {
            DecodeUUBlocks(line);
            Message->SetEncoding(meUU);
        }
        if (Lines.AtEnd()) break;
        Message->Body().Add(line);
    }
}

void TmsCustomDecoder::DecodeUUBlocks(std::string line) {
    TmsAttList& attachments = Message->Attachments();
    do {
        auto item = std::make_unique<TmsAttItem>();
        try {
            item->SetFileName(UUBeginFileName(line));
            if (item->FileName().empty()) item->SetFileName(NextAttachmentName(false));
            std::string data;
            for (;;) {
                Lines.NextLine(line);
                if (Lines.AtEnd() || line == "`" || AsciiLowerText(line) == "end") break;
                if (!line.empty()) data += DecodeUULine(line);
            }
            item->Data().Assign(std::move(data));
            attachments.Add(std::move(item));
            do {
                Lines.NextLine(line);
            } while (!Lines.AtEnd() && !IsUUBeginLine(line));
        } catch (const EQuillpostError&) {
            RaiseParserError(msgAttachmentDecodeError);
        }
    } while (!Lines.AtEnd());
}

TmsCustomDecoder::TPartEncoding TmsCustomDecoder::PartEncodingOf(const TStrings& headers) {
    const std::string name =
        AsciiLowerText(ShortString(GetHeaderValue(headers, "Content-Transfer-Encoding")));
    if (name == "base64") return {DataKind::Base64, teBase64};
    if (BeginsWith(name, "x-uue")) return {DataKind::UUEncoded, teBase64};
    if (name == "quoted-printable") return {DataKind::QuotedPrintable, teQuotedPrintable};
    return {DataKind::SevenBit, te7Bit};
}

std::string TmsCustomDecoder::ReadAttachmentData(TmsAttItem& item, DataKind kind,
                                                 bool stopAtBoundary, bool stopAtPeriod) {
    // Lines are taken whole: a short-string cut here would silently drop the
    // end of long base64 lines and of long seven-bit lines.
    std::string data;
    StringVector quoted;
    Base64Appender appender(data);
    if (kind == DataKind::Base64) appender.Reserve(TextLeft());
    std::string_view line;
    for (;;) {
        line = Lines.NextLineView();
        if (Lines.AtEnd()) break;
        if (stopAtBoundary && BeginsWith(line, Boundary)) break;
        if (stopAtPeriod && line == ".") break;
        switch (kind) {
            case DataKind::Base64:
                if (!line.empty()) appender.Add(line);
                break;
            case DataKind::UUEncoded:
                if (!line.empty() && line != "`" && line != "end" && !IsUUBeginLine(line))
                    data += DecodeUULine(line);
                break;
            case DataKind::QuotedPrintable:
                quoted.emplace_back(line);
                break;
            case DataKind::SevenBit:
                data += line;
                data += "\r\n";
                break;
        }
    }
    std::string last(line);
    appender.Finish();
    // The line end before a boundary belongs to the boundary, not the data.
    const bool atBoundary = stopAtBoundary && !Lines.AtEnd();
    if (kind == DataKind::QuotedPrintable) {
        DecodeQuotedPrintable(quoted, item.Data(), atBoundary);
    } else {
        if (kind == DataKind::SevenBit && atBoundary && data.ends_with("\r\n"))
            data.resize(data.size() - 2);
        item.Data().Assign(std::move(data));
    }
    return last;
}

void TmsCustomDecoder::DecodeQuotedPrintable(StringVector& lines, TStream& stream, bool openEnd) {
    struct Release {
        std::unique_ptr<TQuotedPrintable>& codec;
        ~Release() { codec.reset(); }
    } release{Codec};
    Codec = std::make_unique<TQuotedPrintable>(stream, lines);
    Codec->OpenEnd = openEnd;
    Codec->Decode();
}

void TmsCustomDecoder::DecodeBodyQuotedPrintable() {
    TMemoryStream decoded;
    AsParseError([&] { DecodeQuotedPrintable(Message->Body().Lines(), decoded); });
    SetBodyText(decoded.Bytes());
}

void TmsCustomDecoder::SetBodyText(std::string_view text) {
    // Breaks are CR LF, a lone CR or a lone LF; a final break adds no line.
    TStrings& body = Message->Body();
    body.Clear();
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = i;
        while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
        body.Add(text.substr(i, j - i));
        if (j + 1 < text.size() && text[j] == '\r' && text[j + 1] == '\n') ++j;
        i = j + 1;
    }
}

std::size_t TmsCustomDecoder::TextLeft() {
    // The unread lines of the chunk in hand are at most a chunk long.
    const std::int64_t left = Lines.Size() - Lines.Position() + TLineStream::kDefaultChunkSize;
    return static_cast<std::size_t>(std::max<std::int64_t>(left, 0));
}

std::string TmsCustomDecoder::NextAttachmentName(bool alternative) const {
    return (alternative ? "_alt." : "att.") + std::to_string(Message->Attachments().Count());
}

}  // namespace quillpost
