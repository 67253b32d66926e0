#pragma once
// Numbered message texts: socket-layer messages (57000..), mail messages
// (57100..) and the Winsock error texts under the Winsock code itself.
#include <cstdint>
#include <string>

namespace quillpost {

enum MessageNumber : std::uint16_t {
    msgTimedOut = 57000,
    msgCanceled = 57001,
    msgServerRequired = 57002,
    msgInvalidWinsockVersion = 57003,
    msgErrorResolvingHost = 57004,
    msgServiceRequired = 57005,
    msgProxyPortRequired = 57006,
    msgInvalidUrl = 57007,
    msgNotConnected = 57008,
    msgServerBusy = 57009,
    msgFunctionNotFound = 57010,
    msgWinsockNotLoaded = 57011,
    msgWinsockNotFound = 57012,
    msgInvalidReply = 57014,

    msgSenderRequired = 57100,
    msgRecipientRequired = 57101,
    msgMailMessageRequired = 57102,
    msgMultipartPreamble = 57106,
    msgUnableToRetrieveHeaders = 57107,
    msgMissingContentType = 57108,
    msgNoClosingBoundary = 57109,
    msgNoBoundary = 57110,
    msgAttachmentDecodeError = 57111,
    msgNewsgroupRequired = 57115,
    msgSubjectRequired = 57116,
};

// The text of message N; a number without an entry gives "Error #" + N.
std::string LoadMessage(unsigned number);

// Message N with its single %s replaced by the argument.
std::string FormatMessage(unsigned number, const std::string& argument);

// True when the table has an entry for N (used by tests of the table).
bool HasMessage(unsigned number);

}  // namespace quillpost
