// Composed messages of every layout checked from outside: Python's email
// package reads them back, and over random messages the text keeps the
// line invariants that SMTP and MIME readers depend on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "encoding/base64.h"
#include "encoding/compose_random.h"
#include "temp_dir.h"
#include "util/stream.h"

namespace quillpost {
namespace {

using test::ExpectedPart;
using test::Layout;

struct PeerMessage {
    int defects = 0;
    int toAddresses = 0;
    std::vector<ExpectedPart> parts;
};

std::string FromBase64(const std::string& text) {
    std::string out(Base64DecodedMaxSize(text.size()), '\0');
    out.resize(DecodeBase64Block(text, out.data()));
    return out;
}

// Runs Debian's python3 on the messages; nothing where it cannot run (the
// Windows build under Wine).
std::optional<std::vector<PeerMessage>> ReadWithPython(const std::vector<std::string>& messages,
                                                       bool ping = false) {
    const testing::TempDir temp;
    const std::filesystem::path dir = temp.Path();
    std::string command = "/usr/bin/python3 '" + std::string(QP_TEST_DATA_DIR) +
                          "/encoding/mime_peer.py' " + (ping ? "ping " : "") + "'" +
                          (dir / "out").string() + "'";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const auto path = dir / ("m" + std::to_string(i) + ".eml");
        std::ofstream(path, std::ios::binary)
            .write(messages[i].data(), static_cast<std::streamsize>(messages[i].size()));
        command += " '" + path.string() + "'";
    }
    // The probe stays quiet where python3 cannot run; a real run shows its errors.
    if (ping) command += " 2>/dev/null";
    std::optional<std::vector<PeerMessage>> result;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(dir / "out");
        std::vector<PeerMessage> read;
        std::string line;
        bool pong = false;
        while (std::getline(in, line)) {
            if (line == "pong") {
                pong = true;
            } else if (line.starts_with("MESSAGE ")) {
                PeerMessage m;
                std::istringstream(line.substr(8)) >> m.defects >> m.toAddresses;
                read.push_back(m);
            } else if (!read.empty()) {
                std::vector<std::string> fields;
                std::istringstream fieldsIn(line);
                std::string field;
                while (std::getline(fieldsIn, field, '\t')) fields.push_back(field);
                fields.resize(4);
                read.back().parts.push_back({fields[0], FromBase64(fields[1]),
                                             FromBase64(fields[2]), FromBase64(fields[3]), false});
            }
        }
        if (!ping || pong) result = std::move(read);
    }
    return result;
}

bool PythonAvailable() {
    static const bool available = ReadWithPython({}, true).has_value();
    return available;
}

// Line breaks as LF, trailing ones dropped: how text parts are compared.
std::string Normalised(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

const char* LayoutName(Layout layout) {
    const char* names[] = {"text", "mixed", "alternative", "nested", "attachment", "uuencode"};
    return names[static_cast<int>(layout)];
}

TEST(ComposeCheck, PythonEmailReadsEveryLayout) {
    if (!PythonAvailable()) GTEST_SKIP() << "python3 not available as an independent reader";
    constexpr int kPerLayout = 12;
    std::vector<std::string> texts;
    std::vector<std::vector<ExpectedPart>> expected;
    std::vector<int> recipients;
    std::vector<Layout> layouts;
    test::RandomMessages random(20261208, false);
    for (Layout layout : test::kLayouts) {
        for (int i = 0; i < kPerLayout; ++i) {
            TmsMessage m;
            expected.push_back(random.Fill(m, layout));
            recipients.push_back(m.Recipients().Count());
            texts.push_back(test::Compose(m));
            layouts.push_back(layout);
        }
    }
    const auto read = ReadWithPython(texts);
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->size(), texts.size());
    for (std::size_t k = 0; k < texts.size(); ++k) {
        SCOPED_TRACE(std::string(LayoutName(layouts[k])) + " #" + std::to_string(k));
        const PeerMessage& got = (*read)[k];
        EXPECT_EQ(got.defects, 0);
        EXPECT_EQ(got.toAddresses, recipients[k]);
        ASSERT_EQ(got.parts.size(), expected[k].size()) << texts[k].substr(0, 2000);
        for (std::size_t p = 0; p < expected[k].size(); ++p) {
            const ExpectedPart& want = expected[k][p];
            const ExpectedPart& part = got.parts[p];
            EXPECT_EQ(part.type, want.type) << p;
            EXPECT_EQ(part.charset, want.charset) << p;
            EXPECT_EQ(part.name, want.name) << p;
            if (want.text)
                EXPECT_EQ(Normalised(part.payload), Normalised(want.payload)) << p;
            else
                EXPECT_EQ(part.payload, want.payload) << p;
        }
    }
}

// Over random messages of every layout, with lone CR and LF in body lines:
// every line ends in CR LF, no CR or LF stands alone, no line is the lone
// period that would end the transfer, and no line exceeds 998 octets.
TEST(ComposeCheck, LineInvariantsOverRandomMessages) {
    test::RandomMessages random(7, true);
    for (int round = 0; round < 40; ++round) {
        for (Layout layout : test::kLayouts) {
            TmsMessage m;
            random.Fill(m, layout);
            const std::string text = test::Compose(m);
            SCOPED_TRACE(std::string(LayoutName(layout)) + " round " + std::to_string(round));
            ASSERT_TRUE(text.ends_with("\r\n"));
            std::size_t start = 0;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\r') {
                    ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "lone CR at " << i;
                } else if (text[i] == '\n') {
                    ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at " << i;
                    const std::size_t length = i - 1 - start;
                    ASSERT_LE(length, 998u) << text.substr(start, 80);
                    ASSERT_NE(text.substr(start, length), ".");
                    start = i + 1;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quillpost
