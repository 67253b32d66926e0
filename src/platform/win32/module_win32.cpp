#include "platform/module.h"

#include <mutex>
#include <string>

#include "platform/ansi_text.h"
#include "util/errors.h"

namespace quillpost::platform {
namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

std::wstring ThisModulePathW() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The library is loaded on first use rather than while the DLL initialises:
// the loader lock is held then, and the automation library may not be loaded
// yet. Once loaded it stays for the life of the module.
struct TTypeLibraryState {
    std::once_flag once;
    ITypeLib* library = nullptr;
    HRESULT result = E_UNEXPECTED;
};
TTypeLibraryState& TypeLibraryState() {
    static TTypeLibraryState state;
    std::call_once(state.once, [&] {
        const std::wstring path = ThisModulePathW();
        state.result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &state.library);
    });
    return state;
}

std::string WithClass(const char* format, std::string_view className) {
    std::string text(format);
    text.replace(text.find("%s"), 2, className);
    return text;
}

}  // namespace

std::string ThisModulePath() {
    const std::wstring path = ThisModulePathW();
    return WideToAnsi(std::u16string(path.begin(), path.end()));
}

void ShowErrorBox(std::string_view caption, std::string_view text) {
    MessageBoxA(nullptr, std::string(text).c_str(), std::string(caption).c_str(),
                MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
}

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    TTypeLibraryState& state = TypeLibraryState();
    if (FAILED(state.result)) return state.result;
    return state.library->GetTypeInfoOfGuid(guid, out);
}

HRESULT RegisterModuleTypeLibrary(const std::string& modulePath) {
    TTypeLibraryState& state = TypeLibraryState();
    if (FAILED(state.result)) return state.result;
    std::u16string wide = AnsiToWide(modulePath);
    std::wstring path(wide.begin(), wide.end());
    std::wstring helpDir = path;
    return RegisterTypeLib(state.library, path.data(), helpDir.data());
}

HRESULT UnregisterTypeLibrary(REFGUID libid, WORD major, WORD minor, LCID lcid) {
    // Older automation libraries lack the function: then there is nothing to undo.
    using TUnregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE automation = GetModuleHandleA("oleaut32.dll");
    if (automation == nullptr) return S_OK;
    auto unregister =
        reinterpret_cast<TUnregister>(reinterpret_cast<void*>(GetProcAddress(automation, "UnRegisterTypeLib")));
    if (unregister == nullptr) return S_OK;
    return unregister(libid, major, minor, lcid, SYS_WIN32);
}

void CheckClassTypeInfo(REFCLSID classId, REFIID dispatchId, std::string_view className) {
    ITypeInfo* coclass = nullptr;
    if (FAILED(ModuleTypeInfo(classId, &coclass)) || coclass == nullptr)
        throw EQuillpostError(WithClass("Type information missing for class %s", className));
    TYPEATTR* attr = nullptr;
    bool isCoclass = false;
    bool hasDispatch = false;
    if (SUCCEEDED(coclass->GetTypeAttr(&attr))) {
        isCoclass = attr->typekind == TKIND_COCLASS;
        for (WORD i = 0; isCoclass && i < attr->cImplTypes; ++i) {
            INT flags = 0;
            HREFTYPE ref = 0;
            ITypeInfo* implemented = nullptr;
            if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || !(flags & IMPLTYPEFLAG_FDEFAULT) ||
                FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
                FAILED(coclass->GetRefTypeInfo(ref, &implemented)))
                continue;
            TYPEATTR* implAttr = nullptr;
            if (SUCCEEDED(implemented->GetTypeAttr(&implAttr))) {
                hasDispatch = IsEqualGUID(implAttr->guid, dispatchId) &&
                              (implAttr->wTypeFlags & TYPEFLAG_FDUAL);
                implemented->ReleaseTypeAttr(implAttr);
            }
            implemented->Release();
        }
        coclass->ReleaseTypeAttr(attr);
    }
    coclass->Release();
    if (!isCoclass)
        throw EQuillpostError(WithClass("Incorrect type information for class %s", className));
    if (!hasDispatch)
        throw EQuillpostError(WithClass("Dispatch interface missing from class %s", className));
}

}  // namespace quillpost::platform
