// Readiness polling with a one-second tick stands in for window messages: a
// wait blocks in poll() on the socket, the pipe of a running host lookup and
// the time of the next tick, and turns what it sees into the notifications a
// Winsock window would have received.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/socket_errors.h"
#include "platform/socket_events.h"

namespace quillpost::platform {
namespace {

using Clock = std::chrono::steady_clock;

// The coarse monotonic clock (a few milliseconds fine): a tick counted in
// whole seconds and a readiness check about once a millisecond need no more,
// and it costs a fraction of the precise clock, which a send or a read
// consults many times.
Clock::time_point Now() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
        std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
}

using SocketFn = int (*)(int, int, int);
using ConnectFn = int (*)(int, const sockaddr*, socklen_t);
using SendFn = ssize_t (*)(int, const void*, size_t, int);
using RecvFn = ssize_t (*)(int, void*, size_t, int);
using CloseFn = int (*)(int);
using FcntlFn = int (*)(int, int, ...);
using PollFn = int (*)(pollfd*, nfds_t, int);
using IoctlFn = int (*)(int, unsigned long, ...);
using GetHostNameFn = int (*)(char*, size_t);
using InetAddrFn = in_addr_t (*)(const char*);
using GetAddrInfoFn = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
using FreeAddrInfoFn = void (*)(addrinfo*);
using GetServByNameRFn = int (*)(const char*, const char*, servent*, char*, size_t, servent**);
using GetSockOptFn = int (*)(int, int, int, void*, socklen_t*);
using SetSockOptFn = int (*)(int, int, int, const void*, socklen_t);

template <typename Fn>
Fn Proc(SocketProcSource& procs, const char* name) {
    return reinterpret_cast<Fn>(procs.GetProc(name));
}

std::uint16_t WinsockCodeForResolver(int rc, int savedErrno) {
    switch (rc) {
        case 0:
            return 0;
        case EAI_NONAME:
            return winsock::kHostNotFound;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return winsock::kNoData;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return winsock::kNoData;
#endif
        case EAI_AGAIN:
            return winsock::kTryAgain;
        case EAI_FAIL:
            return winsock::kNoRecovery;
        case EAI_MEMORY:
            return winsock::kNoBufferSpace;
        case EAI_SYSTEM:
            return WinsockCodeForErrno(savedErrno);
        default:
            return winsock::kNoRecovery;
    }
}

// Shared between a socket and the thread that runs its host lookup, so the
// thread may finish after the socket has abandoned it or been destroyed.
struct HostLookup {
    std::mutex mutex;
    int pipeRead = -1;
    int pipeWrite = -1;
    bool done = false;
    std::uint16_t error = 0;
    std::array<std::uint8_t, 4> address{};

    ~HostLookup() {
        if (pipeRead >= 0) ::close(pipeRead);
        if (pipeWrite >= 0) ::close(pipeWrite);
    }
};

struct Notification {
    enum Kind { Host, Service, Socket, Tick } kind;
    std::uint16_t event;
    std::uint16_t error;
};

class PosixSocketEvents final : public SocketEvents {
public:
    PosixSocketEvents(SocketProcSource& procs, SocketEventSink& sink)
        : procs_(procs), sink_(sink) {}

    ~PosixSocketEvents() override {
        CancelLookup();
        // The component closes its socket itself; this only guards the
        // descriptor, which must not leak even when the binding fails us.
        if (fd_ < 0) return;
        try {
            Proc<CloseFn>(procs_, "close")(fd_);
        } catch (...) {
            ::close(fd_);
        }
    }

    int Startup() override { return 0; }
    void Cleanup() override {}
    int LastError() override { return lastError_; }

    bool HostName(std::string& name) override {
        char buffer[512] = {};
        if (Proc<GetHostNameFn>(procs_, "gethostname")(buffer, sizeof buffer - 1) != 0) {
            SetErrno();
            return false;
        }
        name = buffer;
        return true;
    }

    std::uint32_t InetAddr(const std::string& text) override {
        return Proc<InetAddrFn>(procs_, "inet_addr")(text.c_str());
    }

