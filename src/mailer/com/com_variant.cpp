#include "mailer/com/com_variant.h"

#include <cstdint>

#include "mailer/com/com_ids.h"

namespace quillpost::com {
namespace {

// One kind per line reads best.
// clang-format off

// The kinds the dispatcher takes as they are, or widened to one it knows;
// false for the rest.
bool DirectValue(const VARIANT& v, VARTYPE vt, bool ref, TVariant& out) {
    switch (vt) {
        case VT_EMPTY: out = TVariant(); break;
        case VT_NULL: out = TVariant::Null(); break;
        case VT_I2: out = TVariant::I2(ref ? *v.piVal : v.iVal); break;
        case VT_I4: out = TVariant::I4(static_cast<std::int32_t>(ref ? *v.plVal : v.lVal)); break;
        case VT_UI1: out = TVariant::Ui1(ref ? *v.pbVal : v.bVal); break;
        case VT_BOOL: out = TVariant::Bool(ref ? *v.pboolVal : v.boolVal); break;
        case VT_ERROR:
            out = TVariant::Error(static_cast<std::int32_t>(ref ? *v.pscode : v.scode));
            break;
        case VT_R8: out = TVariant::R8(ref ? *v.pdblVal : v.dblVal); break;
        case VT_R4: out = TVariant::R8(ref ? *v.pfltVal : v.fltVal); break;
        case VT_BSTR:
            out = TVariant::Bstr(platform::FromBstr(ref ? *v.pbstrVal : v.bstrVal));
            break;
        case VT_I1: out = TVariant::I4(ref ? *v.pcVal : v.cVal); break;
        case VT_UI2: out = TVariant::I4(ref ? *v.puiVal : v.uiVal); break;
        case VT_INT: out = TVariant::I4(ref ? *v.pintVal : v.intVal); break;
        case VT_UI4: out = TVariant::R8(static_cast<double>(ref ? *v.pulVal : v.ulVal)); break;
        case VT_UINT: out = TVariant::R8(static_cast<double>(ref ? *v.puintVal : v.uintVal)); break;
        case VT_I8: out = TVariant::R8(static_cast<double>(ref ? *v.pllVal : v.llVal)); break;
        case VT_UI8: out = TVariant::R8(static_cast<double>(ref ? *v.pullVal : v.ullVal)); break;
        default: return false;
    }
    return true;
}

// clang-format on

// Currency, decimals, dates and objects: the system converts them, a date to
// its text, the rest to a number (or their text when they have no number).
HRESULT ConvertedValue(const VARIANT& v, VARTYPE vt, TVariant& out) {
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&v), kTypeLibLocale, 0,
                                     vt == VT_DATE ? VT_BSTR : VT_R8);
    if (FAILED(hr))
        hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&v), kTypeLibLocale, 0, VT_BSTR);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    if (converted.vt == VT_R8) {
        out = TVariant::R8(converted.dblVal);
        return S_OK;
    }
    // The holder frees the text even when copying it fails.
    const auto text = platform::TBstr::Adopt(converted.bstrVal);
    out = TVariant::Bstr(text.Text());
    return S_OK;
}

}  // namespace

HRESULT FromComVariant(const VARIANT& in, TVariant& out) {
    const VARIANT* v = &in;
    if (v->vt == (VT_VARIANT | VT_BYREF)) {
        if (v->pvarVal == nullptr || v->pvarVal->vt == (VT_VARIANT | VT_BYREF))
            return DISP_E_TYPEMISMATCH;
        v = v->pvarVal;
    }
    const bool ref = (v->vt & VT_BYREF) != 0;
    const VARTYPE vt = static_cast<VARTYPE>(v->vt & ~VT_BYREF);
    if (ref && v->byref == nullptr) return DISP_E_TYPEMISMATCH;
    if (DirectValue(*v, vt, ref, out)) return S_OK;
    return ConvertedValue(*v, vt, out);
}

// clang-format off
HRESULT ToComVariant(const TVariant& in, VARIANT& out) {
    VariantInit(&out);
    switch (in.Type()) {
        case kVtEmpty: return S_OK;
        case kVtNull: out.vt = VT_NULL; return S_OK;
        case kVtI2: out.vt = VT_I2; out.iVal = in.AsI2(); return S_OK;
        case kVtI4: out.vt = VT_I4; out.lVal = in.AsI4(); return S_OK;
        case kVtUi1: out.vt = VT_UI1; out.bVal = in.AsUi1(); return S_OK;
        case kVtBool: out.vt = VT_BOOL; out.boolVal = in.AsBool(); return S_OK;
        case kVtError: out.vt = VT_ERROR; out.scode = in.AsError(); return S_OK;
        case kVtR8: out.vt = VT_R8; out.dblVal = in.AsR8(); return S_OK;
        case kVtBstr:
            out.bstrVal = platform::ToBstr(in.AsBstr());
            if (out.bstrVal == nullptr) return E_OUTOFMEMORY;
            out.vt = VT_BSTR;
            return S_OK;
        default: return DISP_E_TYPEMISMATCH;
    }
}
// clang-format on

}  // namespace quillpost::com
