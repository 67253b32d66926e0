#include "mailer/com/dispatcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "mailer/mailer.h"
#include "platform/ansi_text.h"
#include "platform/clock.h"
#include "stepping_clock.h"
#include "util/errors.h"

namespace quillpost::com {
namespace {

constexpr std::uint16_t kGetOrCall = kDispatchMethod | kDispatchPropertyGet;

TVariant S(std::u16string s) { return TVariant::Bstr(std::move(s)); }

class DispatcherTest : public ::testing::Test {
protected:
    TVariant Get(std::string_view name) {
        TVariant r;
        EXPECT_EQ(d.InvokeByName(name, kDispatchPropertyGet, {}, &r), kS_OK) << name;
        return r;
    }
    HResult Put(std::string_view name, const TVariant& v, TExcepInfo* e = nullptr) {
        return d.InvokeByName(name, kDispatchPropertyPut, std::span<const TVariant>(&v, 1), nullptr,
                              e);
    }
    HResult Call(std::string_view name, std::vector<TVariant> args, TVariant* r = nullptr,
                 TExcepInfo* e = nullptr) {
        return d.InvokeByName(name, kDispatchMethod, args, r, e);
    }
    // Invoke with raw automation-order arguments.
    HResult Raw(DispId id, std::uint16_t flags, std::vector<TVariant> args,
                std::vector<DispId> named = {}, std::uint32_t* argErr = nullptr,
                TVariant* r = nullptr) {
        return d.Invoke(id, flags, {args, named}, r, nullptr, argErr);
    }

    TMailer m;
    TMailerDispatcher d{m};
};

TEST_F(DispatcherTest, NamesAreFoundWithoutRegardToCase) {
    for (const TMemberInfo& row : MailerMembers()) {
        std::u16string lower, upper;
        for (char c : row.name) {
            lower.push_back(static_cast<char16_t>(std::tolower(static_cast<unsigned char>(c))));
            upper.push_back(static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c))));
        }
        for (const std::u16string& n : {lower, upper}) {
            const std::u16string_view names[] = {n};
            DispId id = 0;
            EXPECT_EQ(d.GetIDsOfNames(names, std::span<DispId>(&id, 1)), kS_OK) << row.name;
            EXPECT_EQ(id, row.dispId) << row.name;
        }
    }
}

TEST_F(DispatcherTest, ArgumentNamesAndUnknownNames) {
    struct Case {
        std::vector<std::u16string_view> names;
        HResult hr;
        std::vector<DispId> ids;
    };
    const Case cases[] = {
        {{u"addrecipient", u"STRADDRESS", u"strName"}, kS_OK, {kDispAddRecipient, 1, 0}},
        {{u"GetBodyTextFromFile", u"bolShowWindow"}, kS_OK, {kDispGetBodyTextFromFile, 2}},
        {{u"subject", u"value"}, kS_OK, {kDispSubject, kDispIdPropertyPut}},
        {{u"AddRecipient", u"strAttach"}, kDISP_E_UNKNOWNNAME, {kDispAddRecipient, kDispIdUnknown}},
        {{u"SendMails"}, kDISP_E_UNKNOWNNAME, {kDispIdUnknown}},
        {{u"Nothing", u"strName"}, kDISP_E_UNKNOWNNAME, {kDispIdUnknown, kDispIdUnknown}},
    };
    for (const Case& c : cases) {
        std::vector<DispId> ids(c.names.size(), 12345);
        EXPECT_EQ(d.GetIDsOfNames(c.names, ids), c.hr);
        EXPECT_EQ(ids, c.ids);
    }
}

