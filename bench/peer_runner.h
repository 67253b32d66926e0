#pragma once
// The peer side of the benchmarks: a private folder for the data both sides
// read, Debian's python3 run on a script written into it (its output passed
// through to ours or captured), servers run in the background, and Postfix's
// smtp-sink on a loopback port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/loopback_listener.h"

namespace quillpost::bench {

class PeerFolder {
public:
    // A new folder named after the benchmark under the temporary folder;
    // removed with everything in it when this goes.
    explicit PeerFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("qp_" + name + "_" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path_);
    }
    ~PeerFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PeerFolder(const PeerFolder&) = delete;
    PeerFolder& operator=(const PeerFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes Bytes to the file Name in the folder; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

    // Runs python3 on Script with Args. Its standard output goes to ours,
    // or into Output when given. True when it exited with status 0.
    bool RunPython(const std::string& script, const std::vector<std::string>& args,
                   std::string* output = nullptr) const {
        std::string command = "/usr/bin/python3";
        command.append(" ").append(Quoted(Write("peer.py", script)));
        for (const std::string& arg : args) command.append(" ").append(Quoted(arg));
        std::fflush(stdout);
        if (output == nullptr) return std::system(command.c_str()) == 0;
        output->clear();
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return false;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output->append(buffer, n);
        return pclose(pipe) == 0;
    }

    // Text as one word of a shell command.
    static std::string Quoted(const std::string& text) {
        std::string out = "'";
        for (char c : text) {
            if (c == '\'')
                out.append("'\\''");
            else
                out.push_back(c);
        }
        out.push_back('\'');
        return out;
    }

private:
    std::filesystem::path path_;
};

// A program run in the background by the shell until this goes; then ended
// by its process id. A bounded lifetime keeps a forgotten one from lingering.
class BackgroundProcess {
public:
    explicit BackgroundProcess(const std::string& command, int lifetimeSeconds = 900) {
        const std::string line = "timeout " + std::to_string(lifetimeSeconds) + " " + command +
                                 " >/dev/null 2>&1 & echo $!";
        if (FILE* pipe = popen(line.c_str(), "r")) {
            if (std::fscanf(pipe, "%d", &pid_) != 1) pid_ = 0;
            pclose(pipe);
        }
    }
    ~BackgroundProcess() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
    }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = 0;
};

inline std::uint16_t FreePort() {
    quillpost::platform::LoopbackListener probe;
    return probe.Port();
}

// A blocking loopback connection to Port; -1 when refused.
inline int ConnectTo(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// Waits (at most 10 s) until a server on Port greets with 220.
inline bool Greets(std::uint16_t port) {
    for (int i = 0; i < 100; ++i) {
        int fd = ConnectTo(port);
        if (fd >= 0) {
            timeval limit{2, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            char reply[3] = {};
            bool greeted = ::recv(fd, reply, 3, MSG_WAITALL) == 3 && reply[0] == '2' &&
                           reply[1] == '2' && reply[2] == '0';
            ::close(fd);
            if (greeted) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Postfix's smtp-sink on a free loopback port for the whole run.
class Sink {
public:
    Sink()
        : port_(FreePort()),
          process_("/usr/sbin/smtp-sink -u nobody 127.0.0.1:" + std::to_string(port_) + " 256") {
        if (!process_.Started() || !Greets(port_)) port_ = 0;
    }
    std::uint16_t Port() const { return port_; }

private:
    std::uint16_t port_;
    BackgroundProcess process_;
};

}  // namespace quillpost::bench
