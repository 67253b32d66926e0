#include "mailer/com/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "base/ascii.h"

namespace quillpost::com {
namespace {

inline constexpr HResult kDISP_E_BADVARTYPE = static_cast<HResult>(0x80020008u);

// A number read from text: either a decimal value or a radix (&H, &O) bit
// pattern, which the target width reinterprets.
struct TParsedNumber {
    bool radix = false;
    std::uint64_t bits = 0;
    double value = 0.0;
};

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads an &H or &O number. Returns DISP_E_OVERFLOW past 64 bits.
HResult ParseRadix(std::u16string_view s, TParsedNumber& out) {
    const unsigned shift = AsciiUpper(s[1]) == u'H' ? 4 : 3;
    s.remove_prefix(2);
    if (s.empty()) return kDISP_E_TYPEMISMATCH;
    std::uint64_t bits = 0;
    for (char16_t c : s) {
        unsigned digit;
        if (IsDigit(c))
            digit = c - u'0';
        else if (shift == 4 && AsciiUpper(c) >= u'A' && AsciiUpper(c) <= u'F')
            digit = AsciiUpper(c) - u'A' + 10;
        else
            return kDISP_E_TYPEMISMATCH;
        if (digit >= (1u << shift)) return kDISP_E_TYPEMISMATCH;
        if (bits >> (64 - shift)) return kDISP_E_OVERFLOW;
        bits = (bits << shift) | digit;
    }
    out.radix = true;
    out.bits = bits;
    return kS_OK;
}

// Appends the digits at I on (grouping commas dropped), a fraction and an
// exponent to Plain, leaving I after them. False without a digit before the
// exponent, or with an exponent without digits.
bool GatherDigits(std::u16string_view s, std::size_t& i, std::string& plain) {
    bool digits = false;
    for (; i < s.size(); ++i) {
        if (IsDigit(s[i])) {
            plain.push_back(static_cast<char>(s[i]));
            digits = true;
        } else if (s[i] == u',' && digits) {
            continue;
        } else {
            break;
        }
    }
    if (i < s.size() && s[i] == u'.') {
        plain.push_back('.');
        for (++i; i < s.size() && IsDigit(s[i]); ++i) {
            plain.push_back(static_cast<char>(s[i]));
            digits = true;
        }
    }
    if (!digits) return false;
    if (i < s.size() && AsciiUpper(s[i]) == u'E') {
        plain.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
            plain.push_back(static_cast<char>(s[i++]));
        bool expDigits = false;
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            plain.push_back(static_cast<char>(s[i]));
            expDigits = true;
        }
        if (!expDigits) return false;
    }
    return true;
}

// Plain as a double: too small to represent is zero, too large an overflow.
HResult ReadDecimal(const std::string& plain, double& value) {
    value = 0.0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        const auto e = plain.find('e');
        if (e != std::string::npos && plain.compare(e + 1, 1, "-") == 0)
            value = 0.0;
        else
            return kDISP_E_OVERFLOW;
    } else if (ec != std::errc() || end != plain.data() + plain.size()) {
        return kDISP_E_TYPEMISMATCH;
    }
    return kS_OK;
}

HResult ParseNumber(std::u16string_view text, TParsedNumber& out) {
    std::u16string_view s = Trim(text);
    if (s.size() >= 2 && s[0] == u'&' && (AsciiUpper(s[1]) == u'H' || AsciiUpper(s[1]) == u'O'))
        return ParseRadix(s, out);

    // Gather a plain ASCII form for the standard reader, dropping grouping
    // and the decorations a formatted amount may carry: a sign before or
    // after the digits, parentheses for a negative amount, a "$".
    std::string plain;
    std::size_t i = 0;
    bool negative = false, leadSign = false, trailSign = false;
    bool open = false, close = false, currency = false;
    const auto decoration = [&](bool leading) {
        const char16_t c = s[i];
        bool& sign = leading ? leadSign : trailSign;
        if ((c == u'+' || c == u'-') && !sign) {
            sign = true;
            negative = negative || c == u'-';
        } else if (c == u'(' && leading && !open) {
            open = true;
        } else if (c == u')' && !leading && open && !close) {
            close = true;
        } else if (c == u'$' && !currency) {
            currency = true;
        } else if (!IsBlank(c)) {
            return false;
        }
        ++i;
        return true;
    };
    while (i < s.size() && decoration(true)) {
    }
    if (!GatherDigits(s, i, plain)) return kDISP_E_TYPEMISMATCH;
    while (i < s.size() && decoration(false)) {
    }
    if (i != s.size() || open != close) return kDISP_E_TYPEMISMATCH;
    if (negative || open) plain.insert(plain.begin(), '-');

    out.radix = false;
    return ReadDecimal(plain, out.value);
}

