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

bool LoopbackListener::Accept(int timeoutMs) {
    if (impl_->listenFd < 0 || !Ready(impl_->listenFd, POLLIN, timeoutMs)) return false;
    int fd = ::accept4(impl_->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return false;
    CloseConnection();
    impl_->connFd = fd;
    return true;
}

bool LoopbackListener::Send(const std::string& bytes) {
    std::size_t p = 0;
    while (p < bytes.size()) {
        ssize_t n = ::send(impl_->connFd, bytes.data() + p, bytes.size() - p, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += static_cast<std::size_t>(n);
    }
    return true;
}

std::string LoopbackListener::Receive(int timeoutMs, bool* closed) {
    if (closed != nullptr) *closed = false;
    if (impl_->connFd < 0 || !Ready(impl_->connFd, POLLIN, timeoutMs)) return {};
    char buffer[8192];
    ssize_t n = ::recv(impl_->connFd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        if (closed != nullptr) *closed = true;
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

void LoopbackListener::CloseConnection() {
    if (impl_->connFd >= 0) ::close(impl_->connFd);
    impl_->connFd = -1;
}

void LoopbackListener::StopListening() {
    if (impl_->listenFd >= 0) ::close(impl_->listenFd);
    impl_->listenFd = -1;
}

}  // namespace quillpost::platform
