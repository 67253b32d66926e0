#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/loopback_listener.h"

namespace quillpost::platform {

struct LoopbackListener::Impl {
    int listenFd = -1;
    int connFd = -1;
    std::uint16_t port = 0;
};

namespace {
bool Ready(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int rc;
    do rc = ::poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    return rc > 0;
}
}  // namespace

LoopbackListener::LoopbackListener() : impl_(std::make_unique<Impl>()) {
    impl_->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->listenFd < 0) throw std::runtime_error("socket failed");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(impl_->listenFd, 4) != 0 ||
        ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ::close(impl_->listenFd);
        throw std::runtime_error("listen failed");
    }
    impl_->port = ntohs(sa.sin_port);
}

LoopbackListener::~LoopbackListener() {
    CloseConnection();
    StopListening();
}

std::uint16_t LoopbackListener::Port() const { return impl_->port; }

bool LoopbackListener::WaitReadable(bool listening, int timeoutMs) {
    const int fd = listening ? impl_->listenFd : impl_->connFd;
    return fd >= 0 && Ready(fd, POLLIN, timeoutMs);
}

bool LoopbackListener::TakeConnection() {
    int fd = ::accept4(impl_->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return false;
    CloseConnection();
    impl_->connFd = fd;
    return true;
}

long LoopbackListener::SendSome(const char* data, std::size_t count) {
    for (;;) {
        const ssize_t n = ::send(impl_->connFd, data, count, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

long LoopbackListener::ReceiveSome(char* buffer, std::size_t count) {
    return static_cast<long>(::recv(impl_->connFd, buffer, count, 0));
}

void LoopbackListener::CloseConnection() {
    if (impl_->connFd >= 0) ::close(impl_->connFd);
    impl_->connFd = -1;
}

void LoopbackListener::ResetConnection() {
    if (impl_->connFd >= 0) {
        const linger abortive{1, 0};
        ::setsockopt(impl_->connFd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    CloseConnection();
}

void LoopbackListener::StopListening() {
    if (impl_->listenFd >= 0) ::close(impl_->listenFd);
    impl_->listenFd = -1;
}

}  // namespace quillpost::platform
