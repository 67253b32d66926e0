#include "message/attachment_list.h"

#include <memory>
#include <string>

#include "util/errors.h"
#include "util/short_string.h"

namespace quillpost {

void TmsAttList::AddFile(std::string_view name) {
    auto entry = std::make_unique<TmsAttItem>();
    entry->SetFileName(ShortString(name));
    // The full name, not the cut one: a long path must still open.
    entry->Data().LoadFromFile(std::string(name));
    Add(std::move(entry));
}

void TmsAttList::WriteItem(ComponentWriter& writer, const TmsAttItem& item) const {
    writer.WriteString(item.FileName());
    writer.WriteString(item.ContentType());
    writer.WriteInteger(item.TransferEncoding());
}

void TmsAttList::ReadItem(ComponentReader& reader, TmsAttItem& item) const {
    item.SetFileName(reader.ReadString());
    item.SetContentType(reader.ReadString());
    std::int32_t encoding = reader.ReadInteger();
    // The encoder indexes its name table with this value.
    if (encoding < 0 || encoding >= kTransferEncodingCount)
        throw EReadError("Invalid component stream: transfer encoding " + std::to_string(encoding) +
                         " out of range");
    item.SetTransferEncoding(static_cast<TTransferEncoding>(encoding));
}

}  // namespace quillpost
