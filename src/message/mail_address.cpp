#include "message/mail_address.h"

#include "base/ascii.h"
#include "message/component_stream.h"
#include "util/short_string.h"

namespace quillpost {

void TmsMailAddress::SetName(std::string_view value) { name_ = ShortString(value); }
void TmsMailAddress::SetAddress(std::string_view value) { address_ = ShortString(value); }

void TmsMailAddress::Assign(const TPersistent& source) {
    if (auto* other = dynamic_cast<const TmsMailAddress*>(&source)) {
        if (other == this) return;
        SetName(other->name_);
        SetAddress(other->address_);
        return;
    }
    TPersistent::Assign(source);
}

void TmsMailAddress::Clear() {
    name_.clear();
    address_.clear();
}

void TmsMailAddress::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    if (!name_.empty()) writer.WriteString(prefix + "Name", name_);
    if (!address_.empty()) writer.WriteString(prefix + "Address", address_);
}

bool TmsMailAddress::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name == "Name") {
        SetName(reader.ReadString());
    } else if (name == "Address") {
        SetAddress(reader.ReadString());
    } else {
        return false;
    }
    return true;
}

std::string TrimQuotes(std::string_view text) {
    text = TrimBlanksAndControls(text);
    while (!text.empty() && text.front() == '"') text.remove_prefix(1);
    while (!text.empty() && text.back() == '"') text.remove_suffix(1);
    return std::string(text);
}

void SplitAddress(std::string_view text, TmsMailAddress& target) {
    // Everything between the opening bracket and the last character; the last
    // character is taken to be the closing bracket, whatever it is.
    auto inside = [&](std::size_t open) {
        std::size_t from = open + 1;
        return from < text.size() ? text.substr(from, text.size() - 1 - from) : std::string_view{};
    };
    if (auto p = text.find('<'); p != std::string_view::npos) {
        target.SetName(TrimQuotes(text.substr(0, p)));
        target.SetAddress(TrimQuotes(inside(p)));
    } else if (auto q = text.find('('); q != std::string_view::npos) {
        target.SetAddress(TrimQuotes(text.substr(0, q)));
        target.SetName(TrimQuotes(inside(q)));
    } else {
        target.SetAddress(text);
        target.SetName("");
    }
}

}  // namespace quillpost