// Every row reaches its operation: called with values of its own types, it
// answers S_OK with a result of its declared type, or reports a failure of
// the operation itself, never a missing member.
TEST_F(DispatcherTest, EveryRowIsBoundToItsOperation) {
    testing::SteppingClock clock;  // GetBodyTextFromFile waits for its file "1"
    platform::ScopedClockOverride use(clock);
    for (const TMemberInfo& row : MailerMembers()) {
        SCOPED_TRACE(std::string(row.name));
        std::vector<TVariant> args;
        for (const TParamInfo& p : row.params) {
            TVariant v;
            ASSERT_EQ(ChangeType(S(u"1"), p.type, v), kS_OK);
            args.push_back(v);
        }
        TVariant result;
        TErrorRecord error;
        const HResult hr = d.CallMember(row.dispId, row.kind, args, &result, &error);
        if (hr == kE_UNEXPECTED) {
            // A method may fail on "1" and a put refuse it, naming its
            // property; a get never fails.
            EXPECT_NE(row.kind, TMemberKind::PropertyGet);
            const std::u16string name(row.name.begin(), row.name.end());
            if (row.kind == TMemberKind::PropertyPut) {
                EXPECT_EQ(error.description.rfind(name + u" ", 0), 0u);
            }
            EXPECT_FALSE(error.description.empty());
            continue;
        }
        ASSERT_EQ(hr, kS_OK);
        EXPECT_EQ(result.Type(), row.result);
    }
}

// Each text property gets its own name as its value, all on one object, so a
// get or put wired to a neighbour's field shows.
TEST_F(DispatcherTest, TextPropertiesKeepTheirOwnValues) {
    const char* names[] = {"RemoteHost",  "Subject", "FromName", "FromAddress", "ReplyTo",
                           "ContentType", "SMTPLog", "PGPPath",  "PGPParams",   "DateTime"};
    for (const char* n : names) ASSERT_EQ(Put(n, TVariant::Bstr(platform::AnsiToWide(n))), kS_OK);
    for (const char* n : names) EXPECT_EQ(Get(n), TVariant::Bstr(platform::AnsiToWide(n)));
}

