#pragma once
// Makes the Nth system operation of the calling thread fail, through the
// platform's fault injector: counting every kind, or one kind only.
#include <optional>

#include "platform/fault_injection.h"

namespace quillpost::testing {

class NthOperationFails : public platform::FaultInjector {
public:
    explicit NthOperationFails(int n, std::optional<platform::FaultPoint> only = std::nullopt)
        : n_(n), only_(only) {
        platform::SetFaultInjector(this);
    }
    ~NthOperationFails() { platform::SetFaultInjector(nullptr); }
    NthOperationFails(const NthOperationFails&) = delete;
    NthOperationFails& operator=(const NthOperationFails&) = delete;

    bool Fail(platform::FaultPoint point) noexcept override {
        if (only_ && point != *only_) return false;
        if (++count != n_) return false;
        failed = point;
        return true;
    }

    // Operations counted so far, and the one made to fail.
    int count = 0;
    std::optional<platform::FaultPoint> failed;

private:
    int n_;
    std::optional<platform::FaultPoint> only_;
};

}  // namespace quillpost::testing
