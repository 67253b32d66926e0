#include "platform/com.h"

#include <new>

namespace quillpost::platform {

std::u16string FromBstr(BSTR text) {
    if (text == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

TBstr::TBstr(std::u16string_view text) : text_(ToBstr(text)) {
    if (text_ == nullptr) throw std::bad_alloc();
}

BSTR ToBstr(std::u16string_view text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

}  // namespace quillpost::platform
