#include "mailer/com/mailer_object.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "mailer/com/class_factory.h"
#include "mailer/com/com_ids.h"
#include "platform/ansi_text.h"
#include "platform/module.h"

namespace quillpost::com {
namespace {

constexpr TMemberKind kMethod = TMemberKind::Method;
constexpr TMemberKind kGet = TMemberKind::PropertyGet;
constexpr TMemberKind kPut = TMemberKind::PropertyPut;

TVariant Text(BSTR v) { return TVariant::Bstr(platform::FromBstr(v)); }
TVariant Flag(VARIANT_BOOL v) { return TVariant::Bool(v); }
TVariant Short(SHORT v) { return TVariant::I2(v); }
TVariant Long(LONG v) { return TVariant::I4(static_cast<std::int32_t>(v)); }

std::u16string_view View(const OLECHAR* text) {
    if (text == nullptr) return {};
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return {reinterpret_cast<const char16_t*>(text), n};
}

// Runs Body; an exception that escapes it (the argument conversions are in
// there) becomes the error record and E_UNEXPECTED like any member failure.
template <typename TBody>
HRESULT Guard(TBody body) {
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
    SetErrorRecord(record);
    return E_UNEXPECTED;
}

// The value of one automation argument as the dispatcher takes it: by-reference
// arguments are read through, a null BSTR is empty text, and the numeric kinds
// the dispatcher does not know are brought to one it knows first.
HRESULT ToTVariant(const VARIANT& in, TVariant& out) {
    const VARIANT* v = &in;
    if (v->vt == (VT_VARIANT | VT_BYREF)) {
        if (v->pvarVal == nullptr || v->pvarVal->vt == (VT_VARIANT | VT_BYREF))
            return DISP_E_TYPEMISMATCH;
        v = v->pvarVal;
    }
    const bool ref = (v->vt & VT_BYREF) != 0;
    const VARTYPE vt = static_cast<VARTYPE>(v->vt & ~VT_BYREF);
    if (ref && v->byref == nullptr) return DISP_E_TYPEMISMATCH;
    switch (vt) {
        case VT_EMPTY:
            out = TVariant();
            return S_OK;
        case VT_NULL:
            out = TVariant::Null();
            return S_OK;
        case VT_I2:
            out = TVariant::I2(ref ? *v->piVal : v->iVal);
            return S_OK;
        case VT_I4:
            out = TVariant::I4(static_cast<std::int32_t>(ref ? *v->plVal : v->lVal));
            return S_OK;
        case VT_UI1:
            out = TVariant::Ui1(ref ? *v->pbVal : v->bVal);
            return S_OK;
        case VT_BOOL:
            out = TVariant::Bool(ref ? *v->pboolVal : v->boolVal);
            return S_OK;
        case VT_ERROR:
            out = TVariant::Error(static_cast<std::int32_t>(ref ? *v->pscode : v->scode));
            return S_OK;
        case VT_R8:
            out = TVariant::R8(ref ? *v->pdblVal : v->dblVal);
            return S_OK;
        case VT_R4:
            out = TVariant::R8(ref ? *v->pfltVal : v->fltVal);
            return S_OK;
        case VT_BSTR:
            out = TVariant::Bstr(platform::FromBstr(ref ? *v->pbstrVal : v->bstrVal));
            return S_OK;
        case VT_I1:
            out = TVariant::I4(ref ? *v->pcVal : v->cVal);
            return S_OK;
        case VT_UI2:
            out = TVariant::I4(ref ? *v->puiVal : v->uiVal);
            return S_OK;
        case VT_INT:
            out = TVariant::I4(ref ? *v->pintVal : v->intVal);
            return S_OK;
        case VT_UI4:
            out = TVariant::R8(static_cast<double>(ref ? *v->pulVal : v->ulVal));
            return S_OK;
        case VT_UINT:
            out = TVariant::R8(static_cast<double>(ref ? *v->puintVal : v->uintVal));
            return S_OK;
        case VT_I8:
            out = TVariant::R8(static_cast<double>(ref ? *v->pllVal : v->llVal));
            return S_OK;
        case VT_UI8:
            out = TVariant::R8(static_cast<double>(ref ? *v->pullVal : v->ullVal));
            return S_OK;
        default:
            break;
    }
    // Currency, decimals, dates and objects: the system converts them, a
    // date to its text, the rest to a number (or their text when they have
    // no number).
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(v), kTypeLibLocale, 0,
                                     vt == VT_DATE ? VT_BSTR : VT_R8);
    if (FAILED(hr))
        hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(v), kTypeLibLocale, 0, VT_BSTR);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    if (converted.vt == VT_R8) {
        out = TVariant::R8(converted.dblVal);
    } else {
        try {
            out = TVariant::Bstr(platform::FromBstr(converted.bstrVal));
        } catch (...) {
            VariantClear(&converted);
            throw;
        }
    }
    VariantClear(&converted);
    return S_OK;
}

