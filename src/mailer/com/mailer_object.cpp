#include "mailer/com/mailer_object.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "mailer/com/class_factory.h"
#include "mailer/com/com_ids.h"
#include "mailer/com/com_variant.h"
#include "platform/ansi_text.h"
#include "platform/module.h"

namespace quillpost::com {
namespace {

// An argument of a virtual-table entry as the automation value of its row's
// type (a Boolean and a 16-bit number arrive alike).
template <VarType Type>
TVariant In(BSTR v) {
    return TVariant::Bstr(platform::FromBstr(v));
}
template <VarType Type>
TVariant In(SHORT v) {
    return Type == kVtBool ? TVariant::Bool(v) : TVariant::I2(v);
}
template <VarType Type>
TVariant In(LONG v) {
    return TVariant::I4(static_cast<std::int32_t>(v));
}

// The interface whose error records a member's failures are.
const IID& InterfaceOf(DispId dispId) {
    for (const TMemberInfo& row : MailerMembers())
        if (row.dispId == dispId)
            return row.iface == TInterface::IMailer2 ? kIID_IMailer2 : kIID_IMailer;
    return kIID_IMailer;
}

std::u16string_view View(const OLECHAR* text) {
    if (text == nullptr) return {};
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return {reinterpret_cast<const char16_t*>(text), n};
}

// Runs Body; an exception that escapes it (the argument conversions are in
// there) becomes the error record and E_UNEXPECTED like any member failure.
template <typename TBody>
HRESULT Guard(DispId dispId, TBody body) {
    TErrorRecord record;
    try {
        return body();
    } catch (const std::bad_alloc&) {
        record.description = u"Out of memory";
    } catch (const std::exception& e) {
        try {
            record.description = platform::TextToWide(e.what());
        } catch (...) {
        }
    } catch (...) {
    }
    record.source = kMailerProgIdW;
    SetErrorRecord(record, dispId);
    return E_UNEXPECTED;
}

BSTR OptionalBstr(const std::u16string& text) {
    return text.empty() ? nullptr : platform::ToBstr(text);
}

}  // namespace

void SetErrorRecord(const TErrorRecord& record, DispId dispId) {
    // Out of memory here leaves the thread without a record; it never
    // escapes the entry that reports the failure.
    try {
        platform::TComPtr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.Out())) || !create) return;
        // The setters take writable strings.
        std::u16string source = record.source;
        std::u16string description = record.description;
        std::u16string helpFile = record.helpFile;
        create->SetGUID(InterfaceOf(dispId));
        create->SetSource(reinterpret_cast<LPOLESTR>(source.data()));
        create->SetDescription(reinterpret_cast<LPOLESTR>(description.data()));
        create->SetHelpFile(reinterpret_cast<LPOLESTR>(helpFile.data()));
        create->SetHelpContext(record.helpContext);
        platform::TComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.OutVoid())) && info)
            SetErrorInfo(0, info.Get());
    } catch (const std::bad_alloc&) {
    }
}

// --- creation and lifetime ---

TMailerObject::TMailerObject(IUnknown* outer) : outer_(outer != nullptr ? outer : &inner_) {
    ObjectCreated();
}

TMailerObject::~TMailerObject() { ObjectDestroyed(); }

