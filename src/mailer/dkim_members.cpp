// The signing members: DKIM's domain, selector, key file and field list, and
// the Message-ID a signed message carries.
#include <algorithm>
#include <string>
#include <utility>

#include "base/ascii.h"
#include "base/secret.h"
#include "encoding/dkim_signer.h"
#include "mailer/mailer.h"
#include "message/address_syntax.h"
#include "platform/crypto.h"
#include "util/date_time.h"
#include "util/errors.h"
#include "util/stream.h"

namespace quillpost {
namespace {

StringVector FieldNames(std::string_view list) {
    StringVector names;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        // Blanks may surround a name; a control character is refused with it.
        names.emplace_back(TrimBlanks(list.substr(0, colon)));
        if (colon == std::string_view::npos) break;
        list.remove_prefix(colon + 1);
    }
    return names;
}

}  // namespace

void TMailer::SetDKIMDomain(std::string_view v) {
    if (!v.empty() && !IsDnsName(v)) RefuseValue("DKIMDomain", v, "is not a domain name");
    dkimDomain_ = v;
}

void TMailer::SetDKIMSelector(std::string_view v) {
    // A selector is one or more DNS labels put before "._domainkey.".
    if (!v.empty() && !IsDnsName(v)) RefuseValue("DKIMSelector", v, "is not a DNS label");
    dkimSelector_ = v;
}

void TMailer::SetDKIMKeyFile(std::string_view v) {
    if (std::ranges::any_of(v, IsAsciiControl))
        RefuseValue("DKIMKeyFile", v, "holds a control character");
    dkimKeyFile_ = v;
}

void TMailer::SetDKIMHeaders(std::string_view v) {
    if (!v.empty()) {
        bool from = false;
        for (const std::string& name : FieldNames(v)) {
            if (!IsHeaderFieldName(name))
                RefuseValue("DKIMHeaders", v,
                            "is not a colon-separated list of header field names");
            from = from || SameTextIgnoringCase(name, "From");
        }
        // RFC 6376 makes the From field's signature compulsory.
        if (!from) RefuseValue("DKIMHeaders", v, "does not name From, which must be signed");
    }
    dkimHeaders_ = v;
}

bool TMailer::SignsMessages() const {
    return !dkimDomain_.empty() || !dkimSelector_.empty() || !dkimKeyFile_.empty();
}

std::shared_ptr<const TDkimSigner> TMailer::MakeSigner() const {
    if (!SignsMessages()) return nullptr;
    // Half a setting would send unsigned mail the script believes signed.
    for (const auto& [member, value] :
         {std::pair{"DKIMDomain", &dkimDomain_}, std::pair{"DKIMSelector", &dkimSelector_},
          std::pair{"DKIMKeyFile", &dkimKeyFile_}})
        if (value->empty())
            throw EMessageError(std::string("DKIM: ") + member +
                                " is not set; signing needs DKIMDomain, DKIMSelector and "
                                "DKIMKeyFile");
    TDkimOptions options{dkimDomain_, dkimSelector_, FieldNames(dkimHeaders_), -1};
    TSecret pem;  // wiped however the signer turns out
    try {
        pem.Buffer() = ReadWholeFile(dkimKeyFile_);
    } catch (const EQuillpostError& e) {
        throw EMessageError(std::string("DKIM: the key file cannot be read: ") + e.what());
    }
    return std::make_shared<const TDkimSigner>(std::move(options), pem.Text());
}

std::string TMailer::NewMessageId(std::string_view address) {
    // 128 random bits make the left part unique by themselves; the time
    // in front keeps identifiers of one sender in the order they were made.
    unsigned char random[16];
    platform::RandomBytes(random, sizeof random);
    const char* digits = "0123456789abcdef";
    std::string id = "<" + std::to_string(UnixSecondsNow()) + ".";
    for (unsigned char byte : random) {
        id += digits[byte >> 4];
        id += digits[byte & 15];
    }
    // The domain as the From address has it: a UTF-8 domain stays UTF-8
    // (RFC 6532), an address literal stays a literal.
    return id + "@" + std::string(address.substr(address.rfind('@') + 1)) + ">";
}

}  // namespace quillpost
