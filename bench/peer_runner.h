#pragma once
// The peer side of the benchmarks: a private folder for the data both sides
// read, Debian's python3 run on a script written into it (its output passed
// through to ours or captured), and servers run in the background.
#include <signal.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

}  // namespace quillpost::bench
