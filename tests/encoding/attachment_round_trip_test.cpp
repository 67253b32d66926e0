// Files of any content, type and position, under every CharSet and
// encoding, composed and then read back byte for byte by our own decoder,
// by Python's email package and by GMime.
#include "encoding/attachment_round_trip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace quillpost {
namespace {

using test::FileCase;
using test::FileLayout;

class RandomFiles {
public:
    explicit RandomFiles(unsigned seed) : gen_(seed) {}

    std::size_t Below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(gen_);
    }

    // Text lines with every kind of line end, a final one or none, now and
    // then 8-bit bytes, a NUL, a control byte, a long line; or plain binary.
    std::string Content() {
        if (Below(5) == 0) {
            std::string bytes(Below(4) == 0 ? Below(3) : Below(3000), '\0');
            for (char& c : bytes) c = static_cast<char>(Below(256));
            return bytes;
        }
        static const char* const pieces[] = {"word",  " ",   ".",       "=",        "--",  "\t",
                                             "From ", "=3D", "caf\xE9", "\xC3\xA9", "a.b", "  "};
        static const char* const ends[] = {"\r\n", "\r\n", "\n", "\r", "\n\r", "\r\r\n", ""};
        // Now and then a header block, as a message file has.
        std::string text = Below(3) == 0 ? "Subject: word\r\nX-Two: a\r\n\tb\r\n\r\n" : "";
        for (std::size_t i = 0, lines = Below(12); i < lines; ++i) {
            std::string line = Below(8) == 0 ? "." : "";
            // Now and then longer than SMTP's line, rarely longer than the
            // paragraph quoted-printable holds whole.
            const std::size_t length = Below(30) == 0    ? 900 + Below(200)
                                       : Below(300) == 0 ? 24560 + Below(20)
                                                         : Below(90);
            while (line.size() < length) line += pieces[Below(std::size(pieces))];
            if (Below(40) == 0) line += static_cast<char>(Below(2) ? '\0' : '\x1A');
            text += line;
            if (i + 1 < lines || Below(2)) text += ends[Below(std::size(ends))];
        }
        return text;
    }

    FileCase Case() {
        FileCase c;
        c.layout = static_cast<FileLayout>(Below(test::kFileLayoutCount));
        static const TCharSet charSets[] = {csUSASCII, csUTF8, csISO8859};
        c.charSet = charSets[Below(3)];
        const std::size_t files = c.layout == FileLayout::Single   ? 1
                                  : c.layout == FileLayout::Nested ? 2 + Below(2)
                                                                   : 1 + Below(3);
        for (std::size_t i = 0; i < files; ++i) {
            c.kinds.push_back(Below(test::kFileKindCount));
            c.contents.push_back(Content());
        }
        return c;
    }

private:
    std::mt19937 gen_;
};

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

TEST(AttachmentRoundTrip, EveryFileComesBackByteForByte) {
    // QP_ROUND_TRIP_SEED replays another run.
    const char* given = std::getenv("QP_ROUND_TRIP_SEED");
    const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 2026;
    SCOPED_TRACE("seed " + std::to_string(seed));
    RandomFiles random(seed);
    const testing::TempDir dir;
    std::ofstream manifest(dir.PathOf("manifest"), std::ios::binary);
    constexpr int kCases = 300;
    for (int k = 0; k < kCases; ++k) {
        const FileCase c = random.Case();
        const std::string composed = test::ComposeFiles(c);
        EXPECT_EQ(test::DecodeFiles(composed), c.contents)
            << "case " << k << " layout " << static_cast<int>(c.layout) << "\n"
            << composed.substr(0, 4000);
        const std::string path = dir.Write("m" + std::to_string(k) + ".eml", composed);
        manifest << "message " << path << "\nskip " << (c.layout == FileLayout::Single ? 0 : 1)
                 << "\n";
        for (const std::string& file : c.contents) manifest << "att " << Hex(file) << "\n";
        manifest << "end\n";
    }
    manifest.close();

    if (std::system("/usr/bin/python3 -c 'import gi' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3 with GMime is not available here";
    const std::string report = dir.PathOf("report");
    const std::string command = "/usr/bin/python3 '" + std::string(QP_TEST_DATA_DIR) +
                                "/encoding/attachment_readers.py' '" + dir.PathOf("manifest") +
                                "' > '" + report + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(report);
    const std::string differences((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(differences.substr(0, 4000), "");
}

}  // namespace
}  // namespace quillpost
