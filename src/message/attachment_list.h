#pragma once
// The message's attachments: an owning, ordered list; duplicates are kept.
// Assign makes full copies, bytes included; the "Items" property holds file
// name, content type and transfer encoding per entry, no bytes.
#include <string_view>

#include "message/attachment_item.h"
#include "message/owning_list.h"

namespace quillpost {

class TmsAttList : public TmsOwningList<TmsAttItem> {
public:
    const char* ClassName() const override { return "TmsAttList"; }

    // Reads the whole file Name into a new entry and appends it. A file that
    // cannot be read raises EInOutError naming it; the list is then unchanged.
    void AddFile(std::string_view name);

protected:
    void WriteItem(ComponentWriter& writer, const TmsAttItem& item) const override;
    void ReadItem(ComponentReader& reader, TmsAttItem& item) const override;
};

}  // namespace quillpost
