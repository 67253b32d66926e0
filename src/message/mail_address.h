#pragma once
// One party of a message: display name and mailbox, each a short string.
#include <string>
#include <string_view>

#include "message/persistent.h"

namespace quillpost {

class TmsMailAddress : public TPersistent {
public:
    const char* ClassName() const override { return "TmsMailAddress"; }

    const std::string& Name() const { return name_; }
    const std::string& Address() const { return address_; }
    void SetName(std::string_view value);
    void SetAddress(std::string_view value);

    void Assign(const TPersistent& source) override;
    void Clear();
    // There is no address dialog in this build: the address stays unchanged.
    void Edit() {}

    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;

private:
    std::string name_;
    std::string address_;
};

// Trims blanks and control characters at both ends, then strips double quotes
// at both ends (blanks inside the quotes are kept).
std::string TrimQuotes(std::string_view text);

// Fills Target from the text of one address as found in a received header:
// "Name <box>", "box (Name)" or a bare "box".
void SplitAddress(std::string_view text, TmsMailAddress& target);

}  // namespace quillpost
