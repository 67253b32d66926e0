#pragma once
// An owning, ordered list of message parts (parties, attachments) that copies
// its entries on Assign and streams them as the custom "Items" property; the
// list class says how one entry is written and read.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/component_stream.h"
#include "message/persistent.h"
#include "util/errors.h"

namespace quillpost {

template <typename Item>
class TmsOwningList : public TPersistent {
public:
    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    // Raises the list-index error outside 0 .. Count - 1.
    Item& Items(std::int32_t index) const {
        if (index < 0 || index >= Count()) RaiseListIndexError(index);
        return *items_[static_cast<std::size_t>(index)];
    }
    // Takes ownership of Entry; returns its index.
    std::int32_t Add(std::unique_ptr<Item> entry) {
        items_.push_back(std::move(entry));
        return Count() - 1;
    }
    void Clear() {
        while (!items_.empty()) items_.pop_back();
    }

    // Full copies of the entries of a list of the same kind.
    void Assign(const TPersistent& source) override {
        auto* other = dynamic_cast<const TmsOwningList*>(&source);
        if (other == nullptr) {
            TPersistent::Assign(source);
            return;
        }
        if (other == this) return;
        Clear();
        for (const auto& src : other->items_) {
            auto copy = std::make_unique<Item>();
            copy->Assign(*src);
            Add(std::move(copy));
        }
    }

    // "Items" is written only when the list has entries.
    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override {
        if (Count() == 0) return;
        writer.WritePropName(prefix + "Items");
        WriteItems(writer);
    }
    bool ReadProperty(ComponentReader& reader, std::string_view name) override {
        if (name != "Items") return false;
        ReadItems(reader);
        return true;
    }
    void WriteItems(ComponentWriter& writer) const {
        writer.WriteListBegin();
        for (const auto& item : items_) WriteItem(writer, *item);
        writer.WriteListEnd();
    }
    void ReadItems(ComponentReader& reader) {
        Clear();
        reader.ReadListBegin();
        while (!reader.EndOfList()) {
            auto entry = std::make_unique<Item>();
            ReadItem(reader, *entry);
            Add(std::move(entry));
        }
        reader.ReadListEnd();
    }

    class Iterator {
    public:
        using Base = typename std::vector<std::unique_ptr<Item>>::const_iterator;
        explicit Iterator(Base it) : it_(it) {}
        Item& operator*() const { return **it_; }
        Item* operator->() const { return it_->get(); }
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

protected:
    // One entry's values in the "Items" list.
    virtual void WriteItem(ComponentWriter& writer, const Item& item) const = 0;
    // Raises EReadError for a value the entry cannot take.
    virtual void ReadItem(ComponentReader& reader, Item& item) const = 0;

private:
    std::vector<std::unique_ptr<Item>> items_;
};

}  // namespace quillpost
