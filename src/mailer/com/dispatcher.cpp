#include "mailer/com/dispatcher.h"

#include <exception>
#include <new>
#include <vector>

#include "mailer/mailer.h"
#include "platform/ansi_text.h"

namespace quillpost::com {
namespace {

std::string Text(const TVariant& v) { return platform::WideToText(v.AsBstr()); }
TVariant Wide(std::string_view s) { return TVariant::Bstr(platform::TextToWide(s)); }
TVariant Flag(bool b) { return TVariant::Bool(ToWordBool(b)); }

// One binding per line reads as the table it binds.
// clang-format off
// The binding of each table row to its TMailer operation. Arguments arrive
// already of the row's types; Booleans pass through as stored 16-bit values.
// False when the row has no binding.
bool RunMethod(TMailer& m, DispId id, std::span<const TVariant> a, TVariant& r) {
    switch (id) {
        case 1: r = Flag(m.SendMail()); return true;
        case 2: m.ClearAttachments(); return true;
        case 3: r = Flag(m.AddAttachment(Text(a[0]))); return true;
        case 4: r = Flag(m.AddRecipient(Text(a[0]), Text(a[1]))); return true;
        case 5: m.ClearRecipients(); return true;
        case 6: r = Flag(m.AddCC(Text(a[0]), Text(a[1]))); return true;
        case 7: m.ClearCCs(); return true;
        case 8: r = Flag(m.AddBCC(Text(a[0]), Text(a[1]))); return true;
        case 9: m.ClearBCCs(); return true;
        case 10: m.ClearAllRecipients(); return true;
        case 11: m.ClearBodyText(); return true;
        case 12: r = Flag(m.GetBodyTextFromFile(Text(a[0]), a[1].AsBool(), a[2].AsBool())); return true;
        case 13: m.ClearExtraHeaders(); return true;
        case 14: r = Flag(m.AddExtraHeader(Text(a[0]))); return true;
        case 38: m.MarkRegistry(a[0].AsI4()); return true;
        default: return false;
    }
}

bool RunGet(TMailer& m, DispId id, TVariant& r) {
    switch (id) {
        case 15: r = Wide(m.RemoteHost()); return true;
        case 16: r = Wide(m.Subject()); return true;
        case 17: r = Wide(m.FromName()); return true;
        case 18: r = Wide(m.FromAddress()); return true;
        case 19: r = Wide(m.ReplyTo()); return true;
        case 20: r = Wide(m.ContentType()); return true;
        case 22: r = Wide(m.SMTPLog()); return true;
        case 23: r = TVariant::I2(m.Encoding()); return true;
        case 24: r = TVariant::I2(m.CharSet()); return true;
        case 25: r = TVariant::I2(m.Priority()); return true;
        case 26: r = Wide(m.Response()); return true;
        case 27: r = TVariant::Bool(m.Urgent()); return true;
        case 28: r = Wide(TMailer::Version()); return true;
        case 30: r = Wide(m.PGPPath()); return true;
        case 31: r = Wide(m.PGPParams()); return true;
        case 32: r = TVariant::I2(m.TimeOut()); return true;
        case 33: r = TVariant::Bool(m.ConfirmRead()); return true;
        case 34: r = TVariant::Bool(m.ReturnReceipt()); return true;
        case 35: r = TVariant::Bool(m.UseMSMailHeaders()); return true;
        case 36: r = TVariant::Bool(m.WordWrap()); return true;
        case 37: r = TVariant::I2(m.WordWrapLen()); return true;
        case 39: r = Wide(m.DateTime()); return true;
        case 40: r = TVariant::Bool(m.Live()); return true;
        default: return false;
    }
}

bool RunPut(TMailer& m, DispId id, const TVariant& v) {
    switch (id) {
        case 15: m.SetRemoteHost(Text(v)); return true;
        case 16: m.SetSubject(Text(v)); return true;
        case 17: m.SetFromName(Text(v)); return true;
        case 18: m.SetFromAddress(Text(v)); return true;
        case 19: m.SetReplyTo(Text(v)); return true;
        case 20: m.SetContentType(Text(v)); return true;
        case 21: m.SetBodyText(Text(v)); return true;
        case 22: m.SetSMTPLog(Text(v)); return true;
        case 23: m.SetEncoding(v.AsI2()); return true;
        case 24: m.SetCharSet(v.AsI2()); return true;
        case 25: m.SetPriority(v.AsI2()); return true;
        case 27: m.SetUrgent(v.AsBool()); return true;
        case 30: m.SetPGPPath(Text(v)); return true;
        case 31: m.SetPGPParams(Text(v)); return true;
        case 32: m.SetTimeOut(v.AsI2()); return true;
        case 33: m.SetConfirmRead(v.AsBool()); return true;
        case 34: m.SetReturnReceipt(v.AsBool()); return true;
        case 35: m.SetUseMSMailHeaders(v.AsBool()); return true;
        case 36: m.SetWordWrap(v.AsBool()); return true;
        case 37: m.SetWordWrapLen(v.AsI2()); return true;
        case 39: m.SetDateTime(Text(v)); return true;
        case 40: m.SetLive(v.AsBool()); return true;
        case 42: m.SetPGPTimeOut(v.AsI4()); return true;
        default: return false;
    }
}

// clang-format on

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
        bool bound = false;
        switch (kind) {
            case TMemberKind::Method:
                bound = RunMethod(mailer_, dispId, args, value);
                break;
            case TMemberKind::PropertyGet:
                bound = RunGet(mailer_, dispId, value);
                break;
            case TMemberKind::PropertyPut:
                bound = RunPut(mailer_, dispId, args[0]);
                break;
        }
        if (!bound) return kDISP_E_MEMBERNOTFOUND;
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
    const std::u16string wide = platform::AnsiToWide(name);
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
