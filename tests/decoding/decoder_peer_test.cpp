// Messages no one here wrote: Python's own sample messages, and messages made
// by Python's email package and by GMime. Each decodes without a failure; for
// the layouts the decoder understands, the attachments equal what Python's
// parser recovers. Skips where Debian's python3 cannot run (under Wine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "decoding/custom_decoder.h"
#include "message/article.h"
#include "message/message.h"
#include "temp_dir.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;

struct ExpectedAttachment {
    std::string name;  // "-": not compared
    std::string contentType;
    bool exact = true;  // false: compare as text with normalised breaks
    std::string bytes;
};

struct ExpectedMessage {
    std::string path;
    bool understood = false;
    std::optional<std::string> body;
    std::vector<ExpectedAttachment> attachments;
};

std::string FromHex(const std::string& hex) {
    if (hex == "-") return {};
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

class MailPeer {
public:
    // Runs the peer with Args and the manifest path last; nullopt on failure.
    std::optional<std::vector<ExpectedMessage>> Run(const std::string& args) {
        const fs::path out = Dir() / "manifest.txt";
        const std::string command = "/usr/bin/python3 '" + std::string(QP_TEST_DATA_DIR) +
                                    "/decoding/mail_peer.py' " + args + " '" + out.string() +
                                    "' 2>/dev/null";
        if (std::system(command.c_str()) != 0) return std::nullopt;
        std::ifstream f(out);
        if (!f) return std::nullopt;
        std::vector<ExpectedMessage> result;
        std::string line;
        while (std::getline(f, line)) {
            std::istringstream words(line);
            std::string key;
            words >> key;
            if (key == "message") {
                result.emplace_back();
                result.back().path = line.substr(8);
            } else if (key == "layout") {
                int v = 0;
                words >> v;
                result.back().understood = v == 1;
            } else if (key == "body") {
                std::string hex;
                words >> hex;
                result.back().body = FromHex(hex);
            } else if (key == "att") {
                ExpectedAttachment a;
                std::string kind;
                std::string hex;
                words >> a.name >> a.contentType >> kind >> hex;
                a.exact = kind == "b";
                a.bytes = FromHex(hex);
                result.back().attachments.push_back(std::move(a));
            }
        }
        return result;
    }

    fs::path Dir() const { return temp_.Path(); }

    static bool Available() {
        static const bool available = [] {
            MailPeer peer;
            return peer.Run("ping").has_value();
        }();
        return available;
    }

private:
    testing::TempDir temp_;
};

#define QP_REQUIRE_MAIL_PEER()                                                   \
    do {                                                                         \
        if (!MailPeer::Available())                                              \
            GTEST_SKIP() << "python3 not available as an independent mail peer"; \
    } while (0)

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// CR LF and lone CR become LF; final breaks are dropped.
std::string NormalisedText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool HasNotice(const TmsCustomMessage& m) {
    for (const std::string& line : m.Body())
        if (line == kDecodeNoticeHead) return true;
    return false;
}

void CheckMessage(const ExpectedMessage& expected) {
    SCOPED_TRACE(expected.path);
    const std::string text = ReadFile(expected.path);
    ASSERT_FALSE(text.empty());
    TmsMessage m;
    TmsArticle article;
    {
        TMemoryStream stream;
        stream.Assign(text);
        ASSERT_NO_THROW(m.DecodeFromStream(stream));
        ASSERT_NO_THROW(article.DecodeFromStream(stream));
    }
    // A failure keeps the whole text; either way nothing is lost.
    if (HasNotice(m)) {
        ASSERT_GE(m.Attachments().Count(), 1);
        EXPECT_EQ(m.Attachments().Items(m.Attachments().Count() - 1).Data().Bytes(), text);
    }
    if (!expected.understood) return;
    EXPECT_FALSE(HasNotice(m));
    ASSERT_EQ(m.Attachments().Count(), static_cast<std::int32_t>(expected.attachments.size()));
    for (std::size_t i = 0; i < expected.attachments.size(); ++i) {
        const ExpectedAttachment& want = expected.attachments[i];
        const TmsAttItem& got = m.Attachments().Items(static_cast<std::int32_t>(i));
        SCOPED_TRACE("attachment " + std::to_string(i));
        if (want.exact)
            EXPECT_EQ(got.Data().Bytes(), want.bytes);
        else
            EXPECT_EQ(NormalisedText(got.Data().Bytes()), NormalisedText(want.bytes));
        if (want.name != "-") {
            EXPECT_EQ(got.FileName(), want.name);
            EXPECT_EQ(got.ContentType(), want.contentType);
        }
    }
    if (expected.body) {
        std::string body;
        for (const std::string& line : m.Body()) body += line + "\n";
        EXPECT_EQ(NormalisedText(body), NormalisedText(*expected.body));
    }
}

TEST(DecoderPeer, PythonSampleMessages) {
    QP_REQUIRE_MAIL_PEER();
    MailPeer peer;
    const auto messages = peer.Run("samples");
    if (!messages) GTEST_SKIP() << "Python's email test messages are not installed";
    ASSERT_GE(messages->size(), 40u);
    int understood = 0;
    for (const auto& m : *messages) {
        CheckMessage(m);
        understood += m.understood ? 1 : 0;
    }
    // Enough of them are compared, not only decoded.
    EXPECT_GE(understood, 10);
}

TEST(DecoderPeer, MessagesMadeByPythonAndGMime) {
    QP_REQUIRE_MAIL_PEER();
    MailPeer peer;
    const auto messages = peer.Run("generate '" + peer.Dir().string() + "' 20261208 60");
    ASSERT_TRUE(messages.has_value());
    ASSERT_EQ(messages->size(), 60u);
    for (const auto& m : *messages) CheckMessage(m);
}

}  // namespace
}  // namespace quillpost