    bool StartHostLookup(const std::string& host) override {
        CancelLookup();
        auto lookup = std::make_shared<HostLookup>();
        int fds[2];
        if (::pipe(fds) != 0) {
            SetErrno();
            return false;
        }
        lookup->pipeRead = fds[0];
        lookup->pipeWrite = fds[1];
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
        // Bound before the thread starts: the thread never touches the binding.
        auto getaddrinfoFn = Proc<GetAddrInfoFn>(procs_, "getaddrinfo");
        auto freeaddrinfoFn = Proc<FreeAddrInfoFn>(procs_, "freeaddrinfo");
        try {
            std::thread([lookup, host, getaddrinfoFn, freeaddrinfoFn] {
                addrinfo hints{};
                hints.ai_family = AF_INET;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo* result = nullptr;
                int rc = getaddrinfoFn(host.c_str(), nullptr, &hints, &result);
                int savedErrno = errno;
                std::lock_guard lock(lookup->mutex);
                lookup->error = WinsockCodeForResolver(rc, savedErrno);
                if (rc == 0 && result == nullptr) lookup->error = winsock::kNoData;
                if (rc == 0 && result != nullptr) {
                    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
                    std::memcpy(lookup->address.data(), &in->sin_addr, 4);
                }
                if (result != nullptr) freeaddrinfoFn(result);
                lookup->done = true;
                char byte = 1;
                [[maybe_unused]] ssize_t ignored = ::write(lookup->pipeWrite, &byte, 1);
            }).detach();
        } catch (const std::system_error&) {
            lastError_ = winsock::kNoBufferSpace;
            return false;
        }
        lookup_ = std::move(lookup);
        return true;
    }

    std::array<std::uint8_t, 4> HostLookupAddress() override { return lastAddress_; }

    bool StartServiceLookup(const std::string& service) override {
        CancelLookup();
        servent entry{};
        servent* result = nullptr;
        char buffer[1024];
        int rc = Proc<GetServByNameRFn>(procs_, "getservbyname_r")(service.c_str(), "tcp", &entry,
                                                                   buffer, sizeof buffer, &result);
        std::uint16_t error = 0;
        if (rc != 0 || result == nullptr) {
            error = winsock::kNoData;
        } else {
            lastPort_ = ntohs(static_cast<std::uint16_t>(result->s_port));
        }
        // Reported like the asynchronous lookup: at the next dispatch.
        queue_.push_back({Notification::Service, 0, error});
        serviceQueued_ = true;
        return true;
    }

    std::uint16_t ServiceLookupPort() override { return lastPort_; }

    void CancelLookup() override {
        lookup_.reset();
        std::erase_if(queue_, [](const Notification& n) { return n.kind == Notification::Host; });
        if (serviceQueued_) {
            std::erase_if(queue_,
                          [](const Notification& n) { return n.kind == Notification::Service; });
            serviceQueued_ = false;
        }
    }

