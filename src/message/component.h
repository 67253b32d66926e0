#pragma once
// Base of the message model's components: a persistent object with an
// optional owner and the user's Tag, which streams before the class's own
// published properties.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "message/persistent.h"

namespace quillpost {

class TComponent : public TPersistent {
public:
    // Told when a component it refers to (without owning it) is destroyed, so
    // it can drop the reference.
    class TFreeObserver {
    public:
        virtual void ComponentFreed(TComponent& component) = 0;

    protected:
        ~TFreeObserver() = default;
    };

    // The owner is not owned and does not destroy this component: lifetimes
    // are those of the unique_ptr or member that holds it.
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    ~TComponent() override;

    // Observer hears of this component's destruction until it is removed.
    void FreeNotification(TFreeObserver* observer);
    void RemoveFreeNotification(TFreeObserver* observer);

    TComponent* Owner() const { return owner_; }
    std::int32_t Tag() const { return tag_; }
    void SetTag(std::int32_t value) { tag_ = value; }

    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;

private:
    TComponent* owner_;
    std::vector<TFreeObserver*> freeObservers_;
    std::int32_t tag_ = 0;
};

// Enumerations stream by identifier. Reads one and returns its index in
// Names; an identifier outside Names raises EReadError.
std::int32_t ReadEnumIdent(ComponentReader& reader, const char* const* names, std::int32_t count,
                           std::string_view property);

}  // namespace quillpost
