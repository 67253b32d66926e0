#include "mailer/com/dispatcher.h"

#include <exception>
#include <iterator>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "mailer/com/registration.h"
#include "mailer/mailer.h"
#include "platform/ansi_text.h"

namespace quillpost::com {
namespace {

// A row's argument as its operation takes it: text as UTF-8, Booleans
// as their stored 16-bit values, numbers as they are. Arguments arrive
// already of the row's types.
template <VarType Type>
auto Arg(const TVariant& v) {
    if constexpr (Type == kVtBstr) {
        return platform::WideToText(v.AsBstr());
    } else if constexpr (Type == kVtBool) {
        return v.AsBool();
    } else if constexpr (Type == kVtI2) {
        return v.AsI2();
    } else {
        static_assert(Type == kVtI4);
        return v.AsI4();
    }
}

// An operation's result as a value of its row's type. A C++ bool becomes
// the automation true or false; a stored Boolean passes unchanged.
template <VarType Type, typename TValue>
TVariant Result(const TValue& v) {
    if constexpr (Type == kVtBstr) {
        return TVariant::Bstr(platform::TextToWide(v));
    } else if constexpr (Type == kVtBool && std::is_same_v<TValue, bool>) {
        return TVariant::Bool(ToWordBool(v));
    } else if constexpr (Type == kVtBool) {
        return TVariant::Bool(v);
    } else if constexpr (Type == kVtI2) {
        return TVariant::I2(v);
    } else {
        static_assert(Type == kVtI4);
        return TVariant::I4(v);
    }
}

// Runs Operation (a TMailer member function, or a function of its own) with
// the row's arguments and stores its result.
template <auto Operation, VarType ResultType, VarType... ParamTypes, std::size_t... I>
void RunOperation(TMailer& mailer, std::span<const TVariant> args, TVariant& result,
                  std::index_sequence<I...>) {
    const auto call = [&] {
        if constexpr (std::is_member_function_pointer_v<decltype(Operation)>) {
            return (mailer.*Operation)(Arg<ParamTypes>(args[I])...);
        } else {
            return Operation(Arg<ParamTypes>(args[I])...);
        }
    };
    if constexpr (ResultType == kVtVoid) {
        call();
    } else {
        result = Result<ResultType>(call());
    }
}

template <auto Operation, VarType ResultType, VarType... ParamTypes>
void Run(TMailer& mailer, std::span<const TVariant> args, TVariant& result) {
    RunOperation<Operation, ResultType, ParamTypes...>(
        mailer, args, result, std::index_sequence_for<decltype(ParamTypes)...>());
}

using TBinding = void (*)(TMailer&, std::span<const TVariant>, TVariant&);

// What each member-table row runs, row for row.
#define QP_PARAM_TYPE(Type, name) , kVt##Type
#define QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help) \
    &Run<Bind, kVt##Type QP_MAP(QP_PARAM_TYPE, Params)>,
constexpr TBinding kBindings[] = {
#include "mailer/com/mailer_members.def"
};
static_assert(std::size(kBindings) == kMemberRowCount);

TBinding BindingOf(const TMemberInfo& row) {
    return kBindings[static_cast<std::size_t>(&row - MailerMembers().data())];
}

// Fills the record without letting a second failure escape: a record
// without text is better than no error at all.
void Describe(TErrorRecord* error, std::string_view message) {
    if (error == nullptr) return;
    try {
        *error = TErrorRecord{};
        error->source = kMailerProgIdW;
        error->description = platform::TextToWide(message);
    } catch (...) {
    }
}

// The member row a call with Flags reaches. A put flag always means the put,
// whatever else is set; otherwise a get is preferred over a method, as the
// system's type information resolves the usual METHOD|PROPERTYGET calls.
const TMemberInfo* Resolve(DispId id, std::uint16_t flags) {
    if (flags & (kDispatchPropertyPut | kDispatchPropertyPutRef))
        return FindMember(id, TMemberKind::PropertyPut);
    if (flags & kDispatchPropertyGet)
        if (const TMemberInfo* get = FindMember(id, TMemberKind::PropertyGet)) return get;
    if (flags & kDispatchMethod) return FindMember(id, TMemberKind::Method);
    return nullptr;
}

}  // namespace

HResult TMailerDispatcher::GetIDsOfNames(std::span<const std::u16string_view> names,
                                         std::span<DispId> ids) const {
    if (names.empty() || ids.size() < names.size()) return kE_INVALIDARG;
    for (std::size_t i = 0; i < names.size(); ++i) ids[i] = kDispIdUnknown;

    const TMemberInfo* member = nullptr;
    for (const TMemberInfo& row : MailerMembers()) {
        if (SameName(names[0], row.name)) {
            member = &row;
            break;
        }
    }
    if (member == nullptr) return kDISP_E_UNKNOWNNAME;
    ids[0] = member->dispId;

    HResult hr = kS_OK;
    for (std::size_t i = 1; i < names.size(); ++i) {
        for (const TMemberInfo& row : MailerMembers()) {
            if (row.dispId != member->dispId) continue;
            for (std::size_t p = 0; p < row.params.size(); ++p) {
                if (!SameName(names[i], row.params[p].name)) continue;
                ids[i] = row.kind == TMemberKind::PropertyPut ? kDispIdPropertyPut
                                                              : static_cast<DispId>(p);
            }
        }
        if (ids[i] == kDispIdUnknown) hr = kDISP_E_UNKNOWNNAME;
    }
    return hr;
}

HResult TMailerDispatcher::CallMember(DispId dispId, TMemberKind kind,
                                      std::span<const TVariant> args, TVariant* result,
                                      TErrorRecord* error) {
    const TMemberInfo* row = FindMember(dispId, kind);
    if (row == nullptr) return kDISP_E_MEMBERNOTFOUND;
    if (args.size() != row->params.size()) return kE_INVALIDARG;
    for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i].Type() != row->params[i].type) return kE_INVALIDARG;

    // Every exception stops here: the string conversions are inside too, so
    // running out of memory while converting is reported like any failure.
    try {
        TVariant value;
        const std::scoped_lock held(lock_);
        BindingOf (*row)(mailer_, args, value);
        if (result != nullptr) *result = std::move(value);
        return kS_OK;
    } catch (const std::bad_alloc&) {
        Describe(error, "Out of memory");
    } catch (const std::exception& e) {
        Describe(error, e.what());
    } catch (...) {
        Describe(error, "Unexpected exception");
    }
    return kE_UNEXPECTED;
}

