#include "message/component.h"

#include "message/component_stream.h"
#include "util/errors.h"

namespace quillpost {

TComponent::~TComponent() {
    // An observer may remove itself while it is told.
    std::vector<TFreeObserver*> observers;
    observers.swap(freeObservers_);
    for (TFreeObserver* observer : observers) observer->ComponentFreed(*this);
}

void TComponent::FreeNotification(TFreeObserver* observer) {
    if (observer == nullptr) return;
    for (TFreeObserver* known : freeObservers_)
        if (known == observer) return;
    freeObservers_.push_back(observer);
}

void TComponent::RemoveFreeNotification(TFreeObserver* observer) {
    std::erase(freeObservers_, observer);
}

void TComponent::WriteProperties(ComponentWriter& writer, const std::string& prefix) const {
    if (tag_ != 0) writer.WriteInteger(prefix + "Tag", tag_);
}

bool TComponent::ReadProperty(ComponentReader& reader, std::string_view name) {
    if (name != "Tag") return false;
    tag_ = reader.ReadInteger();
    return true;
}

std::int32_t ReadEnumIdent(ComponentReader& reader, const char* const* names, std::int32_t count,
                           std::string_view property) {
    const std::string ident = reader.ReadIdent();
    for (std::int32_t i = 0; i < count; ++i)
        if (ident == names[i]) return i;
    throw EReadError("Invalid property value " + ident + " for " + std::string(property));
}

}  // namespace quillpost
