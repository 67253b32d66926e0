#pragma once
// A scripted TCP peer on 127.0.0.1 for the socket and SMTP tests: the script
// runs on its own thread against one listener; every wait in it is bounded.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/loopback_listener.h"

namespace quillpost::testing {

class LoopbackPeer {
public:
    using Script = std::function<void(LoopbackPeer&)>;

    LoopbackPeer() = default;
    ~LoopbackPeer() { Join(); }

    std::uint16_t Port() const { return listener_.Port(); }
    std::string Server() const { return "127.0.0.1:" + std::to_string(Port()); }

    void Run(Script script) {
        thread_ = std::thread([this, script = std::move(script)] { script(*this); });
    }
    void Join() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

    // Script steps.
    // Waits up to 5 s for the next connection; gives up early once the test
    // has finished.
    bool Accept() {
        for (int waited = 0; waited < 5000; waited += 100) {
            if (listener_.Accept(100)) {
                std::lock_guard lock(mutex_);
                mark_ = received_.size();
                return true;
            }
            if (stop_) return false;
        }
        return false;
    }
    void Send(const std::string& bytes) { listener_.Send(bytes); }
    void Close() { listener_.CloseConnection(); }
    // Reads until Needle has arrived on this connection (or the connection closes, or 5 s pass).
    void ReadUntil(const std::string& needle) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex_);
                if (received_.find(needle, mark_) != std::string::npos) return;
            }
            bool closed = false;
            std::string part = listener_.Receive(100, &closed);
            std::lock_guard lock(mutex_);
            received_ += part;
            if (closed) return;
        }
    }
    void ReadUntilClosed() { ReadUntil(std::string(1, '\0') + "never"); }
    // Holds the connection open without answering until the test ends.
    void Stall(int maxMs = 5000) {
        for (int waited = 0; waited < maxMs && !stop_; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    std::string Received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

protected:
    platform::LoopbackListener listener_;
    std::atomic<bool> stop_{false};

private:
    std::thread thread_;
    std::mutex mutex_;
    std::string received_;
    std::size_t mark_ = 0;  // where the current connection's bytes begin
};

}  // namespace quillpost::testing
