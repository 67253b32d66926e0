#include "mailer/com/member_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace quillpost::com {
namespace {

std::string Folded(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

TEST(MemberTable, DispIdsAreUniquePerKindAndRowsFollowTheVirtualTableOrder) {
    std::set<std::pair<DispId, TMemberKind>> seen;
    const TMemberInfo* previous = nullptr;
    for (const TMemberInfo& m : MailerMembers()) {
        EXPECT_TRUE(seen.insert({m.dispId, m.kind}).second) << m.name;
        if (previous != nullptr) {
            EXPECT_LE(previous->dispId, m.dispId) << m.name;
            if (previous->dispId == m.dispId) {
                EXPECT_EQ(previous->kind, TMemberKind::PropertyGet) << m.name << ": get first";
                EXPECT_EQ(m.kind, TMemberKind::PropertyPut) << m.name;
            }
        }
        previous = &m;
    }
}

TEST(MemberTable, NamesAreUniqueWithoutRegardToCase) {
    // One folded name per DISPID and one DISPID per folded name; the get and
    // put rows of a property share both.
    std::map<std::string, DispId> byName;
    std::map<DispId, std::string> byId;
    for (const TMemberInfo& m : MailerMembers()) {
        const auto [n, newName] = byName.emplace(Folded(m.name), m.dispId);
        EXPECT_EQ(n->second, m.dispId) << m.name;
        const auto [d, newId] = byId.emplace(m.dispId, Folded(m.name));
        EXPECT_EQ(d->second, Folded(m.name)) << m.dispId;
    }
}

TEST(MemberTable, UnusedDispIdsAreAbsentAndTheRestAreUsed) {
    std::set<DispId> ids;
    for (const TMemberInfo& m : MailerMembers()) ids.insert(m.dispId);
    for (DispId id = 1; id <= 42; ++id)
        EXPECT_EQ(ids.count(id), (id == 29 || id == 41) ? 0u : 1u) << id;
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), 42);
}

TEST(MemberTable, RowShapesMatchTheirKind) {
    for (const TMemberInfo& m : MailerMembers()) {
        SCOPED_TRACE(std::string(m.name));
        if (m.kind == TMemberKind::PropertyGet) {
            EXPECT_TRUE(m.params.empty());
            EXPECT_NE(m.result, kVtEmpty);
        }
        if (m.kind == TMemberKind::PropertyPut) {
            ASSERT_EQ(m.params.size(), 1u);
            EXPECT_EQ(m.params[0].name, kPutValueName);
            EXPECT_EQ(m.result, kVtEmpty);
            // A property reads back in the type it is written in.
            if (const TMemberInfo* get = FindMember(m.dispId, TMemberKind::PropertyGet)) {
                EXPECT_EQ(get->result, m.params[0].type);
            }
        }
        for (const TParamInfo& p : m.params)
            EXPECT_TRUE(p.type == kVtBstr || p.type == kVtBool || p.type == kVtI2 ||
                        p.type == kVtI4);
    }
}

// The automation surface of TMailer, member by member, with the accessors a
// script can reach: every one must have its row, and no row may be extra.
TEST(MemberTable, EveryAutomationMemberOfTheMailerHasItsRows) {
    const std::set<std::pair<std::string, TMemberKind>> expected = [] {
        std::set<std::pair<std::string, TMemberKind>> s;
        for (const char* m :
             {"SendMail", "ClearAttachments", "AddAttachment", "AddRecipient", "ClearRecipients",
              "AddCC", "ClearCCs", "AddBCC", "ClearBCCs", "ClearAllRecipients", "ClearBodyText",
              "GetBodyTextFromFile", "ClearExtraHeaders", "AddExtraHeader", "MarkRegistry"})
            s.insert({m, TMemberKind::Method});
        for (const char* p :
             {"RemoteHost",    "Subject",          "FromName",  "FromAddress", "ReplyTo",
              "ContentType",   "SMTPLog",          "Encoding",  "CharSet",     "Priority",
              "Urgent",        "PGPPath",          "PGPParams", "TimeOut",     "ConfirmRead",
              "ReturnReceipt", "UseMSMailHeaders", "WordWrap",  "WordWrapLen", "DateTime",
              "Live"}) {
            s.insert({p, TMemberKind::PropertyGet});
            s.insert({p, TMemberKind::PropertyPut});
        }
        for (const char* p : {"Response", "Version"}) s.insert({p, TMemberKind::PropertyGet});
        for (const char* p : {"BodyText", "PGPTimeOut"}) s.insert({p, TMemberKind::PropertyPut});
        return s;
    }();
    std::set<std::pair<std::string, TMemberKind>> actual;
    for (const TMemberInfo& m : MailerMembers()) actual.insert({std::string(m.name), m.kind});
    EXPECT_EQ(actual, expected);
}

TEST(MemberTable, HelpStringsAreKeptWordForWord) {
    EXPECT_EQ(FindMember(26, TMemberKind::PropertyGet)->help,
              "Indicates any errors that may have occured during the Send method.");
    EXPECT_EQ(FindMember(10, TMemberKind::Method)->help,
              "Removes all Recipients, CC's and BCC's from the message.");
    EXPECT_EQ(FindMember(21, TMemberKind::PropertyPut)->help, "The message's text.");
    // Only BodyText's put row, being its only row, carries help.
    for (const TMemberInfo& m : MailerMembers())
        if (m.kind == TMemberKind::PropertyPut && m.dispId != 21) {
            EXPECT_TRUE(m.help.empty()) << m.name;
        }
    EXPECT_TRUE(FindMember(38, TMemberKind::Method)->help.empty());
}

TEST(MemberTable, SameNameFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(SameName(u"sendmail", "SendMail"));
    EXPECT_TRUE(SameName(u"SMTPLOG", "SMTPLog"));
    EXPECT_FALSE(SameName(u"SendMai", "SendMail"));
    EXPECT_FALSE(SameName(u"SendMail ", "SendMail"));
    // U+212A KELVIN SIGN folds to K in Unicode but is no ASCII letter.
    EXPECT_FALSE(SameName(u"Mar\u212ARegistry", "MarkRegistry"));
    EXPECT_FALSE(SameName(u"Send_ail",
                          "Send\x7F"
                          "ail"));
}

}  // namespace
}  // namespace quillpost::com
