// The COM server as a client sees it: the built library (Quillpost.dll under
// Wine, libquillpost.so here) registered, created through CreateObject and
// called through its virtual table and IDispatch.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "mailer/com/com_ids.h"
#include "mailer/com/imailer.h"
#include "mailer/com/member_table.h"
#include "platform/ansi_text.h"
#include "platform/com.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/registry_sandbox.h"

namespace quillpost::com {
namespace {

std::string ServerLibrary() {
    return (std::filesystem::path(platform::ThisModulePath()).parent_path() /
            QP_SERVER_LIBRARY_NAME)
        .string();
}

using platform::TBstr;
using platform::TComPtr;

// The thread's error information as source and description, then cleared.
std::pair<std::u16string, std::u16string> TakeError(GUID* guid = nullptr) {
    TComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info) return {};
    TBstr source, description;
    info->GetSource(source.Out());
    info->GetDescription(description.Out());
    if (guid != nullptr) info->GetGUID(guid);
    return {source.Text(), description.Text()};
}

const std::string kClassKey = "CLSID\\" + std::string(kClsIdText);

class ComServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(platform::ComInitialize()));
        // Starts from a clean class: no value of an earlier registration survives.
        platform::CallServerExport(library, "DllUnregisterServer");
        ASSERT_EQ(platform::CallServerExport(library, "DllRegisterServer"), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(platform::CallServerExport(library, "DllUnregisterServer"), S_OK);
        platform::ComUninitialize();
    }

    HRESULT Create(void** out, REFIID iid = kIID_IMailer) {
        return platform::CreateObject("Quillpost.Mailer", iid, out);
    }
    HRESULT CanUnload() { return platform::CallServerExport(library, "DllCanUnloadNow"); }

    // IDispatch::Invoke of one member by DISPID with arguments in natural order.
    HRESULT Invoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args,
                   VARIANT* result = nullptr, EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        if (flags & DISPATCH_PROPERTYPUT) {
            params.rgdispidNamedArgs = &putId;
            params.cNamedArgs = 1;
        }
        return d->Invoke(id, IID_NULL, 0, flags, &params, result, excep, argErr);
    }

    testing::RegistrySandbox sandbox;
    const std::string library = ServerLibrary();
};

VARIANT I4(LONG v) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}

TEST_F(ComServerTest, RegistrationWritesTheClassKeysAndUnregistrationRemovesThem) {
    const std::pair<std::string, std::string> keys[] = {
        {kClassKey, "SMTP Mailer"},
        {"Quillpost.Mailer", "SMTP Mailer"},
        {"Quillpost.Mailer\\Clsid", "{E7CEACC2-BD11-11D0-B7AD-080009AB4447}"},
        {kClassKey + "\\ProgID", "Quillpost.Mailer"},
        {kClassKey + "\\Version", "1.0"},
        {kClassKey + "\\TypeLib", "{E7CEACC0-BD11-11D0-B7AD-080009AB4447}"},
    };
    for (const auto& [key, value] : keys)
        EXPECT_EQ(platform::RegistryReadString(key, ""), value) << key;
    const auto server = platform::RegistryReadString(kClassKey + "\\InprocServer32", "");
    ASSERT_TRUE(server.has_value());
    EXPECT_TRUE(std::filesystem::equivalent(*server, library)) << *server;
    // No threading model until MarkRegistry asks for one.
    EXPECT_FALSE(platform::RegistryReadString(kClassKey + "\\InprocServer32", "ThreadingModel"));

    ASSERT_EQ(platform::CallServerExport(library, "DllUnregisterServer"), S_OK);
    for (const auto& [key, value] : keys) EXPECT_FALSE(platform::RegistryKeyExists(key)) << key;
    EXPECT_FALSE(platform::RegistryKeyExists(kClassKey + "\\InprocServer32"));
    IMailer* gone = nullptr;
    EXPECT_EQ(Create(reinterpret_cast<void**>(&gone)), CO_E_CLASSSTRING);  // the ProgID is gone
    EXPECT_EQ(gone, nullptr);
    // Registering again after that works; TearDown unregisters it.
    EXPECT_EQ(platform::CallServerExport(library, "DllRegisterServer"), S_OK);
}

