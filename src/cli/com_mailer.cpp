#include "cli/com_mailer.h"

#include <utility>
#include <vector>

#include "base/ascii.h"
#include "mailer/com/com_ids.h"
#include "mailer/com/com_variant.h"
#include "util/errors.h"

namespace quillpost::cli {
namespace {

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
        hr = com::ToComVariant(args[i], values[args.size() - 1 - i]);
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
        const HRESULT converted = com::FromComVariant(returned[0], *result);
        if (FAILED(converted)) return converted;
    }
    return hr;
}

bool NeedsInProcessMailer(std::span<const std::string> args) {
    for (const std::string& arg : args) {
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) continue;
        std::string_view name = std::string_view(arg).substr(2);
        name = name.substr(0, name.find('='));
        if (SameTextIgnoringCase(name, "compose")) return true;
    }
    return false;
}

}  // namespace quillpost::cli
