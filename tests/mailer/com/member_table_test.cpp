#include "mailer/com/member_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

namespace quillpost::com {
namespace {

std::string Folded(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// The row forms give each property its get and put rows and the compiler
// refuses a name twice; what is left to check is that two names never share
// a DISPID and that no two differ only in case.
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

// IMailer is published: compiled clients depend on its entries' order and
// signatures, scripts on its DISPIDs. Nothing in this text may change.
TEST(MemberTable, IMailerIsFrozenAndIMailer2FollowsIt) {
    std::string imailer;
    bool inIMailer2 = false;
    for (const TMemberInfo& m : MailerMembers()) {
        if (m.iface == TInterface::IMailer2) {
            inIMailer2 = true;
            EXPECT_GE(m.dispId, 100) << m.name;
            continue;
        }
        EXPECT_FALSE(inIMailer2) << m.name << ": IMailer's rows come first";
        imailer += std::to_string(m.dispId) + "MGP"[static_cast<int>(m.kind) / 2] +
                   std::string(m.name) + "(";
        for (const TParamInfo& p : m.params) imailer += std::to_string(p.type);
        imailer += ")" + std::to_string(m.result) + " ";
    }
    EXPECT_TRUE(inIMailer2);
    EXPECT_EQ(imailer,
              "1MSendMail()11 2MClearAttachments()0 3MAddAttachment(8)11 4MAddRecipient(88)11 "
              "5MClearRecipients()0 6MAddCC(88)11 7MClearCCs()0 8MAddBCC(88)11 9MClearBCCs()0 "
              "10MClearAllRecipients()0 11MClearBodyText()0 12MGetBodyTextFromFile(81111)11 "
              "13MClearExtraHeaders()0 14MAddExtraHeader(8)11 15GRemoteHost()8 15PRemoteHost(8)0 "
              "16GSubject()8 16PSubject(8)0 17GFromName()8 17PFromName(8)0 18GFromAddress()8 "
              "18PFromAddress(8)0 19GReplyTo()8 19PReplyTo(8)0 20GContentType()8 "
              "20PContentType(8)0 21PBodyText(8)0 22GSMTPLog()8 22PSMTPLog(8)0 23GEncoding()2 "
              "23PEncoding(2)0 24GCharSet()2 24PCharSet(2)0 25GPriority()2 25PPriority(2)0 "
              "26GResponse()8 27GUrgent()11 27PUrgent(11)0 28GVersion()8 30GPGPPath()8 "
              "30PPGPPath(8)0 31GPGPParams()8 31PPGPParams(8)0 32GTimeOut()2 32PTimeOut(2)0 "
              "33GConfirmRead()11 33PConfirmRead(11)0 34GReturnReceipt()11 34PReturnReceipt(11)0 "
              "35GUseMSMailHeaders()11 35PUseMSMailHeaders(11)0 36GWordWrap()11 "
              "36PWordWrap(11)0 37GWordWrapLen()2 37PWordWrapLen(2)0 38MMarkRegistry(3)0 "
              "39GDateTime()8 39PDateTime(8)0 40GLive()11 40PLive(11)0 42PPGPTimeOut(3)0 ");
}

TEST(MemberTable, HelpStringsAreKeptWordForWord) {
    EXPECT_EQ(FindMember(kDispResponse, TMemberKind::PropertyGet)->help,
              "Indicates any errors that may have occured during the Send method.");
    EXPECT_EQ(FindMember(kDispClearAllRecipients, TMemberKind::Method)->help,
              "Removes all Recipients, CC's and BCC's from the message.");
    EXPECT_EQ(FindMember(kDispBodyText, TMemberKind::PropertyPut)->help, "The message's text.");
    // A put row carries help only where it is the property's only row.
    for (const TMemberInfo& m : MailerMembers())
        if (m.kind == TMemberKind::PropertyPut &&
            FindMember(m.dispId, TMemberKind::PropertyGet) != nullptr) {
            EXPECT_TRUE(m.help.empty()) << m.name;
        }
    EXPECT_TRUE(FindMember(kDispMarkRegistry, TMemberKind::Method)->help.empty());
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
