#pragma once
// The members of IMailer and IMailer2 as constant data, one row per virtual-
// table entry, made from mailer_members.def: what the type library declares
// and what the dispatcher routes by. Rows are in virtual-table order (after
// the IUnknown and IDispatch entries); a property's get row precedes its put
// row.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "mailer/com/variant.h"

namespace quillpost::com {

// Numbered as the system's invocation kinds and dispatch flags.
enum class TMemberKind : std::uint16_t {
    Method = 1,
    PropertyGet = 2,
    PropertyPut = 4,
};

// The interface that declares a member.
enum class TInterface : std::uint8_t {
    IMailer = 1,
    IMailer2 = 2,
};

// The DISPID of every member, by name (kDispSendMail, ...).
enum TMailerDispId : DispId {
#define QP_MEMBER(Iface, Name, Id) kDisp##Name = Id,
#define QP_SLOT(...)
#include "mailer/com/mailer_members.def"
};

// The result type of a member that returns nothing.
inline constexpr VarType kVtVoid = kVtEmpty;

struct TParamInfo {
    std::string_view name;
    VarType type;
};

struct TMemberInfo {
    DispId dispId;
    std::string_view name;
    TMemberKind kind;
    std::span<const TParamInfo> params;
    VarType result;         // kVtEmpty: the member returns nothing
    std::string_view help;  // empty: no help string
    // What a new object reads, as text without quotes; empty for methods.
    std::string_view defaultValue;
    TInterface iface;
};

// The ProgID, also the source of every error record the object reports.
inline constexpr std::string_view kMailerProgId = "Quillpost.Mailer";
inline constexpr std::u16string_view kMailerProgIdW = u"Quillpost.Mailer";

// Every row of IMailer, then IMailer2's own.
std::span<const TMemberInfo> MailerMembers();

// The number of rows.
inline constexpr std::size_t kMemberRowCount = 0
#define QP_SLOT(...) +1
#include "mailer/com/mailer_members.def"
    ;

// The row for DispId and Kind, or null.
const TMemberInfo* FindMember(DispId dispId, TMemberKind kind);

// Compares member and argument names as the automation name lookup does:
// ASCII letters without regard to case, every other character exactly.
bool SameName(std::u16string_view a, std::string_view b);

}  // namespace quillpost::com
