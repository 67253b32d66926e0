// Winsock 1.1 notifications through a hidden window: the lookups and socket
// events arrive as three private messages, the tick as a timer message, and a
// wait blocks until the thread's queue has something, then dispatches it.
#include <winsock2.h>
// windows.h only after winsock2.h, as the latter requires.
#include <windows.h>

#include <cstring>
#include <mutex>

#include "platform/message_pump.h"
#include "platform/socket_events.h"

namespace quillpost::platform {
namespace {

constexpr UINT kHostLookupMessage = WM_USER + 148;                       // 1172
constexpr UINT kServiceLookupMessage = WM_USER + 149;                    // 1173
constexpr UINT kSocketMessage = WM_USER + 150;                           // 1174
constexpr long kEventMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;  // 51
constexpr UINT_PTR kTimerId = 1;
constexpr int kLookupBufferSize = 1024;  // MAXGETHOSTSTRUCT
const char kWindowClass[] = "QuillpostSocketWindow";

using WSAStartupFn = int(WSAAPI*)(WORD, LPWSADATA);
using WSACleanupFn = int(WSAAPI*)();
using WSAGetLastErrorFn = int(WSAAPI*)();
using GetHostNameFn = int(WSAAPI*)(char*, int);
using InetAddrFn = unsigned long(WSAAPI*)(const char*);
using AsyncGetHostByNameFn = HANDLE(WSAAPI*)(HWND, u_int, const char*, char*, int);
using AsyncGetServByNameFn = HANDLE(WSAAPI*)(HWND, u_int, const char*, const char*, char*, int);
using CancelAsyncRequestFn = int(WSAAPI*)(HANDLE);
using SocketFn = SOCKET(WSAAPI*)(int, int, int);
using AsyncSelectFn = int(WSAAPI*)(SOCKET, HWND, u_int, long);
using ConnectFn = int(WSAAPI*)(SOCKET, const sockaddr*, int);
using SendFn = int(WSAAPI*)(SOCKET, const char*, int, int);
using RecvFn = int(WSAAPI*)(SOCKET, char*, int, int);
using CloseSocketFn = int(WSAAPI*)(SOCKET);
using SetSockOptFn = int(WSAAPI*)(SOCKET, int, int, const char*, int);
using HtonsFn = u_short(WSAAPI*)(u_short);
using IsBlockingFn = BOOL(WSAAPI*)();
using CancelBlockingCallFn = int(WSAAPI*)();

template <typename Fn>
Fn Proc(SocketProcSource& procs, const char* name) {
    return reinterpret_cast<Fn>(procs.GetProc(name));
}

LRESULT CALLBACK SocketWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterWindowClassOnce() {
    // Components may be created on several threads at once.
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = SocketWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kWindowClass;
        RegisterClassA(&wc);
    });
}