    // Small writes (a command, the end of the message text) go out at once
    // instead of waiting for the peer to acknowledge the previous one. Only
    // an optimisation: a library without the call still works.
    void SendAtOnce() {
        try {
            int on = 1;
            Proc<SetSockOptFn>(procs_, "setsockopt")(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        } catch (...) {
        }
    }

    bool CreateSocket() override {
        int fd = Proc<SocketFn>(procs_, "socket")(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            SetErrno();
            return false;
        }
        fd_ = fd;
        selected_ = connecting_ = closeReported_ = false;
        readArmed_ = true;
        aheadPos_ = aheadLen_ = 0;
        SendAtOnce();
        return true;
    }

    bool SocketValid() const override { return fd_ >= 0; }

    bool SelectEvents() override {
        if (fd_ < 0) {
            lastError_ = winsock::kNotASocket;
            return false;
        }
        // A fresh socket has no other status flag to keep.
        if (Proc<FcntlFn>(procs_, "fcntl")(fd_, F_SETFL, O_NONBLOCK) != 0) {
            SetErrno();
            return false;
        }
        selected_ = true;
        return true;
    }

    bool ConnectSocket(std::uint32_t address, std::uint16_t port) override {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = address;
        int rc = Proc<ConnectFn>(procs_, "connect")(fd_, reinterpret_cast<const sockaddr*>(&sa),
                                                    sizeof sa);
        if (rc == 0) {
            // Loopback connections may complete at once; report it as Winsock would.
            queue_.push_back({Notification::Socket, kFdConnect, 0});
            queue_.push_back({Notification::Socket, kFdWrite, 0});
            return true;
        }
        SetErrno();
        if (lastError_ == winsock::kWouldBlock) connecting_ = true;
        return false;
    }

    long Send(const char* data, std::size_t count) override {
        ssize_t n = Proc<SendFn>(procs_, "send")(fd_, data, count, MSG_NOSIGNAL);
        if (n < 0) {
            SetErrno();
            return -1;
        }
        return static_cast<long>(n);
    }

    long Recv(char* buffer, std::size_t count) override {
        // Like Winsock, a recv call asks for the next read notification.
        if (!closeReported_) readArmed_ = true;
        if (aheadPos_ < aheadLen_) {
            std::size_t n = std::min(count, aheadLen_ - aheadPos_);
            std::memcpy(buffer, ahead_.data() + aheadPos_, n);
            aheadPos_ += n;
            return static_cast<long>(n);
        }
        ssize_t n = Proc<RecvFn>(procs_, "recv")(fd_, buffer, count, 0);
        if (n < 0) {
            SetErrno();
            return -1;
        }
        return static_cast<long>(n);
    }

    long QueuedBytes() override {
        // Only a refinement of a time-out: a library without the call still works.
        try {
            int queued = 0;
            if (fd_ >= 0 && Proc<IoctlFn>(procs_, "ioctl")(fd_, SIOCOUTQ, &queued) == 0)
                return queued;
        } catch (...) {
        }
        return -1;
    }

    void CloseSocket() override {
        if (fd_ < 0) return;
        Proc<CloseFn>(procs_, "close")(fd_);
        fd_ = -1;
        selected_ = connecting_ = false;
        aheadPos_ = aheadLen_ = 0;
        std::erase_if(queue_, [](const Notification& n) { return n.kind == Notification::Socket; });
    }

    void CancelBlockingCall() override {}

    void StartTimer() override {
        if (timerRunning_) return;
        timerRunning_ = true;
        nextTick_ = Now() + std::chrono::seconds(1);
    }

    void StopTimer() override { timerRunning_ = false; }

    void DispatchPending() override {
        // Callers dispatch between every small step; a readiness check per
        // millisecond is plenty and keeps a line read to a few system calls.
        auto now = Now();
        if (now - lastPoll_ >= std::chrono::milliseconds(1)) {
            Poll(0, false);
        } else {
            CheckTick();
        }
        Deliver();
    }

    void WaitForActivity(bool wantWrite) override {
        if (queue_.empty()) {
            int timeout = 1000;
            if (timerRunning_) {
                // Rounded up: a wait that ends short of the tick would only
                // come round again without sleeping.
                auto left = std::chrono::ceil<std::chrono::milliseconds>(nextTick_ - Now()).count();
                timeout = static_cast<int>(std::clamp<long long>(left, 0, 1000));
            }
            Poll(timeout, wantWrite);
        }
        Deliver();
    }

private:
    void SetErrno() { lastError_ = WinsockCodeForErrno(errno); }

    void Deliver() {
        while (!queue_.empty()) {
            Notification n = queue_.front();
            queue_.pop_front();
            switch (n.kind) {
                case Notification::Host:
                    sink_.HostLookupDone(n.error);
                    break;
                case Notification::Service:
                    serviceQueued_ = false;
                    sink_.ServiceLookupDone(n.error);
                    break;
                case Notification::Socket:
                    sink_.SocketEvent(n.event, n.error);
                    break;
                case Notification::Tick:
                    sink_.Tick();
                    break;
            }
        }
    }

    void Poll(int timeoutMs, bool wantWrite) {
        // Bytes read ahead and not yet taken are news without asking the socket.
        if (fd_ >= 0 && selected_ && readArmed_ && !closeReported_ && aheadPos_ < aheadLen_) {
            readArmed_ = false;
            queue_.push_back({Notification::Socket, kFdRead, 0});
            timeoutMs = 0;
        }
        pollfd fds[2];
        nfds_t count = 0;
        int socketIndex = -1, lookupIndex = -1;
        if (fd_ >= 0 && selected_) {
            short events = 0;
            if (connecting_ || wantWrite) events |= POLLOUT;
            if (!connecting_ && readArmed_ && !closeReported_) events |= POLLIN;
            if (events != 0 || connecting_) {
                socketIndex = static_cast<int>(count);
                fds[count++] = {fd_, events, 0};
            }
        }
        if (lookup_) {
            lookupIndex = static_cast<int>(count);
            fds[count++] = {lookup_->pipeRead, POLLIN, 0};
        }
        int rc = Proc<PollFn>(procs_, "poll")(fds, count, timeoutMs);
        lastPoll_ = Now();
        if (rc > 0 && socketIndex >= 0) SocketReady(fds[socketIndex].revents);
        if (rc > 0 && lookupIndex >= 0 && (fds[lookupIndex].revents & POLLIN) != 0) LookupReady();
        CheckTick();
    }

    void CheckTick() {
        if (timerRunning_ && Now() >= nextTick_) {
            queue_.push_back({Notification::Tick, 0, 0});
            nextTick_ += std::chrono::seconds(1);
            // A caller that was away for several seconds gets one tick, not a burst.
            if (nextTick_ <= Now()) nextTick_ = Now() + std::chrono::seconds(1);
        }
    }

    void SocketReady(short revents) {
        if (revents == 0) return;
        if (connecting_) {
            int error = 0;
            socklen_t len = sizeof error;
            // Writable without an error condition: the connection is made.
            if ((revents & (POLLERR | POLLHUP)) != 0 &&
                Proc<GetSockOptFn>(procs_, "getsockopt")(fd_, SOL_SOCKET, SO_ERROR, &error, &len) !=
                    0)
                error = errno;
            connecting_ = false;
            std::uint16_t code = WinsockCodeForErrno(error);
            queue_.push_back({Notification::Socket, kFdConnect, code});
            if (code == 0) queue_.push_back({Notification::Socket, kFdWrite, 0});
            return;
        }
        if ((revents & POLLOUT) != 0) queue_.push_back({Notification::Socket, kFdWrite, 0});
        if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && readArmed_ && !closeReported_) {
            // Data and an orderly close look alike to poll(); reading tells
            // them apart, and what is read waits here for the next Recv.
            ssize_t n = 1;
            if (aheadPos_ == aheadLen_) {
                n = Proc<RecvFn>(procs_, "recv")(fd_, ahead_.data(), ahead_.size(), MSG_DONTWAIT);
                aheadPos_ = 0;
                aheadLen_ = n > 0 ? static_cast<std::size_t>(n) : 0;
            }
            if (n > 0) {
                readArmed_ = false;
                queue_.push_back({Notification::Socket, kFdRead, 0});
            } else if (n == 0) {
                closeReported_ = true;
                readArmed_ = false;
                queue_.push_back({Notification::Socket, kFdClose, 0});
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                closeReported_ = true;
                readArmed_ = false;
                queue_.push_back({Notification::Socket, kFdClose, WinsockCodeForErrno(errno)});
            }
        }
    }

