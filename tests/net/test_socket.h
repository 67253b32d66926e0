#pragma once
// A socket component for tests: connects to a server, reads one line at a
// time, and records the errors and the lines it sees.
#include <string>
#include <vector>

#include "net/socket.h"

namespace quillpost::testing {

class TestSocket : public TagSocket {
public:
    explicit TestSocket(TagWinsock* binding = nullptr) : TagSocket(binding) {
        SetWinsockLoaded(true);
        TimeOut = 5;
        OnError = [this](TagSocket&, std::string& msg) { errors.push_back(msg); };
        OnLineReceived = [this](TagSocket&, const std::string& line) { received.push_back(line); };
        OnLineSent = [this](TagSocket&, const std::string& line) { sent.push_back(line); };
    }
    ~TestSocket() override {
        // Handlers may capture test locals that are already gone.
        OnClosing = OnClosed = nullptr;
        Close();
    }

    void Open(const std::string& server) {
        Server = server;
        ResetState();
        Connect();
        EstablishConnection();
    }
    std::string Read() {
        std::string line;
        ReadLine(line);
        return line;
    }

    std::vector<std::string> handled, errors, received, sent;

protected:
    void HandleLine(const std::string& line) override { handled.push_back(line); }
};

}  // namespace quillpost::testing
