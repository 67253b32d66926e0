#pragma once
// The Winsock error codes that reach scripts on every platform (the message
// table holds their texts). Named here so code never spells a bare number.
#include <cstdint>

namespace quillpost::winsock {

enum Code : std::uint16_t {
    kInterrupted = 10004,
    kBadFile = 10009,
    kPermissionDenied = 10013,
    kBadAddress = 10014,
    kInvalidArgument = 10022,
    kTooManyOpenFiles = 10024,
    kWouldBlock = 10035,
    kAlreadyInProgress = 10037,
    kNotASocket = 10038,
    kDestinationRequired = 10039,
    kMessageTooLong = 10040,
    kWrongProtocolType = 10041,
    kBadProtocolOption = 10042,
    kProtocolNotSupported = 10043,
    kSocketTypeNotSupported = 10044,
    kOperationNotSupported = 10045,
    kProtocolFamilyNotSupported = 10046,
    kAddressFamilyNotSupported = 10047,
    kAddressInUse = 10048,
    kAddressNotAvailable = 10049,
    kNetworkDown = 10050,
    kNetworkUnreachable = 10051,
    kNetworkReset = 10052,
    kConnectionAborted = 10053,
    kConnectionReset = 10054,
    kNoBufferSpace = 10055,
    kAlreadyConnected = 10056,
    kNotConnected = 10057,
    kShutDown = 10058,
    kTooManyReferences = 10059,
    kTimedOut = 10060,
    kConnectionRefused = 10061,
    kTooManyLinks = 10062,
    kNameTooLong = 10063,
    kHostDown = 10064,
    kHostUnreachable = 10065,
    kNotEmpty = 10066,
    kTooManyUsers = 10068,
    kQuotaExceeded = 10069,
    kStaleHandle = 10070,
    kRemotePath = 10071,
    kHostNotFound = 11001,
    kTryAgain = 11002,
    kNoRecovery = 11003,
    kNoData = 11004,
    // Past the Winsock range: codes without a text, so a script sees
    // "Error #" and the number rather than a borrowed text.
    kUnmappedBase = 10100,
};

}  // namespace quillpost::winsock