HRESULT FromTVariant(const TVariant& in, VARIANT& out) {
    VariantInit(&out);
    switch (in.Type()) {
        case kVtEmpty:
            return S_OK;
        case kVtNull:
            out.vt = VT_NULL;
            return S_OK;
        case kVtI2:
            out.vt = VT_I2;
            out.iVal = in.AsI2();
            return S_OK;
        case kVtI4:
            out.vt = VT_I4;
            out.lVal = in.AsI4();
            return S_OK;
        case kVtUi1:
            out.vt = VT_UI1;
            out.bVal = in.AsUi1();
            return S_OK;
        case kVtBool:
            out.vt = VT_BOOL;
            out.boolVal = in.AsBool();
            return S_OK;
        case kVtError:
            out.vt = VT_ERROR;
            out.scode = in.AsError();
            return S_OK;
        case kVtR8:
            out.vt = VT_R8;
            out.dblVal = in.AsR8();
            return S_OK;
        case kVtBstr:
            out.bstrVal = platform::ToBstr(in.AsBstr());
            if (out.bstrVal == nullptr) return E_OUTOFMEMORY;
            out.vt = VT_BSTR;
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

BSTR OptionalBstr(const std::u16string& text) {
    return text.empty() ? nullptr : platform::ToBstr(text);
}

}  // namespace

void SetErrorRecord(const TErrorRecord& record) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || create == nullptr) return;
    // The setters take writable strings.
    std::u16string source = record.source;
    std::u16string description = record.description;
    std::u16string helpFile = record.helpFile;
    create->SetGUID(kIID_IMailer);
    create->SetSource(reinterpret_cast<LPOLESTR>(source.data()));
    create->SetDescription(reinterpret_cast<LPOLESTR>(description.data()));
    create->SetHelpFile(reinterpret_cast<LPOLESTR>(helpFile.data()));
    create->SetHelpContext(record.helpContext);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) &&
        info != nullptr) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
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
    TMailerObject* object = nullptr;
    try {
        // From here the reference count owns the object (see TInner::Release).
        object = std::unique_ptr<TMailerObject>(new TMailerObject(outer)).release();
    } catch (const std::exception& e) {
        std::string text = e.what();
        if (text.empty() || text.back() != '.') text += '.';
        platform::ShowErrorBox("VAD Error", text);
        return E_UNEXPECTED;
    }
    const HRESULT hr = object->inner_.QueryInterface(iid, out);
    object->inner_.Release();  // the creation reference; the last one when IID is missing
    return hr;
}

HRESULT STDMETHODCALLTYPE TMailerObject::TInner::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    IUnknown* found = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        found = this;
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIID_IMailer)) {
        found = static_cast<IMailer*>(&owner_);
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
    return platform::ModuleTypeInfo(kIID_IMailer, ppTInfo);
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
            const HRESULT hr = ToTVariant(pDispParams->rgvarg[i], args[i]);
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
            SetErrorRecord(excep.record);
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
        if (pVarResult != nullptr) return FromTVariant(result, *pVarResult);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// --- ISupportErrorInfo ---

HRESULT STDMETHODCALLTYPE TMailerObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                   IsEqualIID(riid, kIID_IMailer) || IsEqualIID(riid, IID_ISupportErrorInfo)
               ? S_OK
               : S_FALSE;
}

// --- IMailer ---

HRESULT TMailerObject::Run(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                           TVariant& result) {
    TErrorRecord record;
    const HRESULT hr = dispatcher_.CallMember(
        dispId, kind, std::span<const TVariant>(args.begin(), args.size()), &result, &record);
    if (hr == kE_UNEXPECTED) SetErrorRecord(record);
    return hr;
}