HRESULT TMailerObject::Create(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    // An aggregate must hold the object's own IUnknown to control its life.
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    // A failure is the caller's to report, as a member's is: a message box
    // from a server under IIS or a service would wait for a click that
    // never comes.
    std::unique_ptr<TMailerObject> made;
    const HRESULT hr = Guard(kDispIdUnknown, [&] {
        made.reset(new TMailerObject(outer));
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    // From here the reference count owns the object (see TInner::Release);
    // the holder has the creation reference, the last one when IID is missing.
    const auto creation = platform::TComPtr<IUnknown>::Adopt(&made.release()->inner_);
    return creation->QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TMailerObject::TInner::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    IUnknown* found = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        found = this;
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIID_IMailer) ||
               IsEqualIID(riid, kIID_IMailer2)) {
        found = static_cast<IMailer2*>(&owner_);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        found = static_cast<ISupportErrorInfo*>(&owner_);
    }
    *ppv = found;
    if (found == nullptr) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE TMailerObject::TInner::AddRef() { return ++owner_.refs_; }

ULONG STDMETHODCALLTYPE TMailerObject::TInner::Release() {
    const ULONG left = --owner_.refs_;
    if (left == 0) std::unique_ptr<TMailerObject>{&owner_};
    return left;
}

HRESULT STDMETHODCALLTYPE TMailerObject::QueryInterface(REFIID riid, void** ppv) {
    return outer_->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE TMailerObject::AddRef() { return outer_->AddRef(); }

ULONG STDMETHODCALLTYPE TMailerObject::Release() { return outer_->Release(); }

// --- IDispatch ---

HRESULT STDMETHODCALLTYPE TMailerObject::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TMailerObject::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return platform::ModuleTypeInfo(kIID_IMailer2, ppTInfo);
}

HRESULT STDMETHODCALLTYPE TMailerObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames,
                                                       UINT cNames, LCID, DISPID* rgDispId) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (cNames == 0) return S_OK;
    if (rgszNames == nullptr || rgDispId == nullptr) return E_INVALIDARG;
    try {
        std::vector<std::u16string_view> names;
        for (UINT i = 0; i < cNames; ++i) names.push_back(View(rgszNames[i]));
        std::vector<DispId> ids(cNames, kDispIdUnknown);
        const HRESULT hr = dispatcher_.GetIDsOfNames(names, ids);
        for (UINT i = 0; i < cNames; ++i) rgDispId[i] = ids[i];
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE TMailerObject::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                                DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                                EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (pDispParams == nullptr) return E_INVALIDARG;
    if (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) return E_INVALIDARG;
    if (pDispParams->cNamedArgs > 0 && pDispParams->rgdispidNamedArgs == nullptr)
        return E_INVALIDARG;
    // A put, by value or by reference, is always the property put.
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        wFlags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    try {
        std::vector<TVariant> args(pDispParams->cArgs);
        for (UINT i = 0; i < pDispParams->cArgs; ++i) {
            const HRESULT hr = FromComVariant(pDispParams->rgvarg[i], args[i]);
            if (FAILED(hr)) {
                if (puArgErr != nullptr) *puArgErr = i;
                return hr;
            }
        }
        std::vector<DispId> named(pDispParams->rgdispidNamedArgs,
                                  pDispParams->rgdispidNamedArgs + pDispParams->cNamedArgs);
        TVariant result;
        TExcepInfo excep;
        std::uint32_t argErr = 0;
        const HRESULT hr = dispatcher_.Invoke(dispIdMember, wFlags, TDispParams{args, named},
                                              &result, &excep, &argErr);
        if (hr == DISP_E_EXCEPTION) {
            SetErrorRecord(excep.record, dispIdMember);
            if (pExcepInfo != nullptr) {
                std::memset(pExcepInfo, 0, sizeof *pExcepInfo);
                pExcepInfo->wCode = excep.code;
                pExcepInfo->bstrSource = OptionalBstr(excep.record.source);
                pExcepInfo->bstrDescription = OptionalBstr(excep.record.description);
                pExcepInfo->bstrHelpFile = OptionalBstr(excep.record.helpFile);
                pExcepInfo->dwHelpContext = excep.record.helpContext;
                pExcepInfo->scode = excep.scode;
            }
            return hr;
        }
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_OVERFLOW) {
            if (puArgErr != nullptr) *puArgErr = argErr;
            return hr;
        }
        if (FAILED(hr)) return hr;
        if (pVarResult != nullptr) return ToComVariant(result, *pVarResult);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// --- ISupportErrorInfo ---

HRESULT STDMETHODCALLTYPE TMailerObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                   IsEqualIID(riid, kIID_IMailer) || IsEqualIID(riid, kIID_IMailer2) ||
                   IsEqualIID(riid, IID_ISupportErrorInfo)
               ? S_OK
               : S_FALSE;
}

// --- IMailer ---

HRESULT TMailerObject::Run(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                           TVariant& result) {
    TErrorRecord record;
    const HRESULT hr = dispatcher_.CallMember(
        dispId, kind, std::span<const TVariant>(args.begin(), args.size()), &result, &record);
    if (hr == kE_UNEXPECTED) SetErrorRecord(record, dispId);
    return hr;
}

// A number or Boolean result; the value's 32 bits hold any of them.
template <typename TNumber>
HRESULT TMailerObject::Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                            TNumber* out) {
    if (out == nullptr) return E_POINTER;
    TVariant result;
    const HRESULT hr = Run(dispId, kind, args, result);
    if (SUCCEEDED(hr)) *out = static_cast<TNumber>(result.AsI4());
    return hr;
}

HRESULT TMailerObject::Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                            BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    TVariant result;
    HRESULT hr = Run(dispId, kind, args, result);
    if (SUCCEEDED(hr)) {
        *out = platform::ToBstr(result.AsBstr());
        if (*out == nullptr) hr = E_OUTOFMEMORY;
    }
    return hr;
}

HRESULT TMailerObject::Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                            std::nullptr_t) {
    TVariant result;
    return Run(dispId, kind, args, result);
}

// One entry per row of mailer_members.def: its arguments as automation
// values, the row run, the result written through Value.
#define QP_ENTRY_ARG(Type, name) , In<kVt##Type>(name)
#define QP_ENTRY_OUT_Void nullptr
#define QP_ENTRY_OUT_Bstr Value
#define QP_ENTRY_OUT_Bool Value
#define QP_ENTRY_OUT_I2 Value
#define QP_ENTRY_OUT_I4 Value
#define QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help)                         \
    HRESULT STDMETHODCALLTYPE TMailerObject::QP_ENTRY_NAME(Kind,                                  \
                                                           Name)(QP_ENTRY_PARAMS(Type, Params)) { \
        return Guard(kDisp##Name, [&] {                                                           \
            return Call(kDisp##Name, TMemberKind::Kind, {QP_TAIL(QP_MAP(QP_ENTRY_ARG, Params))},  \
                        QP_CAT(QP_ENTRY_OUT_, Type));                                             \
        });                                                                                       \
    }
#include "mailer/com/mailer_members.def"

}  // namespace quillpost::com