    void LookupReady() {
        std::uint16_t error;
        {
            std::lock_guard lock(lookup_->mutex);
            if (!lookup_->done) return;
            error = lookup_->error;
            lastAddress_ = lookup_->address;
        }
        lookup_.reset();
        queue_.push_back({Notification::Host, 0, error});
    }

    SocketProcSource& procs_;
    SocketEventSink& sink_;
    std::deque<Notification> queue_;
    std::shared_ptr<HostLookup> lookup_;
    std::array<std::uint8_t, 4> lastAddress_{};
    std::uint16_t lastPort_ = 0;
    bool serviceQueued_ = false;
    int fd_ = -1;
    int lastError_ = 0;
    bool selected_ = false;
    bool connecting_ = false;
    bool readArmed_ = true;
    bool closeReported_ = false;
    bool timerRunning_ = false;
    // Bytes read to tell data from a close, handed out by Recv first.
    std::array<char, 4096> ahead_;
    std::size_t aheadPos_ = 0;
    std::size_t aheadLen_ = 0;
    Clock::time_point nextTick_{};
    Clock::time_point lastPoll_{};
};

}  // namespace

std::unique_ptr<SocketEvents> SocketEvents::Create(SocketProcSource& procs, SocketEventSink& sink) {
    return std::make_unique<PosixSocketEvents>(procs, sink);
}

}  // namespace quillpost::platform
