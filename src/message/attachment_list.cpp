#include "message/attachment_list.h"

#include <string>

#include "message/component_stream.h"
#include "util/errors.h"
#include "util/short_string.h"

namespace quillpost {

TmsAttItem& TmsAttList::Items(std::int32_t index) const {
    if (index < 0 || index >= Count()) RaiseListIndexError(index);
    return *items_[static_cast<std::size_t>(index)];
}

std::int32_t TmsAttList::Add(std::unique_ptr<TmsAttItem> entry) {
    items_.push_back(std::move(entry));
    return Count() - 1;
}

void TmsAttList::AddFile(std::string_view name) {
    auto entry = std::make_unique<TmsAttItem>();
    entry->SetFileName(ShortString(name));
    // The full name, not the cut one: a long path must still open.
    entry->Data().LoadFromFile(std::string(name));
    Add(std::move(entry));
}

void TmsAttList::Clear() {
    while (!items_.empty()) items_.pop_back();
}

void TmsAttList::Assign(const TPersistent& source) {
    auto* other = dynamic_cast<const TmsAttList*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    Clear();
    for (const auto& src : other->items_) {
        auto copy = std::make_unique<TmsAttItem>();
        copy->Assign(*src);
        Add(std::move(copy));
    }
}

void TmsAttList::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    if (Count() > 0) {
        writer.WritePropName(prefix + "Items");
        WriteItems(writer);
    }
}

bool TmsAttList::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name != "Items") return false;
    ReadItems(reader);
    return true;
}

void TmsAttList::WriteItems(ComponentWriter& writer) const {
    writer.WriteListBegin();
    for (const auto& item : items_) {
        writer.WriteString(item->FileName());
        writer.WriteString(item->ContentType());
        writer.WriteInteger(item->TransferEncoding());
    }
    writer.WriteListEnd();
}

void TmsAttList::ReadItems(ComponentReader& reader) {
    Clear();
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        auto entry = std::make_unique<TmsAttItem>();
        entry->SetFileName(reader.ReadString());
        entry->SetContentType(reader.ReadString());
        std::int32_t encoding = reader.ReadInteger();
        // The encoder indexes its name table with this value.
        if (encoding < 0 || encoding >= kTransferEncodingCount)
            throw EReadError("Invalid component stream: transfer encoding " +
                             std::to_string(encoding) + " out of range");
        entry->SetTransferEncoding(static_cast<TTransferEncoding>(encoding));
        Add(std::move(entry));
    }
    reader.ReadListEnd();
}

}  // namespace quillpost