class Win32SocketEvents final : public SocketEvents {
public:
    Win32SocketEvents(SocketProcSource& procs, SocketEventSink& sink) : procs_(procs), sink_(sink) {
        RegisterWindowClassOnce();
        hwnd_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        if (hwnd_ != nullptr)
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Win32SocketEvents() override {
        // The lookup writes into our buffers: it must not outlive them.
        try {
            CancelLookup();
        } catch (...) {
        }
        if (hwnd_ != nullptr) {
            StopTimer();
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            DestroyWindow(hwnd_);
        }
        if (socket_ != INVALID_SOCKET) {
            try {
                Proc<CloseSocketFn>(procs_, "closesocket")(socket_);
            } catch (...) {
            }
        }
    }

    int Startup() override {
        return Proc<WSAStartupFn>(procs_, "WSAStartup")(MAKEWORD(1, 1), &wsaData_);
    }
    void Cleanup() override { Proc<WSACleanupFn>(procs_, "WSACleanup")(); }
    int LastError() override { return Proc<WSAGetLastErrorFn>(procs_, "WSAGetLastError")(); }

    bool HostName(std::string& name) override {
        char buffer[512] = {};
        if (Proc<GetHostNameFn>(procs_, "gethostname")(buffer, sizeof buffer) == SOCKET_ERROR)
            return false;
        buffer[sizeof buffer - 1] = 0;
        name = buffer;
        return true;
    }

    std::uint32_t InetAddr(const std::string& text) override {
        return static_cast<std::uint32_t>(Proc<InetAddrFn>(procs_, "inet_addr")(text.c_str()));
    }

    // Ends any lookup under way and copies Name into Held, which the new
    // request reads until it is answered.
    template <std::size_t N>
    const char* NewLookup(char (&held)[N], const std::string& name) {
        CancelLookup();
        std::memset(lookupBuffer_, 0, sizeof lookupBuffer_);
        std::strncpy(held, name.c_str(), N - 1);
        held[N - 1] = 0;
        return held;
    }

    bool StartHostLookup(const std::string& host) override {
        const char* name = NewLookup(hostName_, host);
        async_ = Proc<AsyncGetHostByNameFn>(procs_, "WSAAsyncGetHostByName")(
            hwnd_, kHostLookupMessage, name, lookupBuffer_, kLookupBufferSize);
        return async_ != nullptr;
    }

    std::array<std::uint8_t, 4> HostLookupAddress() override {
        std::array<std::uint8_t, 4> bytes{};
        const auto* entry = reinterpret_cast<const hostent*>(lookupBuffer_);
        if (entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr)
            std::memcpy(bytes.data(), entry->h_addr_list[0], 4);
        return bytes;
    }

    bool StartServiceLookup(const std::string& service) override {
        const char* name = NewLookup(serviceName_, service);
        async_ = Proc<AsyncGetServByNameFn>(procs_, "WSAAsyncGetServByName")(
            hwnd_, kServiceLookupMessage, name, "tcp", lookupBuffer_, kLookupBufferSize);
        return async_ != nullptr;
    }

    std::uint16_t ServiceLookupPort() override {
        const auto* entry = reinterpret_cast<const servent*>(lookupBuffer_);
        // htons turns the network-order port back into host order.
        return Proc<HtonsFn>(procs_, "htons")(static_cast<u_short>(entry->s_port));
    }

    void CancelLookup() override {
        if (async_ != nullptr) {
            HANDLE handle = async_;
            async_ = nullptr;
            Proc<CancelAsyncRequestFn>(procs_, "WSACancelAsyncRequest")(handle);
        }
        // A notification already posted belongs to the abandoned request.
        MSG msg;
        if (hwnd_ != nullptr)
            while (
                PeekMessageA(&msg, hwnd_, kHostLookupMessage, kServiceLookupMessage, PM_REMOVE)) {
            }
    }

    bool CreateSocket() override {
        socket_ = Proc<SocketFn>(procs_, "socket")(AF_INET, SOCK_STREAM, 0);
        if (socket_ == INVALID_SOCKET) return false;
        SendAtOnce();
        return true;
    }

    // Small writes (a command, the end of the message text) go out at once
    // instead of waiting for the peer to acknowledge the previous one. And
    // the send buffer stays at the classic 64 KiB rather than growing with
    // the link: the wait for the answer to the end of a message starts when
    // the last bytes are handed over, and Winsock 1.1 cannot tell how much
    // is still queued, so little may be. Both only refinements: a library
    // without the call still works.
    void SendAtOnce() {
        try {
            auto setsockoptFn = Proc<SetSockOptFn>(procs_, "setsockopt");
            BOOL on = TRUE;
            setsockoptFn(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on);
            int size = 64 * 1024;
            setsockoptFn(socket_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size),
                         sizeof size);
        } catch (...) {
        }
    }

    bool SocketValid() const override { return socket_ != INVALID_SOCKET; }

    bool SelectEvents() override {
        return Proc<AsyncSelectFn>(procs_, "WSAAsyncSelect")(socket_, hwnd_, kSocketMessage,
                                                             kEventMask) != SOCKET_ERROR;
    }

