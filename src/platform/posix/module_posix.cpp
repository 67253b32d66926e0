#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/module.h"

namespace quillpost::platform {

std::string ThisModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ThisModulePath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
    return info.dli_fname;
}

void ShowErrorBox(std::string_view caption, std::string_view text) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
}

HRESULT ModuleTypeInfo(REFGUID, ITypeInfo** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT RegisterModuleTypeLibrary(const std::string&) { return E_NOTIMPL; }

HRESULT UnregisterTypeLibrary(REFGUID, WORD, WORD, LCID) { return E_NOTIMPL; }

void CheckClassTypeInfo(REFCLSID, REFIID, std::string_view) {}

TTypeDescription DescribeTypeInfo(ITypeInfo*) { return {}; }

}  // namespace quillpost::platform
