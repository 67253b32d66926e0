#include "platform/fault_injection.h"

namespace quillpost::platform {
namespace {

thread_local FaultInjector* current = nullptr;

}  // namespace

void SetFaultInjector(FaultInjector* injector) noexcept { current = injector; }

bool InjectFault(FaultPoint point) noexcept { return current != nullptr && current->Fail(point); }

}  // namespace quillpost::platform