TEST_F(DispatcherTest, PropertiesRoundTripByName) {
    struct Case {
        const char* name;
        TVariant put;
        TVariant get;
    };
    const Case cases[] = {
        {"Subject", S(u"Gr\u00FC\u00DFe \u20AC 5"), S(u"Gr\u00FC\u00DFe \u20AC 5")},
        // Kept whole: outside the ANSI code page, a pair, a lone half of one.
        {"FromName", S(u"\u65E5\u672C \U0001F600 \xD800"), S(u"\u65E5\u672C \U0001F600 \xD800")},
        {"RemoteHost", TVariant::I2(42), S(u"42")},
        // Each number reaches its own property (TMailer's tests hold its
        // rules for the values).
        {"Encoding", TVariant::I2(1), TVariant::I2(1)},
        {"CharSet", TVariant::I2(-9), TVariant::I2(-9)},
        {"Priority", TVariant::I2(5), TVariant::I2(5)},
        {"TimeOut", TVariant::I4(120), TVariant::I2(120)},
        {"WordWrapLen", TVariant::I2(32767), TVariant::I2(32767)},
        // A Boolean is stored as the caller gave it.
        {"Urgent", TVariant::Bool(1), TVariant::Bool(1)},
        {"ConfirmRead", TVariant::I2(5), TVariant::Bool(-1)},
        {"ReturnReceipt", S(u"True"), TVariant::Bool(-1)},
        {"UseMSMailHeaders", TVariant::I4(0), TVariant::Bool(0)},
        {"WordWrap", S(u"-1"), TVariant::Bool(-1)},
        {"Live", TVariant::Bool(0), TVariant::Bool(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMailer fresh;
        TMailerDispatcher dispatcher(fresh);
        ASSERT_EQ(dispatcher.InvokeByName(c.name, kDispatchPropertyPut,
                                          std::span<const TVariant>(&c.put, 1), nullptr),
                  kS_OK);
        TVariant got;
        ASSERT_EQ(dispatcher.InvokeByName(c.name, kDispatchPropertyGet, {}, &got), kS_OK);
        EXPECT_EQ(got, c.get);
    }
}

// The defaults the member reference shows are what a new object reads.
TEST_F(DispatcherTest, ANewObjectReadsTheTablesDefaults) {
    for (const TMemberInfo& row : MailerMembers()) {
        if (row.kind != TMemberKind::PropertyGet) continue;
        const TVariant value = Get(row.name);
        TVariant text;
        ASSERT_EQ(ChangeType(value, kVtBstr, text), kS_OK);
        if (value.Type() == kVtBool && (value.AsBool() == 0 || value.AsBool() == -1))
            text = S(value.AsBool() ? u"True" : u"False");
        EXPECT_EQ(text, TVariant::Bstr(platform::AnsiToWide(row.defaultValue))) << row.name;
    }
}

TEST_F(DispatcherTest, PutOnlyAndGetOnlyMembers) {
    EXPECT_EQ(Put("BodyText", S(u"one")), kS_OK);
    EXPECT_EQ(Put("bodytext", S(u"two\r\nlines")), kS_OK);
    EXPECT_EQ(m.BodyLines(), (StringVector{"one", "two\r\nlines"}));
    EXPECT_EQ(Call("ClearBodyText", {}), kS_OK);
    EXPECT_TRUE(m.BodyLines().empty());

    EXPECT_EQ(Put("PGPTimeOut", S(u"100000")), kS_OK);
    EXPECT_EQ(m.PGPTimeOut(), 100000);

    TVariant r = TVariant::I4(9);
    EXPECT_EQ(d.InvokeByName("BodyText", kDispatchPropertyGet, {}, &r), kDISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(d.InvokeByName("PGPTimeOut", kGetOrCall, {}, &r), kDISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(r, TVariant::I4(9)) << "a failed call leaves the result alone";
    EXPECT_EQ(Put("Version", S(u"3.0")), kDISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Put("Response", S(u"x")), kDISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Get("Version"), S(u"2.2"));
}

TEST_F(DispatcherTest, FlagsSelectTheRow) {
    struct Case {
        DispId id;
        std::uint16_t flags;
        std::size_t args;
        HResult hr;
    };
    const DispId subject = kDispSubject, clear = kDispClearBodyText;
    const HResult none = kDISP_E_MEMBERNOTFOUND;
    // clang-format off
    const Case cases[] = {
        {subject, kGetOrCall, 0, kS_OK},                              // x = obj.Subject
        {subject, kDispatchPropertyPut | kDispatchMethod, 1, kS_OK},  // put wins over method
        {subject, kDispatchPropertyPutRef, 1, kS_OK},                 // put-by-reference is a put
        {subject, kDispatchMethod, 0, none},                          // a property is no method
        {clear, kGetOrCall, 0, kS_OK},                                // obj.ClearBodyText
        {clear, kDispatchPropertyGet, 0, none},                       // a method is no property
        {clear, kDispatchPropertyPut, 1, none},
        {subject, 0, 0, none},
        // DISPIDs of no member
        {29, kGetOrCall, 0, none},
        {41, kDispatchPropertyPut, 1, none},
        {0, kGetOrCall, 0, none},
        {43, kGetOrCall, 0, none},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<TVariant> args(c.args, S(u"x"));
        std::vector<DispId> named;
        if (c.args == 1) named.push_back(kDispIdPropertyPut);
        EXPECT_EQ(Raw(c.id, c.flags, args, named), c.hr) << c.id << " flags " << c.flags;
    }
}

TEST_F(DispatcherTest, ArgumentCoercionAndArgumentErrors) {
    std::uint32_t argErr = 99;
    // "5" becomes the 16-bit 5.
    EXPECT_EQ(Raw(kDispPriority, kDispatchPropertyPut, {S(u"5")}, {kDispIdPropertyPut}), kS_OK);
    EXPECT_EQ(m.Priority(), 5);
    EXPECT_EQ(Raw(kDispPriority, kDispatchPropertyPut, {TVariant::R8(1.5)}, {kDispIdPropertyPut}),
              kS_OK);
    EXPECT_EQ(m.Priority(), 2);

    struct Case {
        const char* label;
        DispId id;
        std::uint16_t flags;
        std::vector<TVariant> args;
        std::vector<DispId> named;
        HResult hr;
        std::uint32_t argErr;  // 99: not set
    };
    const DispId priority = kDispPriority, subject = kDispSubject, add = kDispAddRecipient;
    const std::uint16_t put = kDispatchPropertyPut, call = kDispatchMethod;
    const DispId value = kDispIdPropertyPut;
    const HResult mismatch = kDISP_E_TYPEMISMATCH, count = kDISP_E_BADPARAMCOUNT,
                  notFound = kDISP_E_PARAMNOTFOUND;
    // clang-format off
    const Case cases[] = {
        {"text not a number", priority, put, {S(u"high")}, {value}, mismatch, 0},
        {"overflow", priority, put, {TVariant::I4(70000)}, {value}, kDISP_E_OVERFLOW, 0},
        {"null", subject, put, {TVariant::Null()}, {value}, mismatch, 0},
        {"put without a value", subject, put, {}, {}, count, 99},
        {"put with an index", subject, put, {S(u"a"), S(u"b")}, {value}, count, 99},
        {"put value under a wrong name", subject, put, {S(u"a")}, {0}, notFound, 0},
        {"get with an argument", subject, kDispatchPropertyGet, {S(u"a")}, {}, count, 99},
        {"too few", add, call, {S(u"ann@example.org")}, {}, count, 99},
        {"too many", kDispAddAttachment, call, {S(u"a"), S(u"b")}, {}, count, 99},
        // Automation order: Args[1] is the first argument, here the omitted one.
        {"omitted argument", add, call, {S(u"ann@example.org"), TVariant::Missing()}, {},
         notFound, 1},
        {"second argument bad", kDispGetBodyTextFromFile, call,
         {TVariant::Bool(0), S(u"maybe"), S(u"in.txt")}, {}, mismatch, 1},
        {"named out of range", add, call, {S(u"a"), S(u"b")}, {2}, notFound, 0},
        {"named twice", add, call, {S(u"a"), S(u"b")}, {0, 0}, notFound, 1},
        {"named clashes with positional", add, call, {S(u"a"), S(u"b")}, {0}, notFound, 0},
        {"named leaves a gap", add, call, {S(u"a")}, {1}, notFound, 99},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        argErr = 99;
        EXPECT_EQ(Raw(c.id, c.flags, c.args, c.named, &argErr), c.hr);
        EXPECT_EQ(argErr, c.argErr);
    }
    // No failed call reached the object.
    EXPECT_EQ(m.Priority(), 2);
    EXPECT_EQ(m.Subject(), "");
    EXPECT_EQ(m.Recipients().Count(), 0);
}

TEST_F(DispatcherTest, NamedArgumentsMayComeInAnyOrder) {
    TVariant r;
    // strAddress (index 1) given first, strName (index 0) second.
    EXPECT_EQ(Raw(kDispAddRecipient, kDispatchMethod, {S(u"ann@example.org"), S(u"Ann")}, {1, 0},
                  nullptr, &r),
              kS_OK);
    ASSERT_EQ(m.Recipients().Count(), 1);
    EXPECT_EQ(m.Recipients().Items(0).Address(), "ann@example.org");
    EXPECT_EQ(m.Recipients().Items(0).Name(), "Ann");
    // A put value may also come positionally.
    EXPECT_EQ(Raw(kDispSubject, kDispatchPropertyPut, {S(u"hello")}), kS_OK);
    EXPECT_EQ(m.Subject(), "hello");
}

TEST_F(DispatcherTest, MethodsAnswerBooleansAsMinusOneOrZero) {
    TVariant r;
    EXPECT_EQ(Call("AddRecipient", {S(u"Ann"), S(u"ann@example.org")}, &r), kS_OK);
    EXPECT_EQ(r, TVariant::Bool(-1));
    EXPECT_EQ(m.Recipients().Items(0).Name(), "Ann");
    EXPECT_EQ(Call("AddCC", {S(u"Bob"), S(u"bob@example.org\r\nRCPT TO:<x>")}, &r), kS_OK);
    EXPECT_EQ(r, TVariant::Bool(0));
    EXPECT_EQ(Call("AddBCC", {S(u""), S(u"c@example.org")}, &r), kS_OK);
    EXPECT_EQ(r, TVariant::Bool(-1));
    EXPECT_EQ(Call("AddAttachment", {S(u"C:\\f\u00E9.txt")}, &r), kS_OK);
    EXPECT_EQ(r, TVariant::Bool(-1));
    EXPECT_EQ(m.Attachments(), (StringVector{"C:\\f\xC3\xA9.txt"}));
    EXPECT_EQ(Call("AddExtraHeader", {S(u"X-A: 1")}, &r), kS_OK);
    EXPECT_EQ(r, TVariant::Bool(-1));

    r = TVariant::I4(9);
    EXPECT_EQ(Call("ClearAllRecipients", {}, &r), kS_OK);
    EXPECT_EQ(r, TVariant()) << "a member without a result answers empty";
    EXPECT_EQ(m.Recipients().Count() + m.CCs().Count() + m.BCCs().Count(), 0);
    EXPECT_EQ(Call("ClearExtraHeaders", {}), kS_OK);
    EXPECT_EQ(Call("ClearAttachments", {}), kS_OK);
    EXPECT_TRUE(m.ExtraHeaders().empty());
    EXPECT_TRUE(m.Attachments().empty());
}

TEST_F(DispatcherTest, ARaisingSetterBecomesAnErrorRecord) {
    TExcepInfo e;
    e.scode = 1234;
    EXPECT_EQ(Put("WordWrapLen", TVariant::I2(-1), &e), kDISP_E_EXCEPTION);
    EXPECT_EQ(e.scode, kE_UNEXPECTED);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.record.source, u"Quillpost.Mailer");
    EXPECT_EQ(e.record.description, u"Range check error");
    EXPECT_TRUE(e.record.helpFile.empty());
    EXPECT_EQ(e.record.helpContext, 0u);
    // The object stays usable, and the caller may pass no exception info.
    EXPECT_EQ(Put("WordWrapLen", S(u"-5")), kDISP_E_EXCEPTION);
    EXPECT_EQ(Put("WordWrapLen", S(u"12")), kS_OK);

    // The virtual-table path reports E_UNEXPECTED with the same record.
    TErrorRecord record;
    const TVariant minusOne[] = {TVariant::I2(-1)};
    EXPECT_EQ(d.CallMember(kDispWordWrapLen, TMemberKind::PropertyPut, minusOne, nullptr, &record),
              kE_UNEXPECTED);
    EXPECT_EQ(record.source, e.record.source);
    EXPECT_EQ(record.description, e.record.description);
}

TEST_F(DispatcherTest, CallMemberWantsTheDeclaredTypes) {
    const TVariant wrong[] = {S(u"5")};
    EXPECT_EQ(d.CallMember(kDispPriority, TMemberKind::PropertyPut, wrong, nullptr, nullptr),
              kE_INVALIDARG);
    EXPECT_EQ(d.CallMember(kDispPriority, TMemberKind::PropertyPut, {}, nullptr, nullptr),
              kE_INVALIDARG);
    EXPECT_EQ(d.CallMember(29 /* no member */, TMemberKind::PropertyGet, {}, nullptr, nullptr),
              kDISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(m.Priority(), 3);
}

// The members this build does not provide report their own text.
// Available now: its failures come back as a false result, not as an error.
TEST_F(DispatcherTest, GetBodyTextFromFileAnswersWithABoolean) {
    ASSERT_EQ(Put("PGPPath", S(u"qp_no_such_dir_4711/x\\prog")), kS_OK);
    TExcepInfo e;
    TVariant r = TVariant::I4(9);
    EXPECT_EQ(
        Call("GetBodyTextFromFile", {S(u"in.txt"), TVariant::Bool(0), TVariant::Bool(-1)}, &r, &e),
        kS_OK);
    EXPECT_EQ(r, TVariant::Bool(0));
}

TEST_F(DispatcherTest, SendMailAnswersWithABooleanAndLeavesTheReasonInResponse) {
    TExcepInfo e;
    TVariant r = TVariant::I4(9);
    // No sender: a mail failure, not an automation error.
    EXPECT_EQ(Call("SendMail", {}, &r, &e), kS_OK);
    EXPECT_EQ(r, TVariant::Bool(0));
    EXPECT_EQ(Get("Response"), TVariant::Bstr(u"FromAddress Property cannot be blank."));
}

}  // namespace
}  // namespace quillpost::com
