#include <dlfcn.h>

#include "platform/com.h"
#include "platform/registry.h"

namespace quillpost::platform {
namespace {

// Libraries stay loaded: objects they made may still be alive, and this
// layer has no CoFreeUnusedLibraries.
void* Export(const std::string& path, const char* name, HRESULT& hr) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        hr = CO_E_DLLNOTFOUND;
        return nullptr;
    }
    void* entry = dlsym(library, name);
    hr = entry != nullptr ? S_OK : CO_E_ERRORINDLL;
    return entry;
}

// GUID texts are ASCII: no code page is involved.
std::string GuidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return std::string(text, text + 38);
}

std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

HRESULT ComInitialize() { return S_OK; }

void ComUninitialize() {}

HRESULT GetServerClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HRESULT hr = S_OK;
    void* entry = Export(path, "DllGetClassObject", hr);
    if (entry == nullptr) return hr;
    using TGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
    return reinterpret_cast<TGetClassObject>(entry)(clsid, iid, out);
}

HRESULT CallServerExport(const std::string& path, const char* name) {
    HRESULT hr = S_OK;
    void* entry = Export(path, name, hr);
    if (entry == nullptr) return hr;
    using TEntry = HRESULT (*)();
    return reinterpret_cast<TEntry>(entry)();
}

HRESULT CreateObject(std::string_view progId, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!RegistryStoreFault().empty()) return E_ACCESSDENIED;
    const std::optional<std::string> clsidText =
        RegistryReadString(std::string(progId) + "\\Clsid", "");
    CLSID clsid;
    if (!clsidText || FAILED(CLSIDFromString(Widen(*clsidText).c_str(), &clsid)))
        return CO_E_CLASSSTRING;
    const std::optional<std::string> path =
        RegistryReadString("CLSID\\" + GuidText(clsid) + "\\InprocServer32", "");
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;

    TComPtr<IClassFactory> factory;
    const HRESULT hr = GetServerClassObject(*path, clsid, IID_IClassFactory, factory.OutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out);
}

}  // namespace quillpost::platform
