#include <mutex>
#include <string>

#include "base/errors.h"
#include "platform/ansi_text.h"
#include "platform/module.h"

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
        const DWORD n =
            GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
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
    auto unregister = reinterpret_cast<TUnregister>(
        reinterpret_cast<void*>(GetProcAddress(automation, "UnRegisterTypeLib")));
    if (unregister == nullptr) return S_OK;
    // Only the entry of the platform this library was registered for (win32
    // or win64): the other bitness's server may still be registered there.
    SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    TTypeLibraryState& state = TypeLibraryState();
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(state.result) && SUCCEEDED(state.library->GetLibAttr(&attr))) {
        platform = attr->syskind;
        state.library->ReleaseTLibAttr(attr);
    }
    return unregister(libid, major, minor, lcid, platform);
}

namespace {

// Runs F when it goes: gives back what ITypeInfo lends (TYPEATTR, FUNCDESC)
// on every path, exceptions included.
template <typename F>
struct TOnExit {
    F f;
    ~TOnExit() { f(); }
};
template <typename F>
TOnExit(F) -> TOnExit<F>;

// Whether the coclass's default interface is the dual interface DispatchId.
bool DefaultInterfaceIs(ITypeInfo* coclass, const TYPEATTR& attr, REFIID dispatchId) {
    for (WORD i = 0; i < attr.cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        TComPtr<ITypeInfo> implemented;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || !(flags & IMPLTYPEFLAG_FDEFAULT) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
            FAILED(coclass->GetRefTypeInfo(ref, implemented.Out())))
            continue;
        TYPEATTR* implAttr = nullptr;
        if (FAILED(implemented->GetTypeAttr(&implAttr))) continue;
        const TOnExit release{[&] { implemented->ReleaseTypeAttr(implAttr); }};
        if (IsEqualGUID(implAttr->guid, dispatchId) && (implAttr->wTypeFlags & TYPEFLAG_FDUAL))
            return true;
    }
    return false;
}

}  // namespace

void CheckClassTypeInfo(REFCLSID classId, REFIID dispatchId, std::string_view className) {
    TComPtr<ITypeInfo> coclass;
    if (FAILED(ModuleTypeInfo(classId, coclass.Out())) || !coclass)
        throw EQuillpostError(WithClass("Type information missing for class %s", className));
    TYPEATTR* attr = nullptr;
    bool isCoclass = false;
    bool hasDispatch = false;
    if (SUCCEEDED(coclass->GetTypeAttr(&attr))) {
        const TOnExit release{[&] { coclass->ReleaseTypeAttr(attr); }};
        isCoclass = attr->typekind == TKIND_COCLASS;
        hasDispatch = isCoclass && DefaultInterfaceIs(coclass.Get(), *attr, dispatchId);
    }
    if (!isCoclass)
        throw EQuillpostError(WithClass("Incorrect type information for class %s", className));
    if (!hasDispatch)
        throw EQuillpostError(WithClass("Dispatch interface missing from class %s", className));
}

namespace {

std::string Narrow(const TBstr& text) { return WideToAnsi(text.Text()); }

TTypeMember DescribeFunction(ITypeInfo* type, const FUNCDESC& f) {
    TTypeMember m;
    m.dispId = f.memid;
    m.kind = f.invkind;
    m.vtableOffset = f.oVft;
    TBstr names[16];
    BSTR raw[16] = {};
    UINT count = 0;
    type->GetNames(f.memid, raw, 16, &count);
    for (UINT n = 0; n < count; ++n) names[n] = TBstr::Adopt(raw[n]);
    for (UINT n = 1; n < count && static_cast<SHORT>(n) <= f.cParams; ++n)
        m.paramNames.push_back(Narrow(names[n]));
    if (count > 0) m.name = Narrow(names[0]);
    for (SHORT p = 0; p < f.cParams; ++p) {
        const ELEMDESC& e = f.lprgelemdescParam[p];
        if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
            m.result = e.tdesc.vt == VT_PTR ? e.tdesc.lptdesc->vt : e.tdesc.vt;
            if (m.paramNames.size() > m.paramTypes.size()) m.paramNames.resize(m.paramTypes.size());
        } else {
            m.paramTypes.push_back(e.tdesc.vt);
        }
    }
    TBstr help;
    if (SUCCEEDED(type->GetDocumentation(f.memid, nullptr, help.Out(), nullptr, nullptr)))
        m.help = Narrow(help);
    return m;
}

// Adds the members of Type's bases below IDispatch, then its own.
void AddMembers(ITypeInfo* type, TTypeDescription& d, int depth) {
    TYPEATTR* attr = nullptr;
    if (FAILED(type->GetTypeAttr(&attr))) return;
    const TOnExit release{[&] { type->ReleaseTypeAttr(attr); }};
    HREFTYPE ref = 0;
    TComPtr<ITypeInfo> base;
    if (depth < 8 && attr->cImplTypes > 0 && SUCCEEDED(type->GetRefTypeOfImplType(0, &ref)) &&
        SUCCEEDED(type->GetRefTypeInfo(ref, base.Out()))) {
        TBstr baseName;
        base->GetDocumentation(MEMBERID_NIL, baseName.Out(), nullptr, nullptr, nullptr);
        const std::u16string text = baseName.Text();
        if (text != u"IDispatch" && text != u"IUnknown") AddMembers(base.Get(), d, depth + 1);
    }
    TBstr name;
    type->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(type->GetFuncDesc(i, &f))) continue;
        const TOnExit releaseFunction{[&] { type->ReleaseFuncDesc(f); }};
        d.members.push_back(DescribeFunction(type, *f));
        d.members.back().iface = Narrow(name);
    }
}

}  // namespace

TTypeDescription DescribeTypeInfo(ITypeInfo* info) {
    TTypeDescription d;
    if (info == nullptr) return d;
    // A dual interface's dispatch side lists IDispatch's entries too; its
    // interface side holds the members with their virtual-table offsets.
    TComPtr<ITypeInfo> vtable;
    HREFTYPE ref = 0;
    if (FAILED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
        FAILED(info->GetRefTypeInfo(ref, vtable.Out()))) {
        vtable = TComPtr<ITypeInfo>::Share(info);
    }
    TBstr name, help;
    if (SUCCEEDED(
            vtable->GetDocumentation(MEMBERID_NIL, name.Out(), help.Out(), nullptr, nullptr))) {
        d.name = Narrow(name);
        d.help = Narrow(help);
    }
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(vtable->GetTypeAttr(&attr))) {
        const TOnExit release{[&] { vtable->ReleaseTypeAttr(attr); }};
        d.flags = attr->wTypeFlags;
    }
    AddMembers(vtable.Get(), d, 0);
    return d;
}

}  // namespace quillpost::platform
