#pragma once
// The automation value as the dispatcher sees it: a platform-free stand-in
// for VARIANT that holds only the kinds a script can hand to IMailer. The
// Windows layer translates VARIANT to and from this type; the codes and type
// numbers equal the system's so that translation is a plain copy.
//
// The names differ from the system's on purpose (kVtBstr, not VT_BSTR): the
// Windows headers define the system's names as macros and enumerators, and
// both sets must coexist in the COM layer's translation unit.
#include <cstdint>
#include <string>
#include <string_view>

#include "util/ansi_types.h"

namespace quillpost::com {

using HResult = std::int32_t;
using DispId = std::int32_t;
using VarType = std::uint16_t;

// Result codes of the automation boundary.
inline constexpr HResult kS_OK = 0;
inline constexpr HResult kS_FALSE = 1;
inline constexpr HResult kE_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult kE_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kDISP_E_UNKNOWNINTERFACE = static_cast<HResult>(0x80020001u);
inline constexpr HResult kDISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003u);
inline constexpr HResult kDISP_E_PARAMNOTFOUND = static_cast<HResult>(0x80020004u);
inline constexpr HResult kDISP_E_TYPEMISMATCH = static_cast<HResult>(0x80020005u);
inline constexpr HResult kDISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006u);
inline constexpr HResult kDISP_E_EXCEPTION = static_cast<HResult>(0x80020009u);
inline constexpr HResult kDISP_E_OVERFLOW = static_cast<HResult>(0x8002000Au);
inline constexpr HResult kDISP_E_BADINDEX = static_cast<HResult>(0x8002000Bu);
inline constexpr HResult kDISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000Eu);

inline constexpr bool Failed(HResult hr) { return hr < 0; }

// Value kinds, numbered as the system numbers them.
inline constexpr VarType kVtEmpty = 0;
inline constexpr VarType kVtNull = 1;
inline constexpr VarType kVtI2 = 2;
inline constexpr VarType kVtI4 = 3;
inline constexpr VarType kVtR8 = 5;
inline constexpr VarType kVtBstr = 8;
inline constexpr VarType kVtError = 10;
inline constexpr VarType kVtBool = 11;
inline constexpr VarType kVtUi1 = 17;

// An automation value. Strings are UTF-16 like a BSTR; a null BSTR is the
// empty string here (scripts cannot tell the two apart and the core treats
// them alike). Numbers keep their declared width.
class TVariant {
public:
    TVariant() = default;  // empty

    static TVariant Null() { return TVariant(kVtNull); }
    static TVariant I2(std::int16_t v) { return Integer(kVtI2, v); }
    static TVariant I4(std::int32_t v) { return Integer(kVtI4, v); }
    static TVariant Ui1(std::uint8_t v) { return Integer(kVtUi1, v); }
    // Stores the 16-bit Boolean unchanged; only conversions make it -1/0.
    static TVariant Bool(WordBool v) { return Integer(kVtBool, v); }
    static TVariant R8(double v);
    static TVariant Bstr(std::u16string v);
    // An error code value; DISP_E_PARAMNOTFOUND marks an omitted argument.
    static TVariant Error(HResult scode) { return Integer(kVtError, scode); }
    static TVariant Missing() { return Error(kDISP_E_PARAMNOTFOUND); }

    VarType Type() const { return type_; }
    bool IsMissing() const { return type_ == kVtError && integer_ == kDISP_E_PARAMNOTFOUND; }

    // Accessors of the stored value; each expects its own kind.
    std::int16_t AsI2() const { return static_cast<std::int16_t>(integer_); }
    std::int32_t AsI4() const { return integer_; }
    std::uint8_t AsUi1() const { return static_cast<std::uint8_t>(integer_); }
    WordBool AsBool() const { return static_cast<WordBool>(integer_); }
    HResult AsError() const { return integer_; }
    double AsR8() const { return real_; }
    const std::u16string& AsBstr() const { return text_; }

    friend bool operator==(const TVariant& a, const TVariant& b);

private:
    explicit TVariant(VarType type) : type_(type) {}
    static TVariant Integer(VarType type, std::int32_t v) {
        TVariant r(type);
        r.integer_ = v;
        return r;
    }

    VarType type_ = kVtEmpty;
    std::int32_t integer_ = 0;
    double real_ = 0.0;
    std::u16string text_;
};

// Converts Source to the kind To as an automation host coerces arguments
// (the default rules, US English number format):
//   empty   -> 0, "" or false;  null and error values -> DISP_E_TYPEMISMATCH
//   numbers -> narrower integers: rounded half to even, DISP_E_OVERFLOW when
//              out of range
//   text    -> numbers: digits with "," grouping, a decimal part and an
//              exponent, amid blanks, a leading or trailing sign, "$" and
//              parentheses for a negative amount; or &H / &O radix forms
//              (kept as bit patterns of the target width); anything else is
//              DISP_E_TYPEMISMATCH
//   text    -> Boolean: exactly "True"/"False" (or "#TRUE#"/"#FALSE#")
//              without regard to case, or a number
//   numbers -> Boolean: non-zero is -1;  Boolean -> numbers: its value
//   numbers and Booleans -> text: decimal digits (a Boolean gives "-1"/"0"),
//              reals with 15 significant digits ("1E+20", "1E-05")
// On failure Out is left unchanged.
HResult ChangeType(const TVariant& source, VarType to, TVariant& out);

}  // namespace quillpost::com
