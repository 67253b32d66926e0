#include "mailer/com/member_table.h"

#include <algorithm>
#include <iterator>

namespace quillpost::com {
namespace {

constexpr TMemberKind kMethod = TMemberKind::Method;
constexpr TMemberKind kGet = TMemberKind::PropertyGet;
constexpr TMemberKind kPut = TMemberKind::PropertyPut;

constexpr TParamInfo kStrAttach[] = {{"strAttach", kVtBstr}};
constexpr TParamInfo kPartyArgs[] = {{"strName", kVtBstr}, {"strAddress", kVtBstr}};
constexpr TParamInfo kBodyFileArgs[] = {
    {"strInputFile", kVtBstr}, {"bolEraseInputFile", kVtBool}, {"bolShowWindow", kVtBool}};
constexpr TParamInfo kStrExtraHeader[] = {{"strExtraHeader", kVtBstr}};
constexpr TParamInfo kThdModel[] = {{"thdModel", kVtI4}};
constexpr TParamInfo kPutText[] = {{kPutValueName, kVtBstr}};
constexpr TParamInfo kPutI2[] = {{kPutValueName, kVtI2}};
constexpr TParamInfo kPutI4[] = {{kPutValueName, kVtI4}};
constexpr TParamInfo kPutBool[] = {{kPutValueName, kVtBool}};

// The help strings are published in the type library word for word,
// misspellings included: scripts and tools may show or compare them.
// clang-format off
constexpr TMemberInfo kMembers[] = {
    {1, "SendMail", kMethod, {}, kVtBool,
     "Sends the message and returns true or false upon completion."},
    {2, "ClearAttachments", kMethod, {}, kVtEmpty,
     "Clears any file attachments for the message."},
    {3, "AddAttachment", kMethod, kStrAttach, kVtBool,
     "Adds a file attachment to the message."},
    {4, "AddRecipient", kMethod, kPartyArgs, kVtBool,
     "Adds a standard message recipient. Recipients appear in the To: message header."},
    {5, "ClearRecipients", kMethod, {}, kVtEmpty,
     "Clears any message recipients. Send ClearAllRecipients to remove Recipients, CCs and BCCs."},
    {6, "AddCC", kMethod, kPartyArgs, kVtBool,
     "Adds a message Carbon Copy recipient."},
    {7, "ClearCCs", kMethod, {}, kVtEmpty,
     "Removes all Carbon Copy recipients from the message."},
    {8, "AddBCC", kMethod, kPartyArgs, kVtBool,
     "Adds a message Blind Carbon Copy recipient. These recipients will not appear in the To: or CC: message headers."},
    {9, "ClearBCCs", kMethod, {}, kVtEmpty,
     "Removes all Blind Carbon Copy recipients from the message."},
    {10, "ClearAllRecipients", kMethod, {}, kVtEmpty,
     "Removes all Recipients, CC's and BCC's from the message."},
    {11, "ClearBodyText", kMethod, {}, kVtEmpty,
     "Clears the message's body text."},
    {12, "GetBodyTextFromFile", kMethod, kBodyFileArgs, kVtBool,
     "Retrieves the message text from a file. Optionally erases the input file and can run PGP on the message before loading (See PGPPath and PGPParms)."},
    {13, "ClearExtraHeaders", kMethod, {}, kVtEmpty,
     "Removes any extra X-Headers that have been set with the AddExtraHeader method."},
    {14, "AddExtraHeader", kMethod, kStrExtraHeader, kVtBool,
     "Adds the specified X-header to the message's headers."},
    {15, "RemoteHost", kGet, {}, kVtBstr,
     "The remote SMTP host that the message will be sent through. You can specify up to three (the 2nd and 3rd are used for fault tolerance) seperated by commas or semicolons."},
    {15, "RemoteHost", kPut, kPutText, kVtEmpty, ""},
    {16, "Subject", kGet, {}, kVtBstr,
     "The message's subject."},
    {16, "Subject", kPut, kPutText, kVtEmpty, ""},
    {17, "FromName", kGet, {}, kVtBstr,
     "The message originator's name."},
    {17, "FromName", kPut, kPutText, kVtEmpty, ""},
    {18, "FromAddress", kGet, {}, kVtBstr,
     "The message originator's email address."},
    {18, "FromAddress", kPut, kPutText, kVtEmpty, ""},
    {19, "ReplyTo", kGet, {}, kVtBstr,
     "An optional email address that replies should be sent to."},
    {19, "ReplyTo", kPut, kPutText, kVtEmpty, ""},
    {20, "ContentType", kGet, {}, kVtBstr,
     "An optional property that specifies the content of the message. Can be used for sending HTML messages that are intended to be formatted by an HTML compliant email package."},
    {20, "ContentType", kPut, kPutText, kVtEmpty, ""},
    {21, "BodyText", kPut, kPutText, kVtEmpty,
     "The message's text."},
    {22, "SMTPLog", kGet, {}, kVtBstr,
     "Used for debugging. You can specify an output file where the SMTP transaction is dumped to. NOT FOR USE IN PRODUCTION ENVIRONMENTS."},
    {22, "SMTPLog", kPut, kPutText, kVtEmpty, ""},
    {23, "Encoding", kGet, {}, kVtI2,
     "Specifies the message attachment encoding type. 1 = UUEncoding, 2 = MIME/Base64. The default is MIME/Base64."},
    {23, "Encoding", kPut, kPutI2, kVtEmpty, ""},
    {24, "CharSet", kGet, {}, kVtI2,
     "Specifies the character set the message uses. 1 = US ASCII, 2 = ISO8859, 3 = UTF-8. The default is US ASCII."},
    {24, "CharSet", kPut, kPutI2, kVtEmpty, ""},
    {25, "Priority", kGet, {}, kVtI2,
     "The message priority from 1 - 5 where 1 is high priority and 5 is low priority."},
    {25, "Priority", kPut, kPutI2, kVtEmpty, ""},
    {26, "Response", kGet, {}, kVtBstr,
     "Indicates any errors that may have occured during the Send method."},
    {27, "Urgent", kGet, {}, kVtBool,
     "Specifies the message is urgent. Adds an Urgent X-header. Not all email programs will support this header."},
    {27, "Urgent", kPut, kPutBool, kVtEmpty, ""},
    {28, "Version", kGet, {}, kVtBstr,
     "Returns the component version."},
    {30, "PGPPath", kGet, {}, kVtBstr,
     "Path to PGP. Used to PGP a message before sending it."},
    {30, "PGPPath", kPut, kPutText, kVtEmpty, ""},
    {31, "PGPParams", kGet, {}, kVtBstr,
     "Specify any PGP parameters. See example scripts for a sample."},
    {31, "PGPParams", kPut, kPutText, kVtEmpty, ""},
    {32, "TimeOut", kGet, {}, kVtI2,
     "Specifies the timeout limit for the TCP I/P transaction."},
    {32, "TimeOut", kPut, kPutI2, kVtEmpty, ""},
    {33, "ConfirmRead", kGet, {}, kVtBool,
     "If set to true, ConfirmRead will add an X-header that instructs the receiving email program to send a message information the original sender that the message was read. Not all email programs will support this header."},
    {33, "ConfirmRead", kPut, kPutBool, kVtEmpty, ""},
    {34, "ReturnReceipt", kGet, {}, kVtBool,
     "If set to true, ReturnReceipt will add an X-header that instructs the receiving server to send a message information the original sender that the message was received. Not all email servers will support this header."},
    {34, "ReturnReceipt", kPut, kPutBool, kVtEmpty, ""},
    {35, "UseMSMailHeaders", kGet, {}, kVtBool,
     "Turns MS mail headers on and off."},
    {35, "UseMSMailHeaders", kPut, kPutBool, kVtEmpty, ""},
    {36, "WordWrap", kGet, {}, kVtBool,
     "Turns message word wrap on and off."},
    {36, "WordWrap", kPut, kPutBool, kVtEmpty, ""},
    {37, "WordWrapLen", kGet, {}, kVtI2,
     "Sets the length for word wrap if it is turned on."},
    {37, "WordWrapLen", kPut, kPutI2, kVtEmpty, ""},
    {38, "MarkRegistry", kMethod, kThdModel, kVtEmpty, ""},
    {39, "DateTime", kGet, {}, kVtBstr,
     "Property to allow override of the default GMT date/time header."},
    {39, "DateTime", kPut, kPutText, kVtEmpty, ""},
    {40, "Live", kGet, {}, kVtBool,
     "True (default) sends message via SMTP. False attempts to use NET SEND to local user (for testing purposes)."},
    {40, "Live", kPut, kPutBool, kVtEmpty, ""},
    {42, "PGPTimeOut", kPut, kPutI4, kVtEmpty, ""},
};
// clang-format on

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

}  // namespace

std::span<const TMemberInfo> MailerMembers() { return kMembers; }

const TMemberInfo* FindMember(DispId dispId, TMemberKind kind) {
    const auto it =
        std::find_if(std::begin(kMembers), std::end(kMembers),
                     [&](const TMemberInfo& m) { return m.dispId == dispId && m.kind == kind; });
    return it == std::end(kMembers) ? nullptr : &*it;
}

bool SameName(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace quillpost::com
