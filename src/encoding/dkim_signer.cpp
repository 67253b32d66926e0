#include "encoding/dkim_signer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "base/ascii.h"
#include "base/errors.h"
#include "encoding/base64.h"
#include "encoding/dot_unstuffing.h"
#include "util/date_time.h"

namespace quillpost {
namespace {

// Lines of the signature field are kept to this, well inside 998.
constexpr std::size_t kFieldWidth = 78;
// Canonical body text is hashed in blocks of about this size.
constexpr std::size_t kHashBlock = 64 * 1024;
constexpr std::size_t kReadBlock = 64 * 1024;

const char* const kDefaultFields[] = {
    "From", "Reply-To",   "Subject",      "Date",         "To",
    "Cc",   "Message-ID", "MIME-Version", "Content-Type", "Content-Transfer-Encoding"};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

const char* Find(const char* p, const char* end, char c) {
    const void* at = std::memchr(p, c, static_cast<std::size_t>(end - p));
    return at != nullptr ? static_cast<const char*>(at) : end;
}

// The first blank or CR at or after P: the bytes the body canonicalisation
// looks at. The next CR is kept in NextCr between calls, so a line of many
// words is searched once for it.
const char* NextSpecial(const char* p, const char* end, const char*& nextCr) {
    if (nextCr == nullptr || nextCr < p) nextCr = Find(p, end, '\r');
    const char* stop = Find(p, nextCr, ' ');
    return Find(p, stop, '\t');
}

std::string Base64Text(std::string_view bytes) { return EncodeBase64(bytes, std::string::npos); }

std::string_view FieldName(std::string_view field) {
    std::string_view name = field.substr(0, field.find(':'));
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    return name;
}

// The fields of a header block (CR LF after each line), continuation lines
// joined to theirs.
std::vector<std::string> SplitFields(std::string_view head) {
    std::vector<std::string> fields;
    while (!head.empty()) {
        const std::size_t end = head.find("\r\n");
        const std::string_view line = head.substr(0, end);
        if (!fields.empty() && !line.empty() && IsBlank(line[0]))
            fields.back().append("\r\n").append(line);
        else if (!line.empty())
            fields.emplace_back(line);
        if (end == std::string_view::npos) break;
        head.remove_prefix(end + 2);
    }
    return fields;
}

// Lines of one header field kept within kFieldWidth where the pieces allow.
class TFieldFolder {
public:
    explicit TFieldFolder(std::string first) { lines_.push_back(std::move(first)); }

