#pragma once
// Runs Debian's python3 as an independent reader of what the codecs write.
// Where it cannot run (the Windows build under Wine), Available() is false
// and the cross-checks skip.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace quillpost::test {

class CodecPeer {
public:
    static std::optional<std::string> Run(const std::string& mode, const std::string& input) {
        static std::atomic<int> serial{0};
        const auto dir = std::filesystem::temp_directory_path();
        const std::string stem =
            "qp_codec_peer_" + std::to_string(std::rand()) + "_" + std::to_string(serial++);
        const auto in = dir / (stem + ".in");
        const auto out = dir / (stem + ".out");
        {
            std::ofstream f(in, std::ios::binary);
            f.write(input.data(), static_cast<std::streamsize>(input.size()));
        }
        const std::string script = std::string(QP_TEST_DATA_DIR) + "/encoding/codec_peer.py";
        const std::string command = "/usr/bin/python3 '" + script + "' " + mode + " '" +
                                    in.string() + "' '" + out.string() + "' 2>/dev/null";
        const int rc = std::system(command.c_str());
        std::optional<std::string> result;
        if (rc == 0) {
            std::ifstream f(out, std::ios::binary);
            if (f)
                result = std::string(std::istreambuf_iterator<char>(f),
                                     std::istreambuf_iterator<char>());
        }
        std::error_code ec;
        std::filesystem::remove(in, ec);
        std::filesystem::remove(out, ec);
        return result;
    }

    static bool Available() {
        static const bool available = Run("ping", "") == std::optional<std::string>("pong");
        return available;
    }
};

#define QP_REQUIRE_CODEC_PEER()                                               \
    do {                                                                      \
        if (!::quillpost::test::CodecPeer::Available())                       \
            GTEST_SKIP() << "python3 not available as an independent reader"; \
    } while (0)

}  // namespace quillpost::test
