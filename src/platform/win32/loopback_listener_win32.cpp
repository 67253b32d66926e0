// Uses the same run-time loaded socket library as the component, through its
// own reference, so nothing needs linking.
#include <winsock2.h>
// windows.h only after winsock2.h, as the latter requires.
#include <windows.h>

#include <stdexcept>

#include "platform/loopback_listener.h"

namespace quillpost::platform {

namespace {
struct Api {
    HMODULE module = nullptr;
    int(WSAAPI* startup)(WORD, LPWSADATA) = nullptr;
    int(WSAAPI* cleanup)() = nullptr;
    SOCKET(WSAAPI* socket_)(int, int, int) = nullptr;
    int(WSAAPI* bind_)(SOCKET, const sockaddr*, int) = nullptr;
    int(WSAAPI* listen_)(SOCKET, int) = nullptr;
    SOCKET(WSAAPI* accept_)(SOCKET, sockaddr*, int*) = nullptr;
    int(WSAAPI* getsockname_)(SOCKET, sockaddr*, int*) = nullptr;
    int(WSAAPI* select_)(int, fd_set*, fd_set*, fd_set*, const timeval*) = nullptr;
    int(WSAAPI* send_)(SOCKET, const char*, int, int) = nullptr;
    int(WSAAPI* recv_)(SOCKET, char*, int, int) = nullptr;
    int(WSAAPI* closesocket_)(SOCKET) = nullptr;
    int(WSAAPI* setsockopt_)(SOCKET, int, int, const char*, int) = nullptr;
};

template <typename Fn>
void Bind(HMODULE module, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (fn == nullptr) throw std::runtime_error(name);
}
}  // namespace

struct LoopbackListener::Impl {
    Api api;
    SOCKET listenSocket = INVALID_SOCKET;
    SOCKET conn = INVALID_SOCKET;
    std::uint16_t port = 0;

    bool Ready(SOCKET s, int timeoutMs) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        return api.select_(0, &set, nullptr, nullptr, &tv) > 0;
    }
};

LoopbackListener::LoopbackListener() : impl_(std::make_unique<Impl>()) {
    Api& a = impl_->api;
    a.module = LoadLibraryA("wsock32.dll");
    if (a.module == nullptr) throw std::runtime_error("wsock32.dll");
    Bind(a.module, a.startup, "WSAStartup");
    Bind(a.module, a.cleanup, "WSACleanup");
    Bind(a.module, a.socket_, "socket");
    Bind(a.module, a.bind_, "bind");
    Bind(a.module, a.listen_, "listen");
    Bind(a.module, a.accept_, "accept");
    Bind(a.module, a.getsockname_, "getsockname");
    Bind(a.module, a.select_, "select");
    Bind(a.module, a.send_, "send");
    Bind(a.module, a.recv_, "recv");
    Bind(a.module, a.closesocket_, "closesocket");
    Bind(a.module, a.setsockopt_, "setsockopt");
    WSADATA data;
    if (a.startup(MAKEWORD(1, 1), &data) != 0) throw std::runtime_error("WSAStartup");
    impl_->listenSocket = a.socket_(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network order
    int len = sizeof sa;
    if (impl_->listenSocket == INVALID_SOCKET ||
        a.bind_(impl_->listenSocket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        a.listen_(impl_->listenSocket, 4) != 0 ||
        a.getsockname_(impl_->listenSocket, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        throw std::runtime_error("listen failed");
    impl_->port =
        static_cast<std::uint16_t>(((sa.sin_port & 0xFF) << 8) | ((sa.sin_port >> 8) & 0xFF));
}

LoopbackListener::~LoopbackListener() {
    CloseConnection();
    StopListening();
    impl_->api.cleanup();
    FreeLibrary(impl_->api.module);
}

std::uint16_t LoopbackListener::Port() const { return impl_->port; }

bool LoopbackListener::WaitReadable(bool listening, int timeoutMs) {
    const SOCKET s = listening ? impl_->listenSocket : impl_->conn;
    return s != INVALID_SOCKET && impl_->Ready(s, timeoutMs);
}

bool LoopbackListener::TakeConnection() {
    SOCKET s = impl_->api.accept_(impl_->listenSocket, nullptr, nullptr);
    if (s == INVALID_SOCKET) return false;
    CloseConnection();
    impl_->conn = s;
    return true;
}

long LoopbackListener::SendSome(const char* data, std::size_t count) {
    return impl_->api.send_(impl_->conn, data, static_cast<int>(count), 0);
}

long LoopbackListener::ReceiveSome(char* buffer, std::size_t count) {
    return impl_->api.recv_(impl_->conn, buffer, static_cast<int>(count), 0);
}

void LoopbackListener::CloseConnection() {
    if (impl_->conn != INVALID_SOCKET) impl_->api.closesocket_(impl_->conn);
    impl_->conn = INVALID_SOCKET;
}

void LoopbackListener::ResetConnection() {
    if (impl_->conn != INVALID_SOCKET) {
        const linger abortive{1, 0};
        impl_->api.setsockopt_(impl_->conn, SOL_SOCKET, SO_LINGER,
                               reinterpret_cast<const char*>(&abortive), sizeof abortive);
    }
    CloseConnection();
}

void LoopbackListener::StopListening() {
    if (impl_->listenSocket != INVALID_SOCKET) impl_->api.closesocket_(impl_->listenSocket);
    impl_->listenSocket = INVALID_SOCKET;
}

}  // namespace quillpost::platform
