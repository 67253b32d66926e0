#include "platform/socket_errors.h"

#include <cerrno>

#include "base/winsock_codes.h"

namespace quillpost::platform {
namespace {

struct ErrnoCode {
    int errnoValue;
    std::uint16_t code;
};

// Searched in order, so names that share a value on some systems (EAGAIN and
// EWOULDBLOCK, ENOTSUP and EOPNOTSUPP) may both stand here.
// clang-format off
constexpr ErrnoCode kErrnoCodes[] = {
    {EINTR, winsock::kInterrupted},
    {EBADF, winsock::kBadFile},
    {EACCES, winsock::kPermissionDenied},
    {EPERM, winsock::kPermissionDenied},
    {EFAULT, winsock::kBadAddress},
    {EINVAL, winsock::kInvalidArgument},
    {EMFILE, winsock::kTooManyOpenFiles},
    {ENFILE, winsock::kTooManyOpenFiles},
    {EWOULDBLOCK, winsock::kWouldBlock},
    {EAGAIN, winsock::kWouldBlock},
    // A non-blocking connect under way is "would block" in Winsock terms.
    {EINPROGRESS, winsock::kWouldBlock},
    {EALREADY, winsock::kAlreadyInProgress},
    {ENOTSOCK, winsock::kNotASocket},
    {EDESTADDRREQ, winsock::kDestinationRequired},
    {EMSGSIZE, winsock::kMessageTooLong},
    {EPROTOTYPE, winsock::kWrongProtocolType},
    {ENOPROTOOPT, winsock::kBadProtocolOption},
    {EPROTONOSUPPORT, winsock::kProtocolNotSupported},
    {EOPNOTSUPP, winsock::kOperationNotSupported},
#ifdef ENOTSUP
    {ENOTSUP, winsock::kOperationNotSupported},
#endif
    {EAFNOSUPPORT, winsock::kAddressFamilyNotSupported},
    {EADDRINUSE, winsock::kAddressInUse},
    {EADDRNOTAVAIL, winsock::kAddressNotAvailable},
    {ENETDOWN, winsock::kNetworkDown},
    {ENETUNREACH, winsock::kNetworkUnreachable},
    {ENETRESET, winsock::kNetworkReset},
    {ECONNABORTED, winsock::kConnectionAborted},
    {ECONNRESET, winsock::kConnectionReset},
    // Writing to a connection the peer has dropped: Winsock reports a reset.
    {EPIPE, winsock::kConnectionReset},
    {ENOBUFS, winsock::kNoBufferSpace},
    {ENOMEM, winsock::kNoBufferSpace},
    {EISCONN, winsock::kAlreadyConnected},
    {ENOTCONN, winsock::kNotConnected},
    {ETIMEDOUT, winsock::kTimedOut},
    {ECONNREFUSED, winsock::kConnectionRefused},
    {ELOOP, winsock::kTooManyLinks},
    {ENAMETOOLONG, winsock::kNameTooLong},
    {EHOSTUNREACH, winsock::kHostUnreachable},
    {ENOTEMPTY, winsock::kNotEmpty},
    // Beyond POSIX: the C library defines all of these, or none (mingw).
#if defined(ESOCKTNOSUPPORT) && defined(EPFNOSUPPORT) && defined(ESHUTDOWN) && \
    defined(ETOOMANYREFS) && defined(EHOSTDOWN) && defined(EUSERS) && defined(EDQUOT) && \
    defined(ESTALE) && defined(EREMOTE)
    {ESOCKTNOSUPPORT, winsock::kSocketTypeNotSupported},
    {EPFNOSUPPORT, winsock::kProtocolFamilyNotSupported},
    {ESHUTDOWN, winsock::kShutDown},
    {ETOOMANYREFS, winsock::kTooManyReferences},
    {EHOSTDOWN, winsock::kHostDown},
    {EUSERS, winsock::kTooManyUsers},
    {EDQUOT, winsock::kQuotaExceeded},
    {ESTALE, winsock::kStaleHandle},
    {EREMOTE, winsock::kRemotePath},
#endif
};
// clang-format on

}  // namespace

std::uint16_t WinsockCodeForErrno(int e) {
    if (e == 0) return 0;
    for (const ErrnoCode& entry : kErrnoCodes)
        if (entry.errnoValue == e) return entry.code;
    // Past the table's Winsock range, so no foreign text is ever borrowed.
    return static_cast<std::uint16_t>(winsock::kUnmappedBase + (e > 0 && e < 900 ? e : 0));
}

}  // namespace quillpost::platform
