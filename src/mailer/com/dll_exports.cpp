// The four entry points of the in-process server library. Nothing may
// escape them: every failure becomes an HRESULT.
#include "mailer/com/class_factory.h"
#include "mailer/com/registration.h"
#include "platform/com.h"
#include "platform/module.h"

STDAPI DllUnregisterServer() {
    try {
        quillpost::com::UnregisterServer();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

STDAPI DllRegisterServer() {
    try {
        quillpost::com::RegisterServer(quillpost::platform::ThisModulePath());
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

STDAPI DllCanUnloadNow() { return quillpost::com::CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    try {
        return quillpost::com::GetClassObject(rclsid, riid, ppv);
    } catch (...) {
        return E_UNEXPECTED;
    }
}
