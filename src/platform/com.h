#pragma once
// The COM and OLE Automation types under their Windows names: the system's
// own headers on Windows, our small layer (posix/com_posix.h) elsewhere. The
// COM server and its C++ hosts include only this.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>
#else
#include "platform/posix/com_posix.h"
#endif

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace quillpost::platform {

// Prepares the calling thread for COM (a single-threaded apartment on
// Windows; nothing to do elsewhere). Pair with ComUninitialize.
HRESULT ComInitialize();
void ComUninitialize();

// Creates an object of the class registered under ProgId, in process, and
// returns its IID interface: CLSIDFromProgID and CoCreateInstance on Windows;
// elsewhere the registry store gives the class and its library, which is
// loaded (and kept loaded) and asked for its class factory.
// CO_E_CLASSSTRING: no such ProgID; REGDB_E_CLASSNOTREG: no library
// registered for the class; CO_E_DLLNOTFOUND / CO_E_ERRORINDLL: the library
// cannot be loaded or lacks DllGetClassObject.
HRESULT CreateObject(std::string_view progId, REFIID iid, void** out);

// Loads the in-process server library at Path (kept loaded) and asks it for
// the class object of Clsid: what CreateObject does after the registry
// lookup. For installers and tests.
HRESULT GetServerClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** out);

// Calls one of the library's exports that take no argument
// (DllRegisterServer, DllUnregisterServer, DllCanUnloadNow).
// CO_E_DLLNOTFOUND / CO_E_ERRORINDLL as above.
HRESULT CallServerExport(const std::string& path, const char* name);

// Text and BSTR: Null becomes the empty text; the result of ToBstr is owned
// by the caller (null when out of memory).
std::u16string FromBstr(BSTR text);
BSTR ToBstr(std::u16string_view text);

// Holds one reference to an interface of type T and releases it when the
// holder goes or holds another. Copies add a reference; moves hand it on.
// The only place outside an object's own IUnknown that counts references.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(std::nullptr_t) {}
    // Takes over a reference the caller owns.
    static TComPtr Adopt(T* p) {
        TComPtr r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own to P.
    static TComPtr Share(T* p) {
        if (p != nullptr) p->AddRef();
        return Adopt(p);
    }
    TComPtr(const TComPtr& other) : p_(other.p_) {
        if (p_ != nullptr) p_->AddRef();
    }
    TComPtr(TComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~TComPtr() { Reset(); }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For a call that hands out a reference: the one held is released first.
    T** Out() {
        Reset();
        return &p_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// Owns one BSTR (null is the empty text) and frees it when it goes.
class TBstr {
public:
    TBstr() = default;
    // Raises std::bad_alloc when the string cannot be made.
    explicit TBstr(std::u16string_view text);
    // Takes over a BSTR the caller owns.
    static TBstr Adopt(BSTR text) {
        TBstr r;
        r.text_ = text;
        return r;
    }
    TBstr(TBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    TBstr& operator=(TBstr&& other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    ~TBstr() { Reset(); }

    void Reset() { SysFreeString(std::exchange(text_, nullptr)); }
    BSTR Get() const { return text_; }
    std::u16string Text() const { return FromBstr(text_); }
    // For a call that hands out a BSTR: the one held is freed first.
    BSTR* Out() {
        Reset();
        return &text_;
    }
    // Hands the BSTR to the caller.
    BSTR Detach() { return std::exchange(text_, nullptr); }

private:
    BSTR text_ = nullptr;
};

// Frees the strings an IDispatch::Invoke left in an EXCEPINFO.
struct TExcepInfoHolder {
    EXCEPINFO info{};
    TExcepInfoHolder() = default;
    TExcepInfoHolder(const TExcepInfoHolder&) = delete;
    TExcepInfoHolder& operator=(const TExcepInfoHolder&) = delete;
    ~TExcepInfoHolder() {
        for (BSTR text : {info.bstrSource, info.bstrDescription, info.bstrHelpFile})
            TBstr::Adopt(text);
    }
};

}  // namespace quillpost::platform
