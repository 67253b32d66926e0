#include "cli/com_mailer.h"

#include <utility>
#include <vector>

#include "base/ascii.h"
#include "mailer/com/com_ids.h"
#include "util/errors.h"

namespace quillpost::cli {
namespace {

using com::TVariant;

// Owns the VARIANTs of one call and clears them, BSTRs included.
class TVariants {
public:
    explicit TVariants(std::size_t count) : values_(count) {
        for (VARIANT& v : values_) VariantInit(&v);
    }
    ~TVariants() {
        for (VARIANT& v : values_) VariantClear(&v);
    }
    TVariants(const TVariants&) = delete;
    TVariants& operator=(const TVariants&) = delete;
    VARIANT* data() { return values_.data(); }
    VARIANT& operator[](std::size_t i) { return values_[i]; }

private:
    std::vector<VARIANT> values_;
};

// One kind per line reads best.
// clang-format off
// The automation value as a VARIANT; E_OUTOFMEMORY when a BSTR cannot be made.
com::HResult ToVariant(const TVariant& value, VARIANT& out) {
    switch (value.Type()) {
        case com::kVtEmpty: out.vt = VT_EMPTY; return S_OK;
        case com::kVtNull: out.vt = VT_NULL; return S_OK;
        case com::kVtI2: out.vt = VT_I2; out.iVal = value.AsI2(); return S_OK;
        case com::kVtI4: out.vt = VT_I4; out.lVal = value.AsI4(); return S_OK;
        case com::kVtUi1: out.vt = VT_UI1; out.bVal = value.AsUi1(); return S_OK;
        case com::kVtBool: out.vt = VT_BOOL; out.boolVal = value.AsBool(); return S_OK;
        case com::kVtError: out.vt = VT_ERROR; out.scode = value.AsError(); return S_OK;
        case com::kVtR8: out.vt = VT_R8; out.dblVal = value.AsR8(); return S_OK;
        case com::kVtBstr:
            out.bstrVal = platform::ToBstr(value.AsBstr());
            if (out.bstrVal == nullptr) return E_OUTOFMEMORY;
            out.vt = VT_BSTR;
            return S_OK;
        default: return DISP_E_TYPEMISMATCH;
    }
}

// A result VARIANT as an automation value. Kinds the front end has no use for
// are turned into text first, as a script would print them.
com::HResult FromVariant(VARIANT& value, TVariant& out) {
    switch (value.vt) {
        case VT_EMPTY: out = TVariant(); return S_OK;
        case VT_NULL: out = TVariant::Null(); return S_OK;
        case VT_I2: out = TVariant::I2(value.iVal); return S_OK;
        case VT_I4: out = TVariant::I4(value.lVal); return S_OK;
        case VT_UI1: out = TVariant::Ui1(value.bVal); return S_OK;
        case VT_BOOL: out = TVariant::Bool(value.boolVal); return S_OK;
        case VT_ERROR: out = TVariant::Error(value.scode); return S_OK;
        case VT_R8: out = TVariant::R8(value.dblVal); return S_OK;
        case VT_BSTR: out = TVariant::Bstr(platform::FromBstr(value.bstrVal)); return S_OK;
        default: {
            VARIANT text;
            VariantInit(&text);
            const HRESULT hr = VariantChangeTypeEx(&text, &value, com::kTypeLibLocale, 0, VT_BSTR);
            if (SUCCEEDED(hr)) out = TVariant::Bstr(platform::FromBstr(text.bstrVal));
            VariantClear(&text);
            return hr;
        }
    }
}

// clang-format on

bool IsClassMissing(HRESULT hr) {
    return hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == CO_E_DLLNOTFOUND;
}

}  // namespace

com::HResult TComMailer::Create(const std::string& serverLibrary,
                                std::unique_ptr<TComMailer>& out) {
    out.reset();
    platform::TComPtr<IDispatch> dispatch;
    HRESULT hr = platform::CreateObject(com::kMailerProgId, IID_IDispatch, dispatch.OutVoid());
    if (IsClassMissing(hr) && !serverLibrary.empty()) {
        const HRESULT registered = platform::CallServerExport(serverLibrary, "DllRegisterServer");
        if (FAILED(registered)) return registered;
        hr = platform::CreateObject(com::kMailerProgId, IID_IDispatch, dispatch.OutVoid());
    }
    if (FAILED(hr)) return hr;
    if (!dispatch) return E_POINTER;
    out = std::make_unique<TComMailer>(std::move(dispatch));
    return S_OK;
}

com::HResult TComMailer::Invoke(std::string_view name, std::uint16_t flags,
                                std::span<const com::TVariant> args, com::TVariant* result,
                                com::TExcepInfo* excep) {
    // The name as a BSTR doubles as the LPOLESTR GetIDsOfNames wants.
    platform::TBstr memberName(std::u16string(name.begin(), name.end()));
    BSTR names[] = {memberName.Get()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, com::kTypeLibLocale, &id);
    if (FAILED(hr)) return hr;

    // IDispatch takes the arguments last first.
    TVariants values(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        hr = ToVariant(args[i], values[args.size() - 1 - i]);
        if (FAILED(hr)) return hr;
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    TVariants returned(1);
    platform::TExcepInfoHolder raised;
    UINT argErr = 0;
    hr = dispatch_->Invoke(id, IID_NULL, com::kTypeLibLocale, flags, &params,
                           result ? &returned[0] : nullptr, &raised.info, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (raised.info.pfnDeferredFillIn != nullptr) raised.info.pfnDeferredFillIn(&raised.info);
        if (excep != nullptr) {
            excep->code = raised.info.wCode;
            excep->record.source = platform::FromBstr(raised.info.bstrSource);
            excep->record.description = platform::FromBstr(raised.info.bstrDescription);
            excep->record.helpFile = platform::FromBstr(raised.info.bstrHelpFile);
            excep->record.helpContext = raised.info.dwHelpContext;
            excep->scode = raised.info.scode;
        }
        return hr;
    }
    if (FAILED(hr)) return hr;
    if (result != nullptr) {
        const HRESULT converted = FromVariant(returned[0], *result);
        if (FAILED(converted)) return converted;
    }
    return hr;
}

void TComMailer::ComposeMessage(TStream&) {
    throw ENotAvailable("ComposeMessage is not available through COM");
}

void TComMailer::SetSendProgress(TProgressHandler) {}

bool NeedsInProcessMailer(std::span<const std::string> args, bool progressBar) {
    for (const std::string& arg : args) {
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) continue;
        std::string_view name = std::string_view(arg).substr(2);
        name = name.substr(0, name.find('='));
        if (SameTextIgnoringCase(name, "compose")) return true;
        if (progressBar && SameTextIgnoringCase(name, "SendMail")) return true;
    }
    return false;
}

}  // namespace quillpost::cli
