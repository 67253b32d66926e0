#pragma once
// An owning, ordered list of parties (To, CC or BCC). Duplicates are kept.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "message/mail_address.h"

namespace quillpost {

class TmsAddressList : public TPersistent {
public:
    const char* ClassName() const override { return "TmsAddressList"; }

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    // Raises the list-index error outside 0 .. Count - 1.
    TmsMailAddress& Items(std::int32_t index) const;
    // Takes ownership of Entry; returns its index.
    std::int32_t Add(std::unique_ptr<TmsMailAddress> entry);
    // Address first, name second.
    void AddAddress(std::string_view addressText, std::string_view nameText);
    void Clear();

    void Assign(const TPersistent& source) override;

    // The custom "Items" property, written only when the list has entries.
    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;
    void WriteItems(ComponentWriter& writer) const;
    void ReadItems(ComponentReader& reader);

private:
    std::vector<std::unique_ptr<TmsMailAddress>> items_;
};

}  // namespace quillpost
