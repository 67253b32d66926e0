#pragma once
// An owning, ordered list of parties (To, CC or BCC). Duplicates are kept.
#include <string_view>

#include "message/mail_address.h"
#include "message/owning_list.h"

namespace quillpost {

class TmsAddressList : public TmsOwningList<TmsMailAddress> {
public:
    const char* ClassName() const override { return "TmsAddressList"; }

    // Address first, name second.
    void AddAddress(std::string_view addressText, std::string_view nameText);

protected:
    // Name, then address.
    void WriteItem(ComponentWriter& writer, const TmsMailAddress& item) const override;
    void ReadItem(ComponentReader& reader, TmsMailAddress& item) const override;
};

}  // namespace quillpost