// Rounds half to even, as the automation conversions do, and checks the range.
HResult RoundToInteger(double d, double lo, double hi, std::int64_t& out) {
    if (!std::isfinite(d)) return kDISP_E_OVERFLOW;
    double whole = std::floor(d);
    const double fraction = d - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < lo || whole > hi) return kDISP_E_OVERFLOW;
    out = static_cast<std::int64_t>(whole);
    return kS_OK;
}

// The numeric value of a radix pattern when no target width reinterprets it:
// the narrowest signed width that holds the digits.
double RadixValue(std::uint64_t bits) {
    if (bits <= 0xFFFF) return static_cast<std::int16_t>(bits);
    if (bits <= 0xFFFFFFFF) return static_cast<std::int32_t>(bits);
    return static_cast<double>(bits);
}

// The conversions read best one kind per line.
// clang-format off
// The numeric value of Source as a double, or the reason it has none.
HResult NumericValue(const TVariant& source, double& out) {
    switch (source.Type()) {
        case kVtEmpty: out = 0; return kS_OK;
        case kVtI2: out = source.AsI2(); return kS_OK;
        case kVtI4: out = source.AsI4(); return kS_OK;
        case kVtUi1: out = source.AsUi1(); return kS_OK;
        case kVtBool: out = source.AsBool(); return kS_OK;
        case kVtR8: out = source.AsR8(); return kS_OK;
        case kVtBstr: {
            TParsedNumber n;
            const HResult hr = ParseNumber(source.AsBstr(), n);
            if (Failed(hr)) return hr;
            out = n.radix ? RadixValue(n.bits) : n.value;
            return kS_OK;
        }
        default: return kDISP_E_TYPEMISMATCH;
    }
}

// clang-format on

HResult ToInteger(const TVariant& source, VarType to, TVariant& out) {
    std::int64_t lo = 0, hi = 0;
    std::uint64_t patternMax = 0;
    switch (to) {
        case kVtI2:
            lo = -32768;
            hi = 32767;
            patternMax = 0xFFFF;
            break;
        case kVtI4:
            lo = std::numeric_limits<std::int32_t>::min();
            hi = std::numeric_limits<std::int32_t>::max();
            patternMax = 0xFFFFFFFF;
            break;
        default:
            lo = 0;
            hi = 255;
            patternMax = 0xFF;
            break;
    }
    std::int64_t value = 0;
    TParsedNumber parsed;
    if (source.Type() == kVtBstr) {
        const HResult hr = ParseNumber(source.AsBstr(), parsed);
        if (Failed(hr)) return hr;
    }
    if (parsed.radix) {
        // &HFFFF is -1 as a 16-bit integer: the digits give the bit pattern.
        if (parsed.bits > patternMax) return kDISP_E_OVERFLOW;
        if (to == kVtI2)
            value = static_cast<std::int16_t>(parsed.bits);
        else if (to == kVtI4)
            value = static_cast<std::int32_t>(parsed.bits);
        else
            value = static_cast<std::int64_t>(parsed.bits);
    } else {
        double d = parsed.value;
        if (source.Type() != kVtBstr) {
            const HResult hr = NumericValue(source, d);
            if (Failed(hr)) return hr;
        }
        const HResult hr =
            RoundToInteger(d, static_cast<double>(lo), static_cast<double>(hi), value);
        if (Failed(hr)) return hr;
    }
    if (to == kVtI2)
        out = TVariant::I2(static_cast<std::int16_t>(value));
    else if (to == kVtI4)
        out = TVariant::I4(static_cast<std::int32_t>(value));
    else
        out = TVariant::Ui1(static_cast<std::uint8_t>(value));
    return kS_OK;
}

