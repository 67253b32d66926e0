#pragma once
// Runs one of the reader scripts under tests/data/encoding (Python's email and
// GMime, through python3-gi) on a manifest of composed messages. The scripts
// print one line per difference.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace quillpost::test {

// How a manifest holds a value: hex of its bytes.
inline std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline bool ManifestReadersAvailable() {
    static const bool available = std::system("/usr/bin/python3 -c 'import gi' 2>/dev/null") == 0;
    return available;
}

// The differences the script reports, or its own failure.
inline std::string ManifestDifferences(const std::string& script, const std::string& manifest) {
    const std::string report = manifest + ".report";
    const std::string command = "/usr/bin/python3 '" + std::string(QP_TEST_DATA_DIR) +
                                "/encoding/" + script + "' '" + manifest + "' > '" + report +
                                "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(report);
    std::string differences((std::istreambuf_iterator<char>(in)), {});
    if (status != 0 && differences.empty()) differences = script + " failed";
    return differences;
}

}  // namespace quillpost::test
