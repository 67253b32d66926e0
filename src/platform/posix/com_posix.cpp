#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "platform/com.h"

using quillpost::platform::TBstr;
using quillpost::platform::TComPtr;

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

extern "C" {
const IID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo = {0x00020401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
}

// --- BSTR ---

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
    if (bytes > std::numeric_limits<std::uint32_t>::max() - sizeof(OLECHAR)) return nullptr;
    auto* block =
        static_cast<unsigned char*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    const auto prefix = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &prefix, sizeof prefix);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof prefix);
    if (text != nullptr) {
        std::memcpy(chars, text, bytes);
    } else {
        std::memset(chars, 0, bytes);
    }
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    UINT length = 0;
    while (text[length] != 0) ++length;
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t));
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - sizeof bytes, sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

// --- VARIANT ---

void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (v == nullptr) return E_INVALIDARG;
    switch (v->vt) {
        case VT_BSTR:
            TBstr::Adopt(v->bstrVal);  // and gone with the temporary
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            TComPtr<IUnknown>::Adopt(v->punkVal);
            break;
        default:
            break;
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* source) {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if (source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) {
        copy.punkVal = TComPtr<IUnknown>::Share(source->punkVal).Detach();  // the copy's own
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* source, LCID, USHORT, VARTYPE vt) {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (source->vt != vt) return DISP_E_TYPEMISMATCH;
    if (dest == source) return S_OK;
    return VariantCopy(dest, source);
}

// --- error information ---

namespace {

std::u16string Copy(LPCOLESTR text) {
    std::u16string r;
    if (text != nullptr)
        for (; *text != 0; ++text) r.push_back(*text);
    return r;
}

HRESULT ToBstr(const std::u16string& text, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// One error record; reachable as both of its interfaces.
class TErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        // The last reference owns the record.
        if (left == 0) std::unique_ptr<TErrorInfo>{this};
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return ToBstr(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override {
        return ToBstr(description_, out);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return ToBstr(helpFile_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = helpContext_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Store(source_, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return Store(description_, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Store(helpFile_, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        helpContext_ = context;
        return S_OK;
    }

private:
    static HRESULT Store(std::u16string& field, LPCOLESTR text) {
        try {
            field = Copy(text);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_ = GUID_NULL;
    std::u16string source_;
    std::u16string description_;
    std::u16string helpFile_;
    DWORD helpContext_ = 0;
};

// Each thread's current record. Released when replaced; a record still set
// when its thread ends is released then.
thread_local TComPtr<IErrorInfo> threadError;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    try {
        // The caller's reference owns the record from here on.
        *out = std::make_unique<TErrorInfo>().release();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
    threadError = TComPtr<IErrorInfo>::Share(info);
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
    if (info == nullptr) return E_INVALIDARG;
    *info = threadError.Detach();
    return *info != nullptr ? S_OK : S_FALSE;
}

// --- GUID text ---

int StringFromGUID2(REFGUID guid, LPOLESTR out, int size) {
    constexpr int kLength = 39;
    if (out == nullptr || size < kLength) return 0;
    static constexpr char kHex[] = "0123456789ABCDEF";
    int at = 0;
    auto put = [&](std::uint64_t value, int digits) {
        for (int d = digits - 1; d >= 0; --d) out[at++] = kHex[(value >> (4 * d)) & 0xF];
    };
    out[at++] = u'{';
    put(guid.Data1, 8);
    out[at++] = u'-';
    put(guid.Data2, 4);
    out[at++] = u'-';
    put(guid.Data3, 4);
    out[at++] = u'-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    out[at++] = u'-';
    for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
    out[at++] = u'}';
    out[at++] = 0;
    return at;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out) {
    if (text == nullptr || out == nullptr) return E_INVALIDARG;
    const std::u16string s = Copy(text);
    if (s.size() != 38 || s[0] != u'{' || s[37] != u'}' || s[9] != u'-' || s[14] != u'-' ||
        s[19] != u'-' || s[24] != u'-')
        return CO_E_CLASSSTRING;
    std::uint8_t bytes[16];
    int n = 0;
    for (std::size_t i = 1; i < 37 && n < 16;) {
        if (s[i] == u'-') {
            ++i;
            continue;
        }
        auto nibble = [](char16_t c) -> int {
            if (c >= u'0' && c <= u'9') return c - u'0';
            if (c >= u'a' && c <= u'f') return c - u'a' + 10;
            if (c >= u'A' && c <= u'F') return c - u'A' + 10;
            return -1;
        };
        const int hi = nibble(s[i]);
        const int lo = nibble(s[i + 1]);
        if (hi < 0 || lo < 0) return CO_E_CLASSSTRING;
        bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    if (n != 16) return CO_E_CLASSSTRING;
    out->Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                 (std::uint32_t{bytes[2]} << 8) | bytes[3];
    out->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return S_OK;
}
