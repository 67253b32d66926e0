#pragma once
// The identities of the COM server: type library, interfaces, class and the
// registry texts derived from them.
#include <string_view>

#include "platform/com.h"

namespace quillpost::com {

inline constexpr GUID kLIBID_Quillpost = {
    0xE7CEACC0, 0xBD11, 0x11D0, {0xB7, 0xAD, 0x08, 0x00, 0x09, 0xAB, 0x44, 0x47}};
inline constexpr IID kIID_IMailer = {
    0xE7CEACC1, 0xBD11, 0x11D0, {0xB7, 0xAD, 0x08, 0x00, 0x09, 0xAB, 0x44, 0x47}};
// IMailer extended by the members added since; the class's default interface.
inline constexpr IID kIID_IMailer2 = {
    0x41088786, 0x81A0, 0x43F5, {0xB5, 0xAE, 0x27, 0x98, 0x5D, 0x82, 0x05, 0x2A}};
inline constexpr CLSID kCLSID_Mailer = {
    0xE7CEACC2, 0xBD11, 0x11D0, {0xB7, 0xAD, 0x08, 0x00, 0x09, 0xAB, 0x44, 0x47}};

inline constexpr std::string_view kLibIdText = "{E7CEACC0-BD11-11D0-B7AD-080009AB4447}";
inline constexpr std::string_view kClsIdText = "{E7CEACC2-BD11-11D0-B7AD-080009AB4447}";

inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 0;
inline constexpr LCID kTypeLibLocale = 0x0409;

inline constexpr std::string_view kClassName = "Mailer";
// The coclass help string, also the class's description in the registry.
inline constexpr std::string_view kClassDescription = "SMTP Mailer";

// The type library's enumeration of the threading models.
inline constexpr GUID kThreadingModelEnumId = {
    0xE7CEACC4, 0xBD11, 0x11D0, {0xB7, 0xAD, 0x08, 0x00, 0x09, 0xAB, 0x44, 0x47}};

// The threading models MarkRegistry accepts (the type library's Enum1).
inline constexpr LONG thdApartment = 1;
inline constexpr LONG thdBoth = 2;

}  // namespace quillpost::com
