#include "message/strings.h"

#include "message/component_stream.h"
#include "util/errors.h"

namespace quillpost {

void TStrings::CheckIndex(std::int32_t index, std::int32_t limit) const {
    if (index < 0 || index > limit) RaiseListIndexError(index);
}

const std::string& TStrings::operator[](std::int32_t index) const {
    CheckIndex(index, Count() - 1);
    return items_[static_cast<std::size_t>(index)];
}

std::string& TStrings::operator[](std::int32_t index) {
    CheckIndex(index, Count() - 1);
    return items_[static_cast<std::size_t>(index)];
}

void TStrings::Insert(std::int32_t index, std::string_view line) {
    CheckIndex(index, Count());
    items_.insert(items_.begin() + index, std::string(line));
}

void TStrings::Delete(std::int32_t index) {
    CheckIndex(index, Count() - 1);
    items_.erase(items_.begin() + index);
}

void TStrings::Assign(const TPersistent& source) {
    if (auto* other = dynamic_cast<const TStrings*>(&source)) {
        if (other != this) items_ = other->items_;
        return;
    }
    TPersistent::Assign(source);
}

void TStrings::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    if (items_.empty()) return;
    writer.WritePropName(prefix + "Strings");
    writer.WriteListBegin();
    for (const auto& line : items_) writer.WriteString(line);
    writer.WriteListEnd();
}

bool TStrings::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name != "Strings") return false;
    items_.clear();
    reader.ReadListBegin();
    while (!reader.EndOfList()) items_.push_back(reader.ReadString());
    reader.ReadListEnd();
    return true;
}

}  // namespace quillpost
