#pragma once
// A plain blocking TCP listener on 127.0.0.1 with one connection at a time:
// the peer that checks of the socket layer talk to, on every platform.
#include <cstdint>
#include <memory>
#include <string>

namespace quillpost::platform {

class LoopbackListener {
public:
    // Listens on 127.0.0.1 on a free port; raises std::runtime_error.
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t Port() const;
    // Waits up to TimeoutMs for a connection; it replaces an earlier one.
    bool Accept(int timeoutMs);
    // Sends all of Bytes on the connection.
    bool Send(const std::string& bytes);
    // What arrives within TimeoutMs (at most one read); empty on time-out,
    // close or error. Closed tells which.
    std::string Receive(int timeoutMs, bool* closed = nullptr);
    void CloseConnection();
    // Closes so that the peer sees a reset rather than an orderly end.
    void ResetConnection();
    void StopListening();

    struct Impl;

private:
    // Per platform, for the shared methods: waits for the listening socket
    // (Listening) or the connection to be readable; false when it is closed
    // or nothing came in time.
    bool WaitReadable(bool listening, int timeoutMs);
    // Takes the waiting connection, closing an earlier one.
    bool TakeConnection();
    // One send or receive on the connection: the bytes moved, <= 0 when it
    // failed or (receiving) ended.
    long SendSome(const char* data, std::size_t count);
    long ReceiveSome(char* buffer, std::size_t count);

    std::unique_ptr<Impl> impl_;
};

}  // namespace quillpost::platform