HRESULT TMailerObject::Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                            SHORT* out) {
    if (out == nullptr) return E_POINTER;
    TVariant result;
    const HRESULT hr = Run(dispId, kind, args, result);
    if (SUCCEEDED(hr)) *out = result.AsI2();
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

// The entries below mirror the member table row by row.
// clang-format off
HRESULT STDMETHODCALLTYPE TMailerObject::SendMail(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(1, kMethod, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearAttachments() {
    return Guard([&] { return Call(2, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::AddAttachment(BSTR strAttach, VARIANT_BOOL* Value) {
    return Guard([&] { return Call(3, kMethod, {Text(strAttach)}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::AddRecipient(BSTR strName, BSTR strAddress, VARIANT_BOOL* Value) {
    return Guard([&] { return Call(4, kMethod, {Text(strName), Text(strAddress)}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearRecipients() {
    return Guard([&] { return Call(5, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::AddCC(BSTR strName, BSTR strAddress, VARIANT_BOOL* Value) {
    return Guard([&] { return Call(6, kMethod, {Text(strName), Text(strAddress)}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearCCs() {
    return Guard([&] { return Call(7, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::AddBCC(BSTR strName, BSTR strAddress, VARIANT_BOOL* Value) {
    return Guard([&] { return Call(8, kMethod, {Text(strName), Text(strAddress)}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearBCCs() {
    return Guard([&] { return Call(9, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearAllRecipients() {
    return Guard([&] { return Call(10, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearBodyText() {
    return Guard([&] { return Call(11, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::GetBodyTextFromFile(BSTR strInputFile, VARIANT_BOOL bolEraseInputFile, VARIANT_BOOL bolShowWindow, VARIANT_BOOL* Value) {
    return Guard([&] { return Call(12, kMethod, {Text(strInputFile), Flag(bolEraseInputFile), Flag(bolShowWindow)}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::ClearExtraHeaders() {
    return Guard([&] { return Call(13, kMethod, {}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::AddExtraHeader(BSTR strExtraHeader, VARIANT_BOOL* Value) {
    return Guard([&] { return Call(14, kMethod, {Text(strExtraHeader)}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_RemoteHost(BSTR* Value) {
    return Guard([&] { return Call(15, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_RemoteHost(BSTR Value) {
    return Guard([&] { return Call(15, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Subject(BSTR* Value) {
    return Guard([&] { return Call(16, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_Subject(BSTR Value) {
    return Guard([&] { return Call(16, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_FromName(BSTR* Value) {
    return Guard([&] { return Call(17, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_FromName(BSTR Value) {
    return Guard([&] { return Call(17, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_FromAddress(BSTR* Value) {
    return Guard([&] { return Call(18, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_FromAddress(BSTR Value) {
    return Guard([&] { return Call(18, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_ReplyTo(BSTR* Value) {
    return Guard([&] { return Call(19, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_ReplyTo(BSTR Value) {
    return Guard([&] { return Call(19, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_ContentType(BSTR* Value) {
    return Guard([&] { return Call(20, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_ContentType(BSTR Value) {
    return Guard([&] { return Call(20, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_BodyText(BSTR Value) {
    return Guard([&] { return Call(21, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_SMTPLog(BSTR* Value) {
    return Guard([&] { return Call(22, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_SMTPLog(BSTR Value) {
    return Guard([&] { return Call(22, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Encoding(SHORT* Value) {
    return Guard([&] { return Call(23, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_Encoding(SHORT Value) {
    return Guard([&] { return Call(23, kPut, {Short(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_CharSet(SHORT* Value) {
    return Guard([&] { return Call(24, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_CharSet(SHORT Value) {
    return Guard([&] { return Call(24, kPut, {Short(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Priority(SHORT* Value) {
    return Guard([&] { return Call(25, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_Priority(SHORT Value) {
    return Guard([&] { return Call(25, kPut, {Short(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Response(BSTR* Value) {
    return Guard([&] { return Call(26, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Urgent(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(27, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_Urgent(VARIANT_BOOL Value) {
    return Guard([&] { return Call(27, kPut, {Flag(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Version(BSTR* Value) {
    return Guard([&] { return Call(28, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_PGPPath(BSTR* Value) {
    return Guard([&] { return Call(30, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_PGPPath(BSTR Value) {
    return Guard([&] { return Call(30, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_PGPParams(BSTR* Value) {
    return Guard([&] { return Call(31, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_PGPParams(BSTR Value) {
    return Guard([&] { return Call(31, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_TimeOut(SHORT* Value) {
    return Guard([&] { return Call(32, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_TimeOut(SHORT Value) {
    return Guard([&] { return Call(32, kPut, {Short(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_ConfirmRead(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(33, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_ConfirmRead(VARIANT_BOOL Value) {
    return Guard([&] { return Call(33, kPut, {Flag(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_ReturnReceipt(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(34, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_ReturnReceipt(VARIANT_BOOL Value) {
    return Guard([&] { return Call(34, kPut, {Flag(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_UseMSMailHeaders(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(35, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_UseMSMailHeaders(VARIANT_BOOL Value) {
    return Guard([&] { return Call(35, kPut, {Flag(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_WordWrap(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(36, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_WordWrap(VARIANT_BOOL Value) {
    return Guard([&] { return Call(36, kPut, {Flag(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_WordWrapLen(SHORT* Value) {
    return Guard([&] { return Call(37, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_WordWrapLen(SHORT Value) {
    return Guard([&] { return Call(37, kPut, {Short(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::MarkRegistry(LONG thdModel) {
    return Guard([&] { return Call(38, kMethod, {Long(thdModel)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_DateTime(BSTR* Value) {
    return Guard([&] { return Call(39, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_DateTime(BSTR Value) {
    return Guard([&] { return Call(39, kPut, {Text(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::get_Live(VARIANT_BOOL* Value) {
    return Guard([&] { return Call(40, kGet, {}, Value);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_Live(VARIANT_BOOL Value) {
    return Guard([&] { return Call(40, kPut, {Flag(Value)}, nullptr);});
}

HRESULT STDMETHODCALLTYPE TMailerObject::put_PGPTimeOut(LONG Value) {
    return Guard([&] { return Call(42, kPut, {Long(Value)}, nullptr);});
}
// clang-format on

}  // namespace quillpost::com