HResult ToBoolean(const TVariant& source, TVariant& out) {
    if (source.Type() == kVtBstr) {
        // The words must stand alone: " True" is neither a word nor a number.
        const std::u16string_view s = source.AsBstr();
        if (SameTextIgnoringCase(s, u"True") || SameTextIgnoringCase(s, u"#TRUE#")) {
            out = TVariant::Bool(kWordTrue);
            return kS_OK;
        }
        if (SameTextIgnoringCase(s, u"False") || SameTextIgnoringCase(s, u"#FALSE#")) {
            out = TVariant::Bool(kWordFalse);
            return kS_OK;
        }
    }
    double d = 0;
    const HResult hr = NumericValue(source, d);
    if (Failed(hr)) return hr;
    out = TVariant::Bool(d != 0.0 ? kWordTrue : kWordFalse);
    return kS_OK;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Up to 15 significant digits, no trailing zeros, "1E+20" and "1E-05" style
// exponents (at least two digits), and no negative zero.
std::u16string RealText(double d) {
    if (d == 0.0) return u"0";
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 15);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return Widen(text);
}

// clang-format off
HResult ToText(const TVariant& source, TVariant& out) {
    switch (source.Type()) {
        case kVtEmpty: out = TVariant::Bstr(u""); return kS_OK;
        case kVtBstr: out = source; return kS_OK;
        case kVtI2: out = TVariant::Bstr(Widen(std::to_string(source.AsI2()))); return kS_OK;
        case kVtI4: out = TVariant::Bstr(Widen(std::to_string(source.AsI4()))); return kS_OK;
        case kVtUi1: out = TVariant::Bstr(Widen(std::to_string(source.AsUi1()))); return kS_OK;
        case kVtBool: out = TVariant::Bstr(Widen(std::to_string(source.AsBool()))); return kS_OK;
        case kVtR8:
            if (!std::isfinite(source.AsR8())) return kDISP_E_OVERFLOW;
            out = TVariant::Bstr(RealText(source.AsR8()));
            return kS_OK;
        default: return kDISP_E_TYPEMISMATCH;
    }
}

// clang-format on

}  // namespace

TVariant TVariant::R8(double v) {
    TVariant r(kVtR8);
    r.real_ = v;
    return r;
}

TVariant TVariant::Bstr(std::u16string v) {
    TVariant r(kVtBstr);
    r.text_ = std::move(v);
    return r;
}

// clang-format off
bool operator==(const TVariant& a, const TVariant& b) {
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
        case kVtR8: return a.real_ == b.real_;
        case kVtBstr: return a.text_ == b.text_;
        default: return a.integer_ == b.integer_;
    }
}
// clang-format on

HResult ChangeType(const TVariant& source, VarType to, TVariant& out) {
    if (source.Type() == to) {
        out = source;
        return kS_OK;
    }
    // clang-format off
    switch (to) {
        case kVtEmpty: out = TVariant(); return kS_OK;
        case kVtNull:
            if (source.Type() != kVtEmpty) return kDISP_E_TYPEMISMATCH;
            out = TVariant::Null();
            return kS_OK;
        case kVtI2:
        case kVtI4:
        case kVtUi1: return ToInteger(source, to, out);
        case kVtBool: return ToBoolean(source, out);
        case kVtR8: {
            double d = 0;
            const HResult hr = NumericValue(source, d);
            if (Failed(hr)) return hr;
            out = TVariant::R8(d);
            return kS_OK;
        }
        case kVtBstr: return ToText(source, out);
        case kVtError: return kDISP_E_TYPEMISMATCH;
        default: return kDISP_E_BADVARTYPE;
    }
    // clang-format on
}

}  // namespace quillpost::com
