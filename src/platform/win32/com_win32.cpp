#include "platform/ansi_text.h"
#include "platform/com.h"

namespace quillpost::platform {
namespace {

// Loaded libraries stay loaded: objects they made may still be alive.
HMODULE LoadServer(const std::string& path) { return LoadLibraryA(path.c_str()); }

FARPROC Export(HMODULE module, const char* name) { return GetProcAddress(module, name); }

}  // namespace

HRESULT ComInitialize() { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

void ComUninitialize() { CoUninitialize(); }

HRESULT CreateObject(std::string_view progId, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const std::u16string wide = AnsiToWide(progId);
    const std::wstring name(wide.begin(), wide.end());
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

HRESULT GetServerClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HMODULE module = LoadServer(path);
    if (module == nullptr) return CO_E_DLLNOTFOUND;
    using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<TGetClassObject>(
        reinterpret_cast<void*>(Export(module, "DllGetClassObject")));
    if (get == nullptr) return CO_E_ERRORINDLL;
    return get(clsid, iid, out);
}

HRESULT CallServerExport(const std::string& path, const char* name) {
    HMODULE module = LoadServer(path);
    if (module == nullptr) return CO_E_DLLNOTFOUND;
    using TEntry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(Export(module, name)));
    if (entry == nullptr) return CO_E_ERRORINDLL;
    return entry();
}

}  // namespace quillpost::platform