    bool ConnectSocket(std::uint32_t address, std::uint16_t port) override {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = Proc<HtonsFn>(procs_, "htons")(port);
        sa.sin_addr.s_addr = address;
        return Proc<ConnectFn>(procs_, "connect")(socket_, reinterpret_cast<const sockaddr*>(&sa),
                                                  sizeof sa) != SOCKET_ERROR;
    }

    long Send(const char* data, std::size_t count) override {
        int n = Proc<SendFn>(procs_, "send")(socket_, data, static_cast<int>(count), 0);
        return n == SOCKET_ERROR ? -1 : n;
    }

    long Recv(char* buffer, std::size_t count) override {
        int n = Proc<RecvFn>(procs_, "recv")(socket_, buffer, static_cast<int>(count), 0);
        return n == SOCKET_ERROR ? -1 : n;
    }

    long QueuedBytes() override { return -1; }

    void CloseSocket() override {
        if (socket_ == INVALID_SOCKET) return;
        // Found before the handle is let go: when the lookup fails, the next
        // Close or the destructor still closes it.
        const CloseSocketFn closeSocket = Proc<CloseSocketFn>(procs_, "closesocket");
        SOCKET s = socket_;
        socket_ = INVALID_SOCKET;
        closeSocket(s);
        MSG msg;
        if (hwnd_ != nullptr)
            while (PeekMessageA(&msg, hwnd_, kSocketMessage, kSocketMessage, PM_REMOVE)) {
            }
    }

    void CancelBlockingCall() override {
        // Only Winsock 1.1 has blocking hooks; a library without them has
        // nothing to cancel.
        try {
            if (Proc<IsBlockingFn>(procs_, "WSAIsBlocking")())
                Proc<CancelBlockingCallFn>(procs_, "WSACancelBlockingCall")();
        } catch (...) {
        }
    }

    void StartTimer() override {
        if (timerRunning_ || hwnd_ == nullptr) return;
        timerRunning_ = SetTimer(hwnd_, kTimerId, 1000, nullptr) != 0;
    }

    void StopTimer() override {
        if (!timerRunning_) return;
        KillTimer(hwnd_, kTimerId);
        timerRunning_ = false;
    }

    void DispatchPending() override { ProcessPendingMessages(); }

    void WaitForActivity(bool) override {
        // FD_WRITE is always selected, so a drained send buffer wakes us anyway.
        MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DispatchPending();
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        const auto param = static_cast<std::uint32_t>(lParam);
        const auto error = static_cast<std::uint16_t>(param >> 16);
        switch (message) {
            case kHostLookupMessage:
            case kServiceLookupMessage:
                if (reinterpret_cast<HANDLE>(wParam) != async_) return 0;  // an abandoned request
                async_ = nullptr;
                if (message == kHostLookupMessage)
                    sink_.HostLookupDone(error);
                else
                    sink_.ServiceLookupDone(error);
                return 0;
            case kSocketMessage:
                if (static_cast<SOCKET>(wParam) != socket_)
                    return 0;  // a closed socket's leftovers
                sink_.SocketEvent(static_cast<std::uint16_t>(param & 0xFFFF), error);
                return 0;
            case WM_TIMER:
                if (wParam == kTimerId && timerRunning_) sink_.Tick();
                return 0;
            default:
                return DefWindowProcA(hwnd_, message, wParam, lParam);
        }
    }

private:
    SocketProcSource& procs_;
    SocketEventSink& sink_;
    HWND hwnd_ = nullptr;
    WSADATA wsaData_{};
    SOCKET socket_ = INVALID_SOCKET;
    HANDLE async_ = nullptr;
    char lookupBuffer_[kLookupBufferSize] = {};
    char hostName_[128] = {};
    char serviceName_[64] = {};
    bool timerRunning_ = false;
};

LRESULT CALLBACK SocketWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* events = reinterpret_cast<Win32SocketEvents*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (events == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    // Nothing may unwind through the system's dispatching frames.
    try {
        return events->Handle(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

std::unique_ptr<SocketEvents> SocketEvents::Create(SocketProcSource& procs, SocketEventSink& sink) {
    return std::make_unique<Win32SocketEvents>(procs, sink);
}

}  // namespace quillpost::platform
