#pragma once
// The dual interfaces as compiled clients call them: IMailer, published and
// never to change, and IMailer2, which extends it with the members added
// since. Each holds the IUnknown and IDispatch entries (IMailer2 also
// IMailer's), then one entry per row of mailer_members.def in that order (a
// property's get before its put). Every entry returns an HRESULT; the last
// pointer argument, where present, receives the result.
#include "mailer/com/member_macros.h"
#include "platform/com.h"

namespace quillpost::com {

// One pure virtual function per row.
#define QP_PURE_ENTRY(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help) \
    QP_ENTRY_DECLARATION(Kind, Name, Type, Params, = 0)

struct IMailer : public IDispatch {
#define QP_ONLY_INTERFACE 1
#define QP_SLOT QP_PURE_ENTRY
#include "mailer/com/mailer_members.def"
protected:
    ~IMailer() = default;
};

// IMailer's entries, then the rows added since.
struct IMailer2 : public IMailer {
#define QP_ONLY_INTERFACE 2
#define QP_SLOT QP_PURE_ENTRY
#include "mailer/com/mailer_members.def"
protected:
    ~IMailer2() = default;
};

#undef QP_PURE_ENTRY

}  // namespace quillpost::com