HResult TMailerDispatcher::Invoke(DispId dispId, std::uint16_t flags, const TDispParams& params,
                                  TVariant* result, TExcepInfo* excep, std::uint32_t* argErr) {
    const TMemberInfo* row = Resolve(dispId, flags);
    if (row == nullptr) return kDISP_E_MEMBERNOTFOUND;

    const std::size_t count = params.args.size();
    const std::size_t named = params.namedArgs.size();
    const std::size_t wanted = row->params.size();
    if (named > count) return kE_INVALIDARG;
    if (count > wanted) return kDISP_E_BADPARAMCOUNT;

    // Slot[p] is the index in Args of the value for parameter p.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> slot(wanted, kNone);
    const std::size_t positional = count - named;
    for (std::size_t p = 0; p < positional; ++p) slot[p] = count - 1 - p;
    for (std::size_t i = 0; i < named; ++i) {
        const DispId id = params.namedArgs[i];
        std::size_t p = kNone;
        if (row->kind == TMemberKind::PropertyPut) {
            if (id == kDispIdPropertyPut) p = 0;
        } else if (id >= 0 && static_cast<std::size_t>(id) < wanted) {
            p = static_cast<std::size_t>(id);
        }
        if (p == kNone || slot[p] != kNone) {
            if (argErr != nullptr) *argErr = static_cast<std::uint32_t>(i);
            return kDISP_E_PARAMNOTFOUND;
        }
        slot[p] = i;
    }

    std::vector<TVariant> converted(wanted);
    for (std::size_t p = 0; p < wanted; ++p) {
        if (slot[p] == kNone) return named == 0 ? kDISP_E_BADPARAMCOUNT : kDISP_E_PARAMNOTFOUND;
        const TVariant& source = params.args[slot[p]];
        HResult hr = source.IsMissing() ? kDISP_E_PARAMNOTFOUND
                                        : ChangeType(source, row->params[p].type, converted[p]);
        if (Failed(hr)) {
            if (argErr != nullptr) *argErr = static_cast<std::uint32_t>(slot[p]);
            return hr;
        }
    }

    TVariant value;
    TErrorRecord record;
    const HResult hr = CallMember(row->dispId, row->kind, converted, &value, &record);
    if (hr == kE_UNEXPECTED) {
        if (excep != nullptr) {
            *excep = TExcepInfo{};
            excep->record = std::move(record);
            excep->scode = hr;
        }
        return kDISP_E_EXCEPTION;
    }
    if (Failed(hr)) return hr;
    if (result != nullptr) *result = std::move(value);
    return kS_OK;
}

HResult TMailerDispatcher::InvokeByName(std::string_view name, std::uint16_t flags,
                                        std::span<const TVariant> args, TVariant* result,
                                        TExcepInfo* excep) {
    const std::u16string wide = platform::TextToWide(name);
    const std::u16string_view names[] = {wide};
    DispId id = kDispIdUnknown;
    const HResult hr = GetIDsOfNames(names, std::span<DispId>(&id, 1));
    if (Failed(hr)) return hr;

    // Hand the arguments over as a script host does: reversed, and a put's
    // value named as the put value.
    const std::vector<TVariant> reversed(args.rbegin(), args.rend());
    const DispId putName[] = {kDispIdPropertyPut};
    TDispParams params{reversed, {}};
    if ((flags & (kDispatchPropertyPut | kDispatchPropertyPutRef)) && args.size() == 1)
        params.namedArgs = putName;
    return Invoke(id, flags, params, result, excep, nullptr);
}

}  // namespace quillpost::com
