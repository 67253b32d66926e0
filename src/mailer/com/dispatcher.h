#pragma once
// Late-bound calls into one TMailer, routed by the IMailer member table. The
// interface has the shape of IDispatch so that the COM object can forward
// GetIDsOfNames and Invoke to it after translating VARIANTs, and the shape of
// the dual interface's members (CallMember) for its virtual-table entries.
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "mailer/com/member_table.h"
#include "mailer/com/variant.h"

namespace quillpost {
class TMailer;
}

namespace quillpost::com {

// Invoke flags, numbered as the system's.
inline constexpr std::uint16_t kDispatchMethod = 1;
inline constexpr std::uint16_t kDispatchPropertyGet = 2;
inline constexpr std::uint16_t kDispatchPropertyPut = 4;
inline constexpr std::uint16_t kDispatchPropertyPutRef = 8;

// Special DISPIDs: the value of a property put, and "no such name".
inline constexpr DispId kDispIdPropertyPut = -3;
inline constexpr DispId kDispIdUnknown = -1;

// The arguments of one call, as IDispatch::Invoke receives them:
// Args is in automation order, the LAST argument first. The first
// NamedArgs.size() entries of Args are named: NamedArgs[i] is the argument
// index (0 = first parameter of the member) or kDispIdPropertyPut for Args[i].
// The rest are positional, right to left.
struct TDispParams {
    std::span<const TVariant> args;
    std::span<const DispId> namedArgs;
};

// What the thread's error information holds after a member failed.
struct TErrorRecord {
    std::u16string source;
    std::u16string description;
    std::u16string helpFile;
    std::uint32_t helpContext = 0;
};

// What IDispatch::Invoke hands back in its EXCEPINFO with DISP_E_EXCEPTION.
struct TExcepInfo {
    std::uint16_t code = 0;  // wCode: always 0, scode carries the failure
    TErrorRecord record;
    HResult scode = kS_OK;
};

class TMailerDispatcher {
public:
    explicit TMailerDispatcher(TMailer& mailer) : mailer_(mailer) {}

    // Names[0] is a member name, Names[1..] argument names of that member;
    // all compared without regard to case. Ids receives one DISPID per name
    // (an argument's is its index, the put value's is kDispIdPropertyPut),
    // kDispIdUnknown for a name not found, and the result is then
    // DISP_E_UNKNOWNNAME. Ids must be at least as long as Names.
    HResult GetIDsOfNames(std::span<const std::u16string_view> names, std::span<DispId> ids) const;

    // IDispatch::Invoke. Flags holding a put (or put-by-reference) select the
    // property put; otherwise a get is chosen when the flags allow it and the
    // member has one, else the method. Arguments are coerced to the member's
    // types (ChangeType); on a coercion or argument failure ArgErr (if given)
    // receives the index in Params.args. A failure inside the member returns
    // DISP_E_EXCEPTION with Excep (if given) filled: scode E_UNEXPECTED, the
    // source "Quillpost.Mailer", the exception's message. Result (if given)
    // receives the member's result, or empty for members without one.
    // A property put also accepts its value as a single positional argument.
    HResult Invoke(DispId dispId, std::uint16_t flags, const TDispParams& params, TVariant* result,
                   TExcepInfo* excep, std::uint32_t* argErr);

    // One member as its virtual-table entry runs it: Args in declaration
    // order and exactly of the declared types (E_INVALIDARG otherwise). One
    // call runs at a time; a call from another thread waits for it.
    // S_OK with Result set, or E_UNEXPECTED with Error filled when the member
    // raised; DISP_E_MEMBERNOTFOUND when the table has no such row.
    HResult CallMember(DispId dispId, TMemberKind kind, std::span<const TVariant> args,
                       TVariant* result, TErrorRecord* error);

    // Convenience for callers without DISPIDs (tests, tools): Name looked up
    // as GetIDsOfNames does, Args in natural order (first argument first).
    HResult InvokeByName(std::string_view name, std::uint16_t flags, std::span<const TVariant> args,
                         TVariant* result, TExcepInfo* excep = nullptr);

private:
    TMailer& mailer_;
    // Held for each member call: a class registered "Both" may be entered
    // by two threads at once, and TMailer is not made for that. Recursive,
    // so that an event handler or a message pumped during a send can call
    // back into the object on the same thread.
    std::recursive_mutex lock_;
};

}  // namespace quillpost::com