    // Piece on this line (after a blank when Space) if it fits, else on the next.
    void Add(std::string_view piece, bool space) {
        std::string& line = lines_.back();
        if (line.size() + (space ? 1 : 0) + piece.size() <= kFieldWidth) {
            if (space) line += ' ';
            line += piece;
        } else {
            lines_.push_back(" " + std::string(piece));
        }
    }
    // Text cut wherever a line is full (base64 may take folding blanks).
    void AddCut(std::string_view text) {
        while (!text.empty()) {
            if (lines_.back().size() >= kFieldWidth) lines_.emplace_back(" ");
            const std::size_t room = kFieldWidth - lines_.back().size();
            lines_.back().append(text.substr(0, room));
            text.remove_prefix(std::min(room, text.size()));
        }
    }
    std::size_t Room() const { return kFieldWidth - std::min(kFieldWidth, lines_.back().size()); }
    std::vector<std::string>& Lines() { return lines_; }

private:
    std::vector<std::string> lines_;
};

}  // namespace

TRelaxedBodyHash::TRelaxedBodyHash() : sha_(platform::Sha256::Create()) {
    out_.reserve(kHashBlock + kReadBlock + 2);
}

void TRelaxedBodyHash::StartContent() {
    if (!content_) {
        for (; blankLines_ > 0; --blankLines_) out_ += "\r\n";
        content_ = true;
    }
    if (space_) {
        out_ += ' ';
        space_ = false;
    }
}

void TRelaxedBodyHash::Update(const char* data, std::size_t count) {
    const char* p = data;
    const char* const end = data + count;
    const char* nextCr = nullptr;
    while (p < end) {
        if (cr_) {
            cr_ = false;
            if (*p == '\n') {
                ++p;
                // Blanks at a line's end go; an empty line waits for text after it.
                space_ = false;
                if (content_)
                    out_ += "\r\n";
                else
                    ++blankLines_;
                content_ = false;
                continue;
            }
            StartContent();
            out_ += '\r';
        }
        const char* run = p;
        p = NextSpecial(p, end, nextCr);
        if (p != run) {
            StartContent();
            out_.append(run, static_cast<std::size_t>(p - run));
        }
        if (p == end) break;
        if (*p++ == '\r')
            cr_ = true;
        else
            space_ = true;
        if (out_.size() >= kHashBlock) Flush();
    }
    if (out_.size() >= kHashBlock) Flush();
}

void TRelaxedBodyHash::Flush() {
    sha_->Update(out_.data(), out_.size());
    out_.clear();
}

platform::Sha256Digest TRelaxedBodyHash::Finish() {
    if (cr_) {
        StartContent();
        out_ += '\r';
        cr_ = false;
    }
    // A last line without its CR LF gets one; empty lines at the end go.
    if (content_) out_ += "\r\n";
    content_ = false;
    Flush();
    return sha_->Finish();
}

std::string RelaxedHeaderField(std::string_view field) {
    const std::size_t colon = field.find(':');
    std::string text = AsciiLowerText(FieldName(field));
    text += ':';
    if (colon == std::string_view::npos) return text;
    const std::size_t valueStart = text.size();
    bool space = false;
    for (char c : field.substr(colon + 1)) {
        if (c == '\r' || c == '\n') continue;
        if (IsBlank(c)) {
            space = true;
            continue;
        }
        // Blanks after the colon and at the end go; others become one space.
        if (space && text.size() > valueStart) text += ' ';
        space = false;
        text += c;
    }
    return text;
}

TDkimSigner::TDkimSigner(TDkimOptions options, std::string_view pem)
    : options_(std::move(options)) {
    std::string failure;
    key_ = platform::SigningKey::FromPem(pem, &failure);
    if (!key_) throw EMessageError("DKIM: the key cannot be used: " + failure);
    const int bits = key_->Bits();
    if (key_->Type() == platform::SigningKeyType::Rsa && (bits < 1024 || bits > 4096))
        throw EMessageError("DKIM: the RSA key has " + std::to_string(bits) +
                            " bits; keys of 1024 to 4096 bits are accepted");
}

TDkimSigner::~TDkimSigner() = default;

const char* TDkimSigner::Algorithm() const {
    return key_->Type() == platform::SigningKeyType::Rsa ? "rsa-sha256" : "ed25519-sha256";
}

std::vector<std::string> TDkimSigner::Sign(TStream& stream, std::int64_t start) const {
    stream.SetPosition(start);
    TDotUnstuffer unstuffer;
    TRelaxedBodyHash body;
    std::string head;
    bool inHead = true;
    std::string in(kReadBlock, '\0'), out(kReadBlock, '\0');
    while (const std::size_t n = stream.Read(in.data(), in.size())) {
        const std::size_t m = unstuffer.Filter(in.data(), n, out.data());
        if (!inHead) {
            body.Update(out.data(), m);
            continue;
        }
        const std::size_t from = head.size() >= 3 ? head.size() - 3 : 0;
        head.append(out.data(), m);
        const std::size_t blank = head.find("\r\n\r\n", from);
        if (blank == std::string::npos) continue;
        body.Update(head.data() + blank + 4, head.size() - blank - 4);
        head.resize(blank + 2);
        inHead = false;
    }
    return SignatureField(SplitFields(head), body.Finish());
}

namespace {

// The field names for h= (each wanted name as often as it occurs, From and
// Subject once more) and the canonical text of the fields they sign, taken
// from the bottom up as a verifier takes them.
std::string SignedFields(const std::vector<std::string>& fields, const StringVector& wanted,
                         std::vector<std::string>& names) {
    std::string canonical;
    std::vector<bool> used(fields.size(), false);
    for (std::size_t w = 0; w < wanted.size(); ++w) {
        const std::string& name = wanted[w];
        bool seen = false;
        for (std::size_t v = 0; v < w && !seen; ++v) seen = SameTextIgnoringCase(wanted[v], name);
        if (seen) continue;
        for (std::size_t i = fields.size(); i-- > 0;) {
            if (used[i] || !SameTextIgnoringCase(FieldName(fields[i]), name)) continue;
            used[i] = true;
            names.push_back(name);
            canonical += RelaxedHeaderField(fields[i]) + "\r\n";
        }
        if (SameTextIgnoringCase(name, "From") || SameTextIgnoringCase(name, "Subject"))
            names.push_back(name);
    }
    return canonical;
}

}  // namespace

std::vector<std::string> TDkimSigner::SignatureField(const std::vector<std::string>& fields,
                                                     const platform::Sha256Digest& bodyHash) const {
    StringVector wanted = options_.headers;
    if (wanted.empty()) wanted.assign(std::begin(kDefaultFields), std::end(kDefaultFields));
    std::vector<std::string> names;
    std::string canonical = SignedFields(fields, wanted, names);

    TFieldFolder folder("DKIM-Signature: v=1;");
    folder.Add(std::string("a=") + Algorithm() + ";", true);
    folder.Add("c=relaxed/relaxed;", true);
    folder.Add("d=" + options_.domain + ";", true);
    folder.Add("s=" + options_.selector + ";", true);
    const std::int64_t time = options_.time >= 0 ? options_.time : UnixSecondsNow();
    folder.Add("t=" + std::to_string(time) + ";", true);
    for (std::size_t i = 0; i < names.size(); ++i)
        folder.Add(
            (i == 0 ? "h=" : "") + std::string(names[i]) + (i + 1 < names.size() ? ":" : ";"),
            i == 0);
    folder.Add(
        "bh=" + Base64Text({reinterpret_cast<const char*>(bodyHash.data()), bodyHash.size()}) + ";",
        true);
    // "b=" starts a line with room for its value to begin beside it.
    if (folder.Room() < 16)
        folder.Lines().emplace_back(" b=");
    else
        folder.Add("b=", true);

    std::string unsigned_field;
    for (const std::string& line : folder.Lines())
        unsigned_field += (unsigned_field.empty() ? "" : "\r\n") + line;
    canonical += RelaxedHeaderField(unsigned_field);
    auto sha = platform::Sha256::Create();
    sha->Update(canonical.data(), canonical.size());
    std::string signature, failure;
    if (!key_->SignDigest(sha->Finish(), signature, &failure))
        throw EMessageError("DKIM: signing failed: " + failure);
    folder.AddCut(Base64Text(signature));
    return std::move(folder.Lines());
}

std::string TDkimSigner::DnsRecord() const {
    const bool rsa = key_->Type() == platform::SigningKeyType::Rsa;
    const std::string text = std::string("v=DKIM1; k=") + (rsa ? "rsa" : "ed25519") +
                             "; p=" + Base64Text(key_->PublicKey());
    // A TXT record's strings hold at most 255 bytes each.
    std::string record = options_.selector + "._domainkey." + options_.domain + ". IN TXT";
    for (std::size_t i = 0; i < text.size(); i += 255) record += " \"" + text.substr(i, 255) + "\"";
    return record;
}

}  // namespace quillpost
