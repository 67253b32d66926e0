#include <dlfcn.h>

#include <climits>
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

HRESULT ModuleTypeInfo(REFGUID, ITypeInfo** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT RegisterModuleTypeLibrary(const std::string&) { return E_NOTIMPL; }

HRESULT UnregisterTypeLibrary(REFGUID, WORD, WORD, LCID) { return E_NOTIMPL; }

void CheckClassTypeInfo(REFCLSID, REFIID, std::string_view) {}

TTypeDescription DescribeTypeInfo(ITypeInfo*) { return {}; }

}  // namespace quillpost::platform
