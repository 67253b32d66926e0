#pragma once
// Runs Debian's python3 as an independent reader of what the codecs write.
// Where it cannot run (the Windows build under Wine), Available() is false
// and the cross-checks skip.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "temp_dir.h"

namespace quillpost::test {

class CodecPeer {
public:
    static std::optional<std::string> Run(const std::string& mode, const std::string& input) {
        const testing::TempDir dir;
        const std::string in = dir.Write("in", input);
        const std::string out = dir.PathOf("out");
        const std::string script = std::string(QP_TEST_DATA_DIR) + "/encoding/codec_peer.py";
        const std::string command =
            "/usr/bin/python3 '" + script + "' " + mode + " '" + in + "' '" + out + "' 2>/dev/null";
        std::optional<std::string> result;
        if (std::system(command.c_str()) == 0) {
            std::ifstream f(out, std::ios::binary);
            if (f)
                result = std::string(std::istreambuf_iterator<char>(f),
                                     std::istreambuf_iterator<char>());
        }
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
