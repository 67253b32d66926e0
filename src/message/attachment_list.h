#pragma once
// The message's attachments: an owning, ordered list; duplicates are kept.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "message/attachment_item.h"

namespace quillpost {

class TmsAttList : public TPersistent {
public:
    const char* ClassName() const override { return "TmsAttList"; }

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    // Raises the list-index error outside 0 .. Count - 1.
    TmsAttItem& Items(std::int32_t index) const;
    // Takes ownership of Entry; returns its index.
    std::int32_t Add(std::unique_ptr<TmsAttItem> entry);
    // Reads the whole file Name into a new entry and appends it. A file that
    // cannot be read raises EInOutError naming it; the list is then unchanged.
    void AddFile(std::string_view name);
    void Clear();

    // Full copies, bytes included.
    void Assign(const TPersistent& source) override;

    // The custom "Items" property (file name, content type, transfer encoding
    // per entry, no bytes), written only when the list has entries.
    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;
    void WriteItems(ComponentWriter& writer) const;
    void ReadItems(ComponentReader& reader);

    class Iterator {
    public:
        using Base = std::vector<std::unique_ptr<TmsAttItem>>::const_iterator;
        explicit Iterator(Base it) : it_(it) {}
        TmsAttItem& operator*() const { return **it_; }
        TmsAttItem* operator->() const { return it_->get(); }
        Iterator& operator++() {
            ++it_;
            return *this;
        }
        bool operator==(const Iterator& other) const { return it_ == other.it_; }

    private:
        Base it_;
    };
    Iterator begin() const { return Iterator(items_.begin()); }
    Iterator end() const { return Iterator(items_.end()); }

private:
    std::vector<std::unique_ptr<TmsAttItem>> items_;
};

}  // namespace quillpost
