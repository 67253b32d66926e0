#pragma once
// A fresh temporary directory of the test's own, removed with its files.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

namespace quillpost::testing {

class TempDir {
public:
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 16; ++attempt) {
            path_ =
                std::filesystem::temp_directory_path() / ("qp_test_" + std::to_string(random()));
            if (std::filesystem::create_directory(path_)) return;
        }
        throw std::runtime_error("cannot create a temporary directory");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        // A child process may hold a file a few seconds longer on Windows.
        for (int attempt = 0; attempt < 250; ++attempt) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
            if (!ec) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }
    std::string Path() const { return path_.string(); }
    std::string PathOf(std::string_view name) const { return (path_ / name).string(); }
    // Writes Bytes to the file Name here and returns its full path.
    std::string Write(std::string_view name, std::string_view bytes) const {
        std::ofstream(PathOf(name), std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size()));
        return PathOf(name);
    }

private:
    std::filesystem::path path_;
};

}  // namespace quillpost::testing
