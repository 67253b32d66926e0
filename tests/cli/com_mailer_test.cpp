// The command line's Mailer reached through COM: the real server library,
// registered into a scratch registry (the Wine prefix's under Wine), created
// by its ProgID and driven by name through IDispatch.
#include "cli/com_mailer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line_runner.h"
#include "platform/com.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/registry_sandbox.h"
#include "util/errors.h"

namespace quillpost::cli {
namespace {

using com::TVariant;

std::string ServerLibrary() {
    return (std::filesystem::path(platform::ThisModulePath()).parent_path() /
            QP_SERVER_LIBRARY_NAME)
        .string();
}

class ComMailerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(platform::ComInitialize()));
        // A clean start: creation must find the class missing and register it.
        platform::CallServerExport(library, "DllUnregisterServer");
        ASSERT_EQ(TComMailer::Create(library, mailer), com::kS_OK);
        ASSERT_NE(mailer, nullptr);
    }
    void TearDown() override {
        mailer.reset();
        EXPECT_EQ(platform::CallServerExport(library, "DllUnregisterServer"), S_OK);
        platform::ComUninitialize();
    }

    com::HResult Put(std::string_view name, const TVariant& value, com::TExcepInfo* e = nullptr) {
        return mailer->Invoke(name, com::kDispatchPropertyPut, {&value, 1}, nullptr, e);
    }
    com::HResult Get(std::string_view name, TVariant& value) {
        return mailer->Invoke(name, com::kDispatchPropertyGet, {}, &value, nullptr);
    }

    testing::RegistrySandbox sandbox;
    const std::string library = ServerLibrary();
    std::unique_ptr<TComMailer> mailer;
};

TEST_F(ComMailerTest, CreationRegistersTheServerWhenTheClassIsMissing) {
    EXPECT_EQ(platform::RegistryReadString("Quillpost.Mailer\\Clsid", ""),
              "{E7CEACC2-BD11-11D0-B7AD-080009AB4447}");
    // Once registered, a second object needs no library to register.
    std::unique_ptr<TComMailer> second;
    EXPECT_EQ(TComMailer::Create("", second), com::kS_OK);
    EXPECT_NE(second, nullptr);
}

TEST_F(ComMailerTest, WithoutRegistrationOrLibraryCreationFailsAndGivesNothing) {
    mailer.reset();
    ASSERT_EQ(platform::CallServerExport(library, "DllUnregisterServer"), S_OK);
    std::unique_ptr<TComMailer> none;
    EXPECT_TRUE(com::Failed(TComMailer::Create("", none)));
    EXPECT_EQ(none, nullptr);
    const std::string missing =
        (std::filesystem::path(library).parent_path() / "no_such_server_library").string();
    EXPECT_TRUE(com::Failed(TComMailer::Create(missing, none)));
    EXPECT_EQ(none, nullptr);
    // Leaves the class registered for TearDown to remove.
    ASSERT_EQ(platform::CallServerExport(library, "DllRegisterServer"), S_OK);
}

TEST_F(ComMailerTest, PropertiesRoundTripThroughVariants) {
    struct TCase {
        const char* name;
        TVariant put;
        TVariant get;
    };
    const TCase cases[] = {
        {"Subject", TVariant::Bstr(u"Quarterly \u00E9 figures"),
         TVariant::Bstr(u"Quarterly \u00E9 figures")},
        {"Subject", TVariant::Bstr(u""), TVariant::Bstr(u"")},
        {"FromAddress", TVariant::I4(42), TVariant::Bstr(u"42")},
        {"WordWrapLen", TVariant::Bstr(u"60"), TVariant::I2(60)},
        {"Urgent", TVariant::Bool(-1), TVariant::Bool(-1)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Put(c.name, c.put), com::kS_OK);
        TVariant value = TVariant::Null();
        ASSERT_EQ(Get(c.name, value), com::kS_OK);
        EXPECT_EQ(value, c.get);
    }
}

TEST_F(ComMailerTest, MethodsAnswerTheirBooleans) {
    const TVariant good[] = {TVariant::Bstr(u"Ann"), TVariant::Bstr(u"ann@example.org")};
    const TVariant bad[] = {TVariant::Bstr(u"Bob"),
                            TVariant::Bstr(u"bob@example.org\r\nRCPT TO:<x>")};
    TVariant r;
    EXPECT_EQ(mailer->Invoke("AddRecipient", com::kDispatchMethod, good, &r, nullptr), com::kS_OK);
    EXPECT_EQ(r, TVariant::Bool(-1));
    EXPECT_EQ(mailer->Invoke("addcc", com::kDispatchMethod, bad, &r, nullptr), com::kS_OK);
    EXPECT_EQ(r, TVariant::Bool(0));
    r = TVariant::I4(9);
    EXPECT_EQ(mailer->Invoke("ClearAllRecipients", com::kDispatchMethod, {}, &r, nullptr),
              com::kS_OK);
    EXPECT_EQ(r, TVariant());
}

TEST_F(ComMailerTest, AnAutomationErrorBringsItsSourceAndDescription) {
    com::TExcepInfo e;
    EXPECT_EQ(Put("WordWrapLen", TVariant::I2(-1), &e), com::kDISP_E_EXCEPTION);
    EXPECT_EQ(e.record.source, u"Quillpost.Mailer");
    EXPECT_EQ(e.record.description, u"Range check error");
    EXPECT_TRUE(com::Failed(e.scode));
}

TEST_F(ComMailerTest, AnUnknownMemberOrAMismatchIsRefusedWithItsCode) {
    TVariant r;
    EXPECT_EQ(mailer->Invoke("NoSuchMember", com::kDispatchMethod, {}, &r, nullptr),
              com::kDISP_E_UNKNOWNNAME);
    const TVariant text = TVariant::Bstr(u"many");
    EXPECT_EQ(Put("WordWrapLen", text), com::kDISP_E_TYPEMISMATCH);
    EXPECT_THROW(
        {
            TMemoryStream out;
            mailer->ComposeMessage(out);
        },
        ENotAvailable);
}

TEST_F(ComMailerTest, TheCommandLineRunsThroughCom) {
    std::ostringstream out, err;
    TMemoryStream bytes;
    TConsole console{out, err, bytes, false};
    const std::vector<std::string> args{"--subject", "Hello",   "--Urgent", "true",
                                        "--get",     "Subject", "--get",    "Urgent"};
    EXPECT_EQ(RunCommandLine(*mailer, args, console), kExitSuccess);
    EXPECT_EQ(out.str(), "Hello\ntrue\n");
    EXPECT_EQ(err.str(), "");
}

TEST(ComMailerChoice, OnlyComposeNeedsTheInProcessObject) {
    using Args = std::vector<std::string>;
    struct TCase {
        Args args;
        bool inProcess;
    };
    const TCase cases[] = {
        {{"--Subject", "x", "--SendMail"}, false},
        {{"--SENDMAIL"}, false},
        {{"--compose", "-"}, true},
        {{"--Compose=out.eml"}, true},
        {{"--composer"}, false},
        {{"compose", "SendMail"}, false},
        {{}, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(NeedsInProcessMailer(c.args), c.inProcess) << ::testing::PrintToString(c.args);
}

}  // namespace
}  // namespace quillpost::cli
