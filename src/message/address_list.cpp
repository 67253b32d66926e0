#include "message/address_list.h"

#include "message/component_stream.h"
#include "util/errors.h"

namespace quillpost {

TmsMailAddress& TmsAddressList::Items(std::int32_t index) const {
    if (index < 0 || index >= Count()) RaiseListIndexError(index);
    return *items_[static_cast<std::size_t>(index)];
}

std::int32_t TmsAddressList::Add(std::unique_ptr<TmsMailAddress> entry) {
    items_.push_back(std::move(entry));
    return Count() - 1;
}

void TmsAddressList::AddAddress(std::string_view addressText, std::string_view nameText) {
    auto entry = std::make_unique<TmsMailAddress>();
    entry->SetAddress(addressText);
    entry->SetName(nameText);
    Add(std::move(entry));
}

void TmsAddressList::Clear() {
    while (!items_.empty()) items_.pop_back();
}

void TmsAddressList::Assign(const TPersistent& source) {
    auto* other = dynamic_cast<const TmsAddressList*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    Clear();
    for (const auto& src : other->items_) {
        auto copy = std::make_unique<TmsMailAddress>();
        copy->Assign(*src);
        Add(std::move(copy));
    }
}

void TmsAddressList::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    if (Count() > 0) {
        writer.WritePropName(prefix + "Items");
        WriteItems(writer);
    }
}

bool TmsAddressList::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name != "Items") return false;
    ReadItems(reader);
    return true;
}

void TmsAddressList::WriteItems(ComponentWriter& writer) const {
    writer.WriteListBegin();
    for (const auto& item : items_) {
        writer.WriteString(item->Name());
        writer.WriteString(item->Address());
    }
    writer.WriteListEnd();
}

void TmsAddressList::ReadItems(ComponentReader& reader) {
    Clear();
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        auto entry = std::make_unique<TmsMailAddress>();
        entry->SetName(reader.ReadString());
        entry->SetAddress(reader.ReadString());
        Add(std::move(entry));
    }
    reader.ReadListEnd();
}

}  // namespace quillpost
