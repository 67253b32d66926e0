#include "platform/socket_errors.h"

#include <cerrno>

namespace quillpost::platform {

std::uint16_t WinsockCodeForErrno(int e) {
    if (e == 0) return 0;
    // A switch rather than a table: several names share a value on some
    // systems (EAGAIN and EWOULDBLOCK, ENOTSUP and EOPNOTSUPP).
    switch (e) {
        case EINTR:
            return 10004;
        case EBADF:
            return 10009;
        case EACCES:
            return 10013;
        case EPERM:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
            return 10024;
        case ENFILE:
            return 10024;
        case EWOULDBLOCK:
            return 10035;
#if EAGAIN != EWOULDBLOCK
        case EAGAIN:
            return 10035;
#endif
        // A non-blocking connect under way is "would block" in Winsock terms.
        case EINPROGRESS:
            return 10035;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case EOPNOTSUPP:
            return 10045;
#if defined(ENOTSUP) && ENOTSUP != EOPNOTSUPP
        case ENOTSUP:
            return 10045;
#endif
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        // Writing to a connection the peer has dropped: Winsock reports a reset.
        case EPIPE:
            return 10054;
        case ENOBUFS:
            return 10055;
        case ENOMEM:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
#ifdef ESOCKTNOSUPPORT
        case ESOCKTNOSUPPORT:
            return 10044;
#endif
#ifdef EPFNOSUPPORT
        case EPFNOSUPPORT:
            return 10046;
#endif
#ifdef ESHUTDOWN
        case ESHUTDOWN:
            return 10058;
#endif
#ifdef ETOOMANYREFS
        case ETOOMANYREFS:
            return 10059;
#endif
#ifdef EHOSTDOWN
        case EHOSTDOWN:
            return 10064;
#endif
#ifdef EUSERS
        case EUSERS:
            return 10068;
#endif
#ifdef EDQUOT
        case EDQUOT:
            return 10069;
#endif
#ifdef ESTALE
        case ESTALE:
            return 10070;
#endif
#ifdef EREMOTE
        case EREMOTE:
            return 10071;
#endif
        default:
            break;
    }
    // Past the table's Winsock range, so no foreign text is ever borrowed.
    return static_cast<std::uint16_t>(10100 + (e > 0 && e < 900 ? e : 0));
}

}  // namespace quillpost::platform
