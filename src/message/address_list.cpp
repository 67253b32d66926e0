#include "message/address_list.h"

#include <memory>

namespace quillpost {

void TmsAddressList::AddAddress(std::string_view addressText, std::string_view nameText) {
    auto entry = std::make_unique<TmsMailAddress>();
    entry->SetAddress(addressText);
    entry->SetName(nameText);
    Add(std::move(entry));
}

void TmsAddressList::WriteItem(ComponentWriter& writer, const TmsMailAddress& item) const {
    writer.WriteString(item.Name());
    writer.WriteString(item.Address());
}

void TmsAddressList::ReadItem(ComponentReader& reader, TmsMailAddress& item) const {
    item.SetName(reader.ReadString());
    item.SetAddress(reader.ReadString());
}

}  // namespace quillpost
