#include "mailer/com/member_table.h"

#include <algorithm>
#include <iterator>

#include "mailer/com/member_macros.h"

namespace quillpost::com {
namespace {

#define QP_PARAM_INFO(Type, name) {#name, kVt##Type},
#define QP_PARAMS_NAME(Kind, Name) QP_CAT(QP_CAT(kParamsOf, Kind), Name)

// Each entry's arguments; a closing empty element keeps an array of a
// member without arguments from being empty.
#define QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help) \
    constexpr TParamInfo QP_PARAMS_NAME(Kind, Name)[] = {QP_MAP(QP_PARAM_INFO, Params){}};
#include "mailer/com/mailer_members.def"

constexpr TMemberInfo kMembers[] = {
#define QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help)       \
    {kDisp##Name,                                                               \
     #Name,                                                                     \
     TMemberKind::Kind,                                                         \
     std::span<const TParamInfo>(QP_PARAMS_NAME(Kind, Name), QP_COUNT(Params)), \
     kVt##Type,                                                                 \
     Help,                                                                      \
     std::string_view(Default),                                                 \
     TInterface::Iface},
#include "mailer/com/mailer_members.def"
};
static_assert(std::size(kMembers) == kMemberRowCount);

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

}  // namespace

std::span<const TMemberInfo> MailerMembers() { return kMembers; }

const TMemberInfo* FindMember(DispId dispId, TMemberKind kind) {
    const auto it =
        std::find_if(std::begin(kMembers), std::end(kMembers),
                     [&](const TMemberInfo& m) { return m.dispId == dispId && m.kind == kind; });
    return it == std::end(kMembers) ? nullptr : &*it;
}

bool SameName(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace quillpost::com
