#include "mailer/com/member_table.h"

#include <algorithm>
#include <iterator>

#include "base/ascii.h"
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

}  // namespace

std::span<const TMemberInfo> MailerMembers() { return kMembers; }

const TMemberInfo* FindMember(DispId dispId, TMemberKind kind) {
    const auto it =
        std::find_if(std::begin(kMembers), std::end(kMembers),
                     [&](const TMemberInfo& m) { return m.dispId == dispId && m.kind == kind; });
    return it == std::end(kMembers) ? nullptr : &*it;
}

bool SameName(std::u16string_view a, std::string_view b) { return SameTextIgnoringCase(a, b); }

}  // namespace quillpost::com