TEST_F(ComServerTest, MarkRegistryWritesTheThreadingModel) {
    TComPtr<IMailer> m;
    ASSERT_EQ(Create(m.OutVoid()), S_OK);
    const std::pair<LONG, const char*> cases[] = {{2, "Both"},
                                                  {7, "Apartment"},
                                                  {thdBoth, "Both"},
                                                  {0, "Apartment"},
                                                  {thdApartment, "Apartment"}};
    for (const auto& [model, text] : cases) {
        ASSERT_EQ(m->MarkRegistry(model), S_OK) << model;
        EXPECT_EQ(platform::RegistryReadString(kClassKey + "\\InprocServer32", "ThreadingModel"),
                  text)
            << model;
    }
    // Late-bound, as an installer script calls it.
    ASSERT_EQ(Invoke(m.Get(), kDispMarkRegistry, DISPATCH_METHOD, {I4(2)}), S_OK);
    EXPECT_EQ(platform::RegistryReadString(kClassKey + "\\InprocServer32", "ThreadingModel"),
              "Both");
}

TEST_F(ComServerTest, VirtualTableCallsReachTheMembers) {
    TComPtr<IMailer> m;
    ASSERT_EQ(Create(m.OutVoid()), S_OK);
    SHORT s = 0;
    VARIANT_BOOL b = 0;
    EXPECT_EQ(m->get_Encoding(&s), S_OK);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(m->put_Encoding(1), S_OK);
    EXPECT_EQ(m->get_Encoding(&s), S_OK);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(m->put_Urgent(5), S_OK);  // stored unchanged
    EXPECT_EQ(m->get_Urgent(&b), S_OK);
    EXPECT_EQ(b, 5);

    TBstr version;
    EXPECT_EQ(m->get_Version(version.Out()), S_OK);
    EXPECT_EQ(version.Text(), u"2.2");
    TBstr subject(u"Gr\u00fc\u00dfe");
    EXPECT_EQ(m->put_Subject(subject.Get()), S_OK);
    TBstr back;
    EXPECT_EQ(m->get_Subject(back.Out()), S_OK);
    EXPECT_EQ(back.Text(), u"Gr\u00fc\u00dfe");
    EXPECT_EQ(m->put_Subject(nullptr), S_OK);  // a null BSTR is empty text
    TBstr empty;
    EXPECT_EQ(m->get_Subject(empty.Out()), S_OK);
    EXPECT_EQ(empty.Text(), u"");

    TBstr name(u"Ann"), address(u"ann@example.org");
    EXPECT_EQ(m->AddRecipient(name.Get(), address.Get(), &b), S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    EXPECT_EQ(m->get_Encoding(nullptr), E_POINTER);

    // A failing member: its text and source arrive as the error record (the
    // text itself is checked on the IDispatch path below).
    EXPECT_EQ(m->put_WordWrapLen(-1), E_UNEXPECTED);
    GUID guid{};
    const auto [source, description] = TakeError(&guid);
    EXPECT_EQ(source, u"Quillpost.Mailer");
    EXPECT_FALSE(description.empty());
    EXPECT_TRUE(IsEqualGUID(guid, kIID_IMailer));
    // A mail failure is no automation error: false, with the reason in Response.
    EXPECT_EQ(m->SendMail(&b), S_OK);
    EXPECT_EQ(b, VARIANT_FALSE);

    TComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(m->QueryInterface(IID_ISupportErrorInfo, support.OutVoid()), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(kIID_IMailer), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(kIID_IMailer2), S_OK);

    // IMailer2 is the same object: IMailer's entries and state, then its own.
    TComPtr<IMailer2> m2;
    ASSERT_EQ(m->QueryInterface(kIID_IMailer2, m2.OutVoid()), S_OK);
    EXPECT_EQ(m2->get_Encoding(&s), S_OK);
    EXPECT_EQ(s, 1);
    TBstr info(u"x");
    EXPECT_EQ(m2->get_ConnectionInfo(info.Out()), S_OK);
    EXPECT_EQ(info.Text(), u"");
    TComPtr<IUnknown> one, other;
    ASSERT_EQ(m->QueryInterface(IID_IUnknown, one.OutVoid()), S_OK);
    ASSERT_EQ(m2->QueryInterface(IID_IUnknown, other.OutVoid()), S_OK);
    EXPECT_EQ(one.Get(), other.Get());
}

// An entry answers S_OK, or, for a put whose property takes only certain
// words, refuses the text with an error that names that property.
void ExpectAnswered(HRESULT hr, bool put, const char* name) {
    const std::u16string wide(name, name + std::strlen(name));
    if (put && hr == E_UNEXPECTED) {
        EXPECT_EQ(TakeError().second.rfind(wide + u" ", 0), 0u) << name;
        return;
    }
    EXPECT_EQ(hr, S_OK) << name;
}

// Every virtual-table entry once, in order, with plain arguments (text is a
// readable file's name, so GetBodyTextFromFile does not wait for it).
TEST_F(ComServerTest, EveryVirtualTableEntryAnswers) {
    TComPtr<IMailer2> m;
    ASSERT_EQ(Create(m.OutVoid(), kIID_IMailer2), S_OK);
    TBstr text(platform::AnsiToWide(QP_TEST_DATA_DIR "/encoding/compose/a_plain.txt"));
    TBstr outText;
    SHORT outShort = 0;
    [[maybe_unused]] LONG outLong = 0;  // for members that answer a Long
    std::size_t entries = 0;
#define QP_TEST_ARG_Bstr text.Get()
#define QP_TEST_ARG_Bool VARIANT_FALSE
#define QP_TEST_ARG_I2 1
#define QP_TEST_ARG_I4 1
#define QP_TEST_ARG(Type, name) , QP_TEST_ARG_##Type
#define QP_TEST_OUT_Void
#define QP_TEST_OUT_Bstr , outText.Out()
#define QP_TEST_OUT_Bool , &outShort
#define QP_TEST_OUT_I2 , &outShort
#define QP_TEST_OUT_I4 , &outLong
#define QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help)                \
    ExpectAnswered(m->QP_ENTRY_NAME(Kind, Name)(                                         \
                       QP_TAIL(QP_MAP(QP_TEST_ARG, Params) QP_CAT(QP_TEST_OUT_, Type))), \
                   TMemberKind::Kind == TMemberKind::PropertyPut, #Name);                \
    ++entries;
#include "mailer/com/mailer_members.def"
    EXPECT_EQ(entries, kMemberRowCount);
}

// The compiled type library against the member table the dispatcher routes by:
// any drift between the two would give scripts one surface and compiled
// clients another.
void ExpectTheTypeLibraryToMatchTheMemberTable(const platform::TTypeDescription& type) {
    EXPECT_EQ(type.name, "IMailer2");
    EXPECT_EQ(type.help,
              "Dispatch interface for Mailer Object, with the members added since IMailer");
    constexpr unsigned kHidden = 0x10, kDual = 0x40, kOleAutomation = 0x100;
    EXPECT_EQ(type.flags & (kHidden | kDual | kOleAutomation), kHidden | kDual | kOleAutomation);
    const auto rows = MailerMembers();
    ASSERT_EQ(type.members.size(), rows.size());
    const int step = type.members[1].vtableOffset - type.members[0].vtableOffset;
    EXPECT_EQ(type.members[0].vtableOffset, 7 * step);  // after IUnknown and IDispatch
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TMemberInfo& row = rows[i];
        const platform::TTypeMember& got = type.members[i];
        SCOPED_TRACE(std::string(row.name));
        EXPECT_EQ(got.iface, row.iface == TInterface::IMailer ? "IMailer" : "IMailer2");
        EXPECT_EQ(got.dispId, row.dispId);
        EXPECT_EQ(got.name, row.name);
        EXPECT_EQ(got.kind, static_cast<int>(row.kind));
        EXPECT_EQ(got.result, row.result);
        EXPECT_EQ(got.vtableOffset, type.members[0].vtableOffset + static_cast<int>(i) * step);
        ASSERT_EQ(got.paramTypes.size(), row.params.size());
        // The system does not name a put's value parameter.
        if (row.kind != TMemberKind::PropertyPut) {
            ASSERT_EQ(got.paramNames.size(), row.params.size());
        }
        for (std::size_t p = 0; p < row.params.size(); ++p) {
            EXPECT_EQ(got.paramTypes[p], row.params[p].type);
            if (p < got.paramNames.size()) {
                EXPECT_EQ(got.paramNames[p], row.params[p].name);
            }
        }
        // A get and its put share one help string, the get's.
        if (row.kind != TMemberKind::PropertyPut ||
            FindMember(row.dispId, TMemberKind::PropertyGet) == nullptr) {
            EXPECT_EQ(got.help, row.help);
        }
    }
}

TEST_F(ComServerTest, DispatchFindsNamesAndReportsFailuresAsExceptions) {
    TComPtr<IDispatch> d;
    ASSERT_EQ(platform::CreateObject("quillpost.mailer", IID_IDispatch, d.OutVoid()), S_OK);
    UINT count = 0;
    EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
    EXPECT_EQ(d->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info, nullptr);
    // Windows serves the type library's; this system's layer has none.
    const HRESULT typeInfo = d->GetTypeInfo(0, 0, &info);
    EXPECT_TRUE(typeInfo == S_OK ? info != nullptr : typeInfo == E_NOTIMPL && info == nullptr);
    if (info != nullptr) {
        ExpectTheTypeLibraryToMatchTheMemberTable(platform::DescribeTypeInfo(info));
        TComPtr<ITypeInfo>::Adopt(info);
    }

    const std::pair<std::u16string, DISPID> names[] = {{u"sendmail", kDispSendMail},
                                                       {u"WORDWRAPLEN", kDispWordWrapLen},
                                                       {u"PgpTimeOut", kDispPGPTimeOut},
                                                       {u"connectioninfo", kDispConnectionInfo},
                                                       {u"Send", DISPID_UNKNOWN}};
    for (const auto& [name, id] : names) {
        std::u16string text = name;
        LPOLESTR list[] = {reinterpret_cast<LPOLESTR>(text.data())};
        DISPID got = 99;
        EXPECT_EQ(d->GetIDsOfNames(IID_NULL, list, 1, 0, &got),
                  id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
        EXPECT_EQ(got, id);
    }

    platform::TExcepInfoHolder e;
    EXPECT_EQ(Invoke(d.Get(), kDispWordWrapLen, DISPATCH_PROPERTYPUT, {I4(-1)}, nullptr, &e.info),
              DISP_E_EXCEPTION);
    EXPECT_EQ(platform::FromBstr(e.info.bstrSource), u"Quillpost.Mailer");
    EXPECT_EQ(platform::FromBstr(e.info.bstrDescription), u"Range check error");
    EXPECT_EQ(e.info.scode, E_UNEXPECTED);
    TakeError();

    VARIANT r;
    VariantInit(&r);
    platform::TExcepInfoHolder answered;
    EXPECT_EQ(Invoke(d.Get(), kDispSendMail, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &r,
                     &answered.info),
              S_OK);
    EXPECT_EQ(r.vt, VT_BOOL);
    EXPECT_EQ(r.boolVal, VARIANT_FALSE);
    TakeError();

    // By-reference and wider numeric arguments; the put flags win over a method flag.
    LONG priority = 5;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_I4 | VT_BYREF;
    byRef.plVal = &priority;
    EXPECT_EQ(Invoke(d.Get(), kDispPriority, DISPATCH_PROPERTYPUT | DISPATCH_METHOD, {byRef}),
              S_OK);
    VARIANT inner = I4(2);
    VARIANT viaVariant;
    VariantInit(&viaVariant);
    viaVariant.vt = VT_VARIANT | VT_BYREF;
    viaVariant.pvarVal = &inner;
    EXPECT_EQ(Invoke(d.Get(), kDispCharSet, DISPATCH_PROPERTYPUT, {viaVariant}), S_OK);
    VARIANT wide;
    VariantInit(&wide);
    wide.vt = VT_UI4;
    wide.ulVal = 80;
    EXPECT_EQ(Invoke(d.Get(), kDispWordWrapLen, DISPATCH_PROPERTYPUT, {wide}), S_OK);
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_EQ(Invoke(d.Get(), kDispSubject, DISPATCH_PROPERTYPUT, {nullText}), S_OK);

    const std::pair<DISPID, SHORT> expected[] = {
        {kDispPriority, 5}, {kDispCharSet, 2}, {kDispWordWrapLen, 80}};
    for (const auto& [id, value] : expected) {
        VariantInit(&r);
        ASSERT_EQ(Invoke(d.Get(), id, DISPATCH_PROPERTYGET, {}, &r), S_OK) << id;
        EXPECT_EQ(r.vt, VT_I2);
        EXPECT_EQ(r.iVal, value) << id;
    }
    VariantInit(&r);
    ASSERT_EQ(Invoke(d.Get(), kDispSubject, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_BSTR);
    EXPECT_EQ(platform::FromBstr(r.bstrVal), u"");
    VariantClear(&r);

    UINT argErr = 99;
    VARIANT text;
    VariantInit(&text);
    TBstr notANumber(u"many");
    text.vt = VT_BSTR;
    text.bstrVal = notANumber.Get();
    EXPECT_EQ(
        Invoke(d.Get(), kDispPriority, DISPATCH_PROPERTYPUT, {text}, nullptr, nullptr, &argErr),
        DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(d->Invoke(kDispSendMail, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                        nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

// A class registered "Both" lets two threads into one object at once: each
// member call runs whole, through the virtual table and IDispatch alike, so
// a read sees one thread's whole value and the recipient list stays sound.
// Under ThreadSanitizer a missing lock is a report.
TEST_F(ComServerTest, OneObjectEnteredByTwoThreadsRunsOneCallAtATime) {
    TComPtr<IMailer> m;
    ASSERT_EQ(Create(m.OutVoid()), S_OK);
    TComPtr<IDispatch> d;
    ASSERT_EQ(m->QueryInterface(IID_IDispatch, d.OutVoid()), S_OK);
    const std::u16string texts[2] = {std::u16string(200, u'a'), std::u16string(200, u'b')};
    std::atomic<int> torn{0};
    auto work = [&](int me) {
        platform::ComInitialize();
        TBstr name(u"Thread");
        TBstr address(me == 0 ? u"a@example.com" : u"b@example.com");
        TBstr text(texts[me]);
        for (int i = 0; i < 300; ++i) {
            VARIANT_BOOL added = VARIANT_FALSE;
            m->AddRecipient(name.Get(), address.Get(), &added);
            if (i % 50 == 49) m->ClearRecipients();
            std::u16string seen;
            if (me == 0) {
                m->put_Subject(text.Get());
                TBstr back;
                m->get_Subject(back.Out());
                seen = back.Text();
            } else {
                VARIANT put;
                VariantInit(&put);
                put.vt = VT_BSTR;
                put.bstrVal = text.Get();
                Invoke(d.Get(), kDispSubject, DISPATCH_PROPERTYPUT, {put});
                VARIANT got;
                VariantInit(&got);
                Invoke(d.Get(), kDispSubject, DISPATCH_PROPERTYGET, {}, &got);
                seen = platform::FromBstr(got.bstrVal);
                VariantClear(&got);
            }
            if (seen != texts[0] && seen != texts[1]) ++torn;
        }
        platform::ComUninitialize();
    };
    std::thread other(work, 1);
    work(0);
    other.join();
    EXPECT_EQ(torn, 0);
}

TEST_F(ComServerTest, TheLibraryCanUnloadOnlyWithoutObjectsAndLocks) {
    {
        TComPtr<IMailer> m;
        ASSERT_EQ(Create(m.OutVoid()), S_OK);
        EXPECT_EQ(CanUnload(), S_FALSE);
        m->AddRef();
        m->Release();
        EXPECT_EQ(CanUnload(), S_FALSE);
    }
    EXPECT_EQ(CanUnload(), S_OK);

    TComPtr<IClassFactory> factory;
    ASSERT_EQ(platform::GetServerClassObject(library, kCLSID_Mailer, IID_IClassFactory,
                                             factory.OutVoid()),
              S_OK);
    EXPECT_EQ(CanUnload(), S_OK);  // holding the factory alone does not pin the library
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(CanUnload(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(CanUnload(), S_OK);

    // An interface the object lacks: nothing is left alive.
    void* out = &factory;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CanUnload(), S_OK);

    void* other = &factory;
    EXPECT_EQ(platform::GetServerClassObject(library, kIID_IMailer, IID_IClassFactory, &other),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(platform::GetServerClassObject(library, kCLSID_Mailer, IID_IDispatch, &other),
              E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

// An outer object that counts the references handed to it.
class TOuter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    std::atomic<ULONG> refs{1};
    IUnknown* inner = nullptr;
};

TEST_F(ComServerTest, AnAggregatedObjectHandsItsReferencesToTheOuterObject) {
    TComPtr<IClassFactory> factory;
    ASSERT_EQ(platform::GetServerClassObject(library, kCLSID_Mailer, IID_IClassFactory,
                                             factory.OutVoid()),
              S_OK);
    TOuter outer;
    void* out = nullptr;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(CanUnload(), S_FALSE);
    IMailer* m = nullptr;
    ASSERT_EQ(outer.QueryInterface(kIID_IMailer, reinterpret_cast<void**>(&m)), S_OK);
    EXPECT_EQ(outer.refs, 2u);  // the object's interface counts on the outer object
    IUnknown* viaObject = nullptr;
    ASSERT_EQ(m->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaObject)), S_OK);
    EXPECT_EQ(viaObject, static_cast<IUnknown*>(&outer));
    viaObject->Release();
    m->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(CanUnload(), S_OK);
}

}  // namespace
}  // namespace quillpost::com
