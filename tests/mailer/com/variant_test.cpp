#include "mailer/com/variant.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>

namespace quillpost::com {
namespace {

std::string Show(const TVariant& v) {
    switch (v.Type()) {
        case kVtEmpty:
            return "empty";
        case kVtNull:
            return "null";
        case kVtI2:
            return "I2 " + std::to_string(v.AsI2());
        case kVtI4:
            return "I4 " + std::to_string(v.AsI4());
        case kVtUi1:
            return "UI1 " + std::to_string(v.AsUi1());
        case kVtBool:
            return "BOOL " + std::to_string(v.AsBool());
        case kVtR8:
            return "R8 " + std::to_string(v.AsR8());
        case kVtError:
            return "ERROR " + std::to_string(v.AsError());
        case kVtBstr:
            return "BSTR \"" + std::string(v.AsBstr().begin(), v.AsBstr().end()) + "\"";
        default:
            return "?";
    }
}

struct Case {
    const char* label;
    TVariant from;
    VarType to;
    HResult hr;
    TVariant expected;  // meaningful when hr is S_OK
};

void Check(const Case& c) {
    SCOPED_TRACE(c.label);
    const TVariant sentinel = TVariant::I4(-424242);
    TVariant out = sentinel;
    const HResult hr = ChangeType(c.from, c.to, out);
    EXPECT_EQ(hr, c.hr) << std::hex << hr;
    if (c.hr == kS_OK)
        EXPECT_EQ(out, c.expected) << Show(out);
    else
        EXPECT_EQ(out, sentinel) << "a failed conversion must leave the target alone";
}

TVariant S(const char16_t* s) { return TVariant::Bstr(s); }

TEST(ChangeType, TextToIntegers) {
    const Case cases[] = {
        {"plain", S(u"5"), kVtI2, kS_OK, TVariant::I2(5)},
        {"blanks and sign", S(u" \t-12 "), kVtI2, kS_OK, TVariant::I2(-12)},
        {"grouping", S(u"1,000"), kVtI2, kS_OK, TVariant::I2(1000)},
        {"half to even down", S(u"2.5"), kVtI2, kS_OK, TVariant::I2(2)},
        {"half to even up", S(u"3.5"), kVtI2, kS_OK, TVariant::I2(4)},
        {"negative half", S(u"-2.5"), kVtI2, kS_OK, TVariant::I2(-2)},
        {"exponent", S(u"1e3"), kVtI2, kS_OK, TVariant::I2(1000)},
        {"largest I2", S(u"32767"), kVtI2, kS_OK, TVariant::I2(32767)},
        {"smallest I2", S(u"-32768"), kVtI2, kS_OK, TVariant::I2(-32768)},
        {"rounds onto smallest", S(u"-32768.5"), kVtI2, kS_OK, TVariant::I2(-32768)},
        {"one past I2", S(u"32768"), kVtI2, kDISP_E_OVERFLOW, {}},
        {"one below I2", S(u"-32769"), kVtI2, kDISP_E_OVERFLOW, {}},
        {"rounds past I2", S(u"32767.5"), kVtI2, kDISP_E_OVERFLOW, {}},
        {"fits I4", S(u"70000"), kVtI4, kS_OK, TVariant::I4(70000)},
        {"past I4", S(u"2147483648"), kVtI4, kDISP_E_OVERFLOW, {}},
        {"huge exponent", S(u"1e999"), kVtI4, kDISP_E_OVERFLOW, {}},
        {"tiny exponent", S(u"1e-999"), kVtI4, kS_OK, TVariant::I4(0)},
        {"hex bit pattern", S(u"&HFFFF"), kVtI2, kS_OK, TVariant::I2(-1)},
        {"hex too wide", S(u"&H10000"), kVtI2, kDISP_E_OVERFLOW, {}},
        {"hex into I4", S(u"&HFFFFFFFF"), kVtI4, kS_OK, TVariant::I4(-1)},
        {"octal", S(u"&O17"), kVtI2, kS_OK, TVariant::I2(15)},
        {"octal bad digit", S(u"&O8"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"empty", S(u""), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"word", S(u"abc"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"trailing junk", S(u"5x"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"inner blank", S(u"1 2"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"parentheses", S(u" ($1,250) "), kVtI2, kS_OK, TVariant::I2(-1250)},
        {"trailing sign", S(u"5 -"), kVtI2, kS_OK, TVariant::I2(-5)},
        {"sign apart from digits", S(u"- 5"), kVtI2, kS_OK, TVariant::I2(-5)},
        {"two signs", S(u"+5-"), kVtI2, kS_OK, TVariant::I2(-5)},
        {"repeated sign", S(u"--5"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"unclosed parenthesis", S(u"(5"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"hex amid blanks", S(u" &H10 "), kVtI2, kS_OK, TVariant::I2(16)},
        {"exponent without digits", S(u"1e"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"leading grouping", S(u",5"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"full-width digit", S(u"\uFF15"), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"byte overflow", S(u"256"), kVtUi1, kDISP_E_OVERFLOW, {}},
    };
    for (const Case& c : cases) Check(c);
}

TEST(ChangeType, BetweenNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"I4 into I2", TVariant::I4(-5), kVtI2, kS_OK, TVariant::I2(-5)},
        {"I4 too wide", TVariant::I4(70000), kVtI2, kDISP_E_OVERFLOW, {}},
        {"R8 half to even", TVariant::R8(4.5), kVtI2, kS_OK, TVariant::I2(4)},
        {"R8 into I4 edge", TVariant::R8(2147483647.4), kVtI4, kS_OK, TVariant::I4(2147483647)},
        {"R8 past I4", TVariant::R8(2147483647.5), kVtI4, kDISP_E_OVERFLOW, {}},
        {"NaN", TVariant::R8(nan), kVtI2, kDISP_E_OVERFLOW, {}},
        {"infinity",
         TVariant::R8(std::numeric_limits<double>::infinity()),
         kVtI4,
         kDISP_E_OVERFLOW,
         {}},
        {"byte widens", TVariant::Ui1(200), kVtI2, kS_OK, TVariant::I2(200)},
        {"negative into byte", TVariant::I2(-1), kVtUi1, kDISP_E_OVERFLOW, {}},
        {"text into R8", S(u"2.25"), kVtR8, kS_OK, TVariant::R8(2.25)},
    };
    for (const Case& c : cases) Check(c);
}

TEST(ChangeType, Booleans) {
    const Case cases[] = {
        {"integer non-zero", TVariant::I2(5), kVtBool, kS_OK, TVariant::Bool(-1)},
        {"integer zero", TVariant::I4(0), kVtBool, kS_OK, TVariant::Bool(0)},
        {"small real", TVariant::R8(0.1), kVtBool, kS_OK, TVariant::Bool(-1)},
        {"True", S(u"True"), kVtBool, kS_OK, TVariant::Bool(-1)},
        {"false any case", S(u"fALSE"), kVtBool, kS_OK, TVariant::Bool(0)},
        {"word amid blanks", S(u" True"), kVtBool, kDISP_E_TYPEMISMATCH, {}},
        {"hash form", S(u"#true#"), kVtBool, kS_OK, TVariant::Bool(-1)},
        {"numeric with blanks", S(u" 0 "), kVtBool, kS_OK, TVariant::Bool(0)},
        {"numeric text", S(u"2"), kVtBool, kS_OK, TVariant::Bool(-1)},
        {"yes", S(u"yes"), kVtBool, kDISP_E_TYPEMISMATCH, {}},
        {"empty text", S(u""), kVtBool, kDISP_E_TYPEMISMATCH, {}},
        {"odd Boolean stays as it is", TVariant::Bool(1), kVtBool, kS_OK, TVariant::Bool(1)},
        {"Boolean into I2", TVariant::Bool(-1), kVtI2, kS_OK, TVariant::I2(-1)},
        {"odd Boolean into I2", TVariant::Bool(1), kVtI2, kS_OK, TVariant::I2(1)},
        {"Boolean into text", TVariant::Bool(-1), kVtBstr, kS_OK, S(u"-1")},
    };
    for (const Case& c : cases) Check(c);
}

TEST(ChangeType, IntoTextAndFromEmptyNullAndErrors) {
    const Case cases[] = {
        {"I2", TVariant::I2(-7), kVtBstr, kS_OK, S(u"-7")},
        {"I4", TVariant::I4(2147483647), kVtBstr, kS_OK, S(u"2147483647")},
        {"real", TVariant::R8(2.5), kVtBstr, kS_OK, S(u"2.5")},
        {"big real", TVariant::R8(1e20), kVtBstr, kS_OK, S(u"1E+20")},
        {"small real", TVariant::R8(1.5e-7), kVtBstr, kS_OK, S(u"1.5E-07")},
        {"15 digits", TVariant::R8(1.2345678901234567e17), kVtBstr, kS_OK,
         S(u"1.23456789012346E+17")},
        {"1E+15", TVariant::R8(1e15), kVtBstr, kS_OK, S(u"1E+15")},
        {"negative zero", TVariant::R8(-0.0), kVtBstr, kS_OK, S(u"0")},
        {"empty to I2", TVariant(), kVtI2, kS_OK, TVariant::I2(0)},
        {"empty to text", TVariant(), kVtBstr, kS_OK, S(u"")},
        {"null to I2", TVariant::Null(), kVtI2, kDISP_E_TYPEMISMATCH, {}},
        {"null to text", TVariant::Null(), kVtBstr, kDISP_E_TYPEMISMATCH, {}},
        {"missing to text", TVariant::Missing(), kVtBstr, kDISP_E_TYPEMISMATCH, {}},
        {"text with NUL kept", TVariant::Bstr(std::u16string(u"a\0b", 3)), kVtBstr, kS_OK,
         TVariant::Bstr(std::u16string(u"a\0b", 3))},
    };
    for (const Case& c : cases) Check(c);
}

}  // namespace
}  // namespace quillpost::com
