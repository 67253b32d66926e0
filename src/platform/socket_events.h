#pragma once
// The per-socket mechanism behind the socket component's waits: the socket
// calls themselves, the host and service lookups that run while the caller
// waits, the notifications they produce and a one-second tick. The component
// keeps every flag and decision; this layer only delivers the four occasions
// to its sink, in the order they happened, from DispatchPending and
// WaitForActivity and nowhere else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/winsock_codes.h"

namespace quillpost::platform {

// Where the socket functions are found, by name, at every call. Raises when
// the library is not loaded or lacks the name.
class SocketProcSource {
public:
    virtual void* GetProc(const char* name) = 0;

protected:
    ~SocketProcSource() = default;
};

// Socket event bits of a notification.
inline constexpr std::uint16_t kFdRead = 1;
inline constexpr std::uint16_t kFdWrite = 2;
inline constexpr std::uint16_t kFdConnect = 16;
inline constexpr std::uint16_t kFdClose = 32;

inline constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;

class SocketEventSink {
public:
    virtual void HostLookupDone(std::uint16_t error) = 0;
    virtual void ServiceLookupDone(std::uint16_t error) = 0;
    virtual void SocketEvent(std::uint16_t event, std::uint16_t error) = 0;
    virtual void Tick() = 0;

protected:
    ~SocketEventSink() = default;
};

class SocketEvents {
public:
    // Must be created, used and destroyed on one thread.
    static std::unique_ptr<SocketEvents> Create(SocketProcSource& procs, SocketEventSink& sink);
    virtual ~SocketEvents() = default;

    // Library start-up (version 1.1) and its balance; 0 means success.
    virtual int Startup() = 0;
    virtual void Cleanup() = 0;
    // The Winsock code of the last failed call.
    virtual int LastError() = 0;

    virtual bool HostName(std::string& name) = 0;
    // Dotted text to an IPv4 address in network order, or kAddressNone.
    virtual std::uint32_t InetAddr(const std::string& text) = 0;

    // Lookups report through HostLookupDone / ServiceLookupDone. False: the
    // request could not be started (LastError tells why).
    virtual bool StartHostLookup(const std::string& host) = 0;
    // The first address of a finished host lookup, in address order.
    virtual std::array<std::uint8_t, 4> HostLookupAddress() = 0;
    virtual bool StartServiceLookup(const std::string& service) = 0;
    // The port of a finished service lookup, in host order.
    virtual std::uint16_t ServiceLookupPort() = 0;
    // Abandons a pending lookup: no notification follows for it.
    virtual void CancelLookup() = 0;

    virtual bool CreateSocket() = 0;
    virtual bool SocketValid() const = 0;
    // Asks for read, write, connect and close notifications; makes the socket
    // non-blocking.
    virtual bool SelectEvents() = 0;
    // False with LastError() == winsock::kWouldBlock when the connection is under way.
    virtual bool ConnectSocket(std::uint32_t address, std::uint16_t port) = 0;
    // Bytes moved, or -1 (LastError tells why).
    virtual long Send(const char* data, std::size_t count) = 0;
    virtual long Recv(char* buffer, std::size_t count) = 0;
    // Bytes sent that the peer has not yet taken, or -1 where the system
    // does not tell.
    virtual long QueuedBytes() = 0;
    virtual void CloseSocket() = 0;
    // Ends a blocking call in progress, where the library has such calls.
    virtual void CancelBlockingCall() = 0;

    // The one-second tick; starting a running timer leaves its period alone.
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;

    // Delivers everything already pending (and the thread's window messages).
    virtual void DispatchPending() = 0;
    // Blocks until something arrives (a notification, a tick, a window
    // message; at most about a second), then delivers it. WantWrite also asks
    // to hear when a full send buffer drains.
    virtual void WaitForActivity(bool wantWrite) = 0;
};

}  // namespace quillpost::platform
