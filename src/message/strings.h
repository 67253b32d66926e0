#pragma once
// A persistent string list: ordered, duplicates kept. Its contents stream as
// the list property "Strings" (written only when the list has items).
#include <cstdint>
#include <string>
#include <string_view>

#include "message/persistent.h"
#include "util/string_vector.h"

namespace quillpost {

class TStrings : public TPersistent {
public:
    const char* ClassName() const override { return "TStrings"; }

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    // Raise the list-index error outside 0 .. Count - 1.
    const std::string& operator[](std::int32_t index) const;
    std::string& operator[](std::int32_t index);
    void Add(std::string_view line) { items_.emplace_back(line); }
    // Index may be Count (append).
    void Insert(std::int32_t index, std::string_view line);
    void Delete(std::int32_t index);
    void Clear() { items_.clear(); }

    const StringVector& Lines() const { return items_; }
    StringVector& Lines() { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    void Assign(const TPersistent& source) override;
    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;

private:
    void CheckIndex(std::int32_t index, std::int32_t limit) const;
    StringVector items_;
};

}  // namespace quillpost
