#include "mailer/com/class_factory.h"

#include <atomic>
#include <mutex>

#include "mailer/com/com_ids.h"
#include "mailer/com/mailer_object.h"
#include "platform/module.h"

namespace quillpost::com {
namespace {

std::atomic<long> objectCount{0};
std::atomic<long> lockCount{0};

// Lives as long as the module: its reference count is not its lifetime, and
// handing it out does not keep the module loaded (LockServer does).
class TMailerFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return TMailerObject::Create(outer, iid, out);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++lockCount;
        } else {
            --lockCount;
        }
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
};

TMailerFactory factory;

// The class is checked against the type library once, when it is first asked for.
HRESULT CheckClass() {
    static std::once_flag once;
    static HRESULT result = S_OK;
    std::call_once(once, [] {
        try {
            platform::CheckClassTypeInfo(kCLSID_Mailer, kIID_IMailer2, kClassName);
        } catch (...) {
            result = E_UNEXPECTED;
        }
    });
    return result;
}

}  // namespace

void ObjectCreated() { ++objectCount; }

void ObjectDestroyed() { --objectCount; }

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kCLSID_Mailer)) return CLASS_E_CLASSNOTAVAILABLE;
    const HRESULT hr = CheckClass();
    if (FAILED(hr)) return hr;
    return factory.QueryInterface(iid, out);
}

HRESULT CanUnloadNow() { return objectCount == 0 && lockCount == 0 ? S_OK : S_FALSE; }

}  // namespace quillpost::com
