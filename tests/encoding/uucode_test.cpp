#include "encoding/uucode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "encoding/codec_peer.h"
#include "util/errors.h"

namespace quillpost {
namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

// The lines the encoder writes for one attachment, without the closing lines.
std::vector<std::string> EncodeAll(const std::string& data) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        std::string chunk = data.substr(pos, kUULineBytes);
        lines.push_back(EncodeUULine(chunk));
        pos += chunk.size();
        if (chunk.size() < kUULineBytes) return lines;
    }
}

TEST(UUCode, EncodeLines) {
    struct Case {
        std::string chunk, line;
    } cases[] = {
        {"", "``"},
        {"A", "!00"},
        {"AB", "\"04("},
        {"abc", "#86)C`"},  // five data characters, the last one from zero bits
        {"Cat", "#0V%T`"},
        {std::string(3, '\0'), "#`````"},
        {"\xFF\xFF\xFF\xFF", "$_____P"},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeUULine(c.chunk), c.line) << c.chunk;

    for (std::size_t n = 0; n <= kUULineBytes; ++n) {
        std::string line = EncodeUULine(RandomBytes(n, 7));
        EXPECT_EQ(line.size(), n == 45 ? 61u : n * 4 / 3 + 2) << n;
        EXPECT_EQ(line[0], UUAlphabet[n]);
        EXPECT_EQ(line.find(' '), std::string::npos) << "spaces do not survive mail systems";
    }
    EXPECT_EQ(EncodeUULine(std::string(45, 'x'))[0], 'M');
    EXPECT_EQ(EncodeUULine(std::string(45, 'x'), 10).size(), 10u);
    EXPECT_THROW(EncodeUULine(std::string(46, 'x')), ERangeError);
}

TEST(UUCode, DataOfWholeLinesEndsWithTheEmptyLine) {
    for (std::size_t size : {0u, 45u, 90u}) {
        auto lines = EncodeAll(std::string(size, 'q'));
        ASSERT_EQ(lines.size(), size / 45 + 1);
        EXPECT_EQ(lines.back(), "``");
    }
    auto lines = EncodeAll(std::string(50, 'q'));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1][0], '%');  // the short last line carries 5 bytes
}

TEST(UUCode, DecodeLines) {
    struct Case {
        std::string line, bytes;
    } cases[] = {
        {"", ""},
        {"``", ""},
        {" ", ""},      // a space is a zero length too
        {"  ABC", ""},  // length 0: the rest is read but yields nothing
        {"#86)C`", "abc"},
        {"#86)C", "abc"},  // the form with whole groups only
        {"#86)C    ", "abc"},
        {"!00", "A"},
        {"!0 ", "@"},                 // space as zero bits inside the data
        {"#", std::string(3, '\0')},  // trailing blanks stripped on the way
        {"$_____P", "\xFF\xFF\xFF\xFF"},
        {"$____", std::string("\xFF\xFF\xFF\x00", 4)},  // missing bits are zero
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeUULine(c.line), c.bytes) << c.line;

    // A full line reads exactly 60 data characters; what follows is ignored.
    std::string full = EncodeUULine(std::string(45, 'z'));
    EXPECT_EQ(DecodeUULine(full + "abc~"), std::string(45, 'z'));
    EXPECT_EQ(DecodeUULine("#86)C`", 2), "ab");
}

TEST(UUCode, InvalidCharacters) {
    for (const char* line :
         {"a", "#86)c`", "#86)C`~", "#86)C`\r", "~", "\x7f", "#\xff\xff\xff\xff"}) {
        try {
            DecodeUULine(line);
            ADD_FAILURE() << line;
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "Invalid Character");
        }
    }
    for (int c = 0; c < 256; ++c) {
        char ch = static_cast<char>(c);
        if (c >= 0x21 && c <= 0x60) {
            EXPECT_EQ(UUValue(ch), c == 0x60 ? 0 : c - 32);
        } else if (c == ' ') {
            EXPECT_EQ(UUValue(ch), 0);
        } else {
            EXPECT_THROW(UUValue(ch), EInOutError) << c;
        }
    }
}

TEST(UUCode, RoundTripOfRandomBytes) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::string data = RandomBytes(seed * 17 % 400, seed);
        std::string back;
        for (const auto& line : EncodeAll(data)) back += DecodeUULine(line);
        EXPECT_EQ(back, data) << data.size();
    }
}

TEST(UUCode, BeginLines) {
    struct Case {
        const char* line;
        bool begin;
        const char* name;
    } cases[] = {
        {"begin 644 report.txt", true, "report.txt"},
        {"BEGIN 644 report.txt", true, "report.txt"},
        {"Begin 600 a b.txt", true, "a"},
        {"begin 644 \"my file.txt\" rest", true, "my file.txt"},
        {"begin 644 \"unclosed", true, ""},
        {"begin 644", true, ""},
        {"begin \t644 x", true, ""},  // the name is taken at a fixed place
        {"Beginning of the text", false, nullptr},
        {"begin 64", false, nullptr},
        {"begin", false, nullptr},
        {"begin abc file", false, nullptr},
        {"begun 644 file", false, nullptr},
        {" begin 644 file", false, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUUBeginLine(c.line), c.begin) << c.line;
        if (c.name != nullptr) {
            EXPECT_EQ(UUBeginFileName(c.line), c.name) << c.line;
        }
    }
    EXPECT_EQ(UUBeginFileName("short"), "");
}

// Debian's python3 reads what we write and writes what we read.
TEST(UUCode, AgreesWithAnIndependentCodec) {
    QP_REQUIRE_CODEC_PEER();
    // One hex line per chunk; python answers with its lines and its bytes.
    std::vector<std::string> chunks;
    for (std::size_t n = 0; n <= 45; ++n)
        chunks.push_back(RandomBytes(n, static_cast<unsigned>(n) + 100));
    chunks.push_back(std::string(45, '\0'));
    std::string input;
    for (const auto& c : chunks) {
        static const char* hex = "0123456789abcdef";
        for (unsigned char b : c) input += {hex[b >> 4], hex[b & 15]};
        input += ' ' + EncodeUULine(c) + '\n';
    }
    const std::optional<std::string> answer = test::CodecPeer::Run("uucheck", input);
    ASSERT_TRUE(answer.has_value());
    std::istringstream out(*answer);
    std::string row;
    std::size_t i = 0;
    while (std::getline(out, row) && i < chunks.size()) {
        std::istringstream fields(row);
        std::string ok, theirs, tick;
        std::getline(fields, ok, '\t');
        std::getline(fields, theirs, '\t');
        std::getline(fields, tick, '\t');
        EXPECT_EQ(ok, "1") << "python cannot read our line for " << chunks[i].size() << " bytes";
        EXPECT_EQ(DecodeUULine(theirs), chunks[i]) << theirs;
        EXPECT_EQ(DecodeUULine(tick), chunks[i]) << tick;
        ++i;
    }
    EXPECT_EQ(i, chunks.size());
}

}  // namespace
}  // namespace quillpost
