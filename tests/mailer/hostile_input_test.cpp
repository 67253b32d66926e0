// Hostile values as a web form would hand them over: each is refused where it
// enters, with a Response or error that names it, or composes into a message
// that readers no one here wrote take exactly as meant.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "encoding/manifest_readers.h"
#include "mailer/mailer.h"
#include "message/message.h"
#include "temp_dir.h"
#include "util/errors.h"
#include "util/stream.h"

namespace quillpost {
namespace {

struct Expected {
    std::vector<std::string> to;  // mailboxes the To header names, in order
    const char* name = nullptr;   // display name of the last, when checked
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> headers;  // value read back unfolded
    std::vector<std::string> extra;                            // header names added
};

struct Case {
    const char* what;
    // Returns what the Add method answered (true for a property).
    std::function<bool(TMailer&, const testing::TempDir&)> apply;
    // Part of the Response or error text (the value as it is named); empty
    // when the message must compose.
    std::string refusal;
    Expected expected;
};

auto Recipient(std::string name, std::string address) {
    return [=](TMailer& m, const testing::TempDir&) { return m.AddRecipient(name, address); };
}
auto Header(std::string line) {
    return [=](TMailer& m, const testing::TempDir&) { return m.AddExtraHeader(line); };
}
// A file name the system cannot hold (Windows has no quote or control in
// one) leaves its case out.
struct NoSuchName {};
auto File(std::string name) {
    return [=](TMailer& m, const testing::TempDir& dir) {
        const std::string path = dir.Write(name, "attached\r\n");
        if (!std::filesystem::exists(path)) throw NoSuchName{};
        return m.AddAttachment(path);
    };
}
template <typename Set>
auto Property(Set set, std::string value) {
    return [=](TMailer& m, const testing::TempDir&) {
        (m.*set)(value);
        return true;
    };
}

const std::string kLongWord(3000, 'w');
std::string ManyWords() {
    std::string text;
    for (int i = 0; i < 400; ++i) text += (i ? " word" : "word") + std::to_string(i);
    return text;
}

std::vector<Case> Cases() {
    using M = TMailer;
    const std::string bob = "bob@example.com";
    const std::string carol = "carol@example.com";
    return {
        {"baseline", [](M&, auto&) { return true; }, "", {{bob}, "Bob"}},
        // Addresses: nothing but a mailbox reaches the envelope or a header.
        {"envelope parameters",
         Recipient("Bob", bob + "> NOTIFY=SUCCESS ORCPT=rfc822;x@evil.test"),
         "\"" + bob + "> NOTIFY=SUCCESS",
         {}},
        {"second party", Recipient("", "e@x.com>,<evil@evil.test"), "\"e@x.com>,<evil", {}},
        {"command", Recipient("", bob + "\r\nRCPT TO:<evil@evil.test>"), bob + "\\r\\nRCPT", {}},
        {"blank",
         [](M& m, auto&) { return m.AddCC("", "bob smith@example.com"); },
         "\"bob smith@example.com\"",
         {}},
        {"NUL",
         [](M& m, auto&) { return m.AddBCC("", std::string("a@x\0b", 5)); },
         "a@x\\x00b",
         {}},
        {"sender NUL",
         Property(&M::SetFromAddress, std::string("a@x\0", 4)),
         "FromAddress contains a line break or a NUL",
         {}},
        {"second @",
         [](M& m, auto&) { return m.AddBCC("", "a@b@example.com"); },
         "a@b@example.com",
         {}},
        {"semicolon", Recipient("", "bob;evil@example.com"), "bob;evil", {}},
        {"brackets", Recipient("", "<" + bob + ">"), "<" + bob + ">", {}},
        {"surrounding blank", Recipient("", " " + bob), "\" " + bob, {}},
        {"empty", Recipient("Bob", ""), "\"\"", {}},
        {"control in quotes", Recipient("", "\"a\x01\"@example.com"), "a\\x01", {}},
        {"bad literal", Recipient("", "a@[1.2.3.256]"), "a@[1.2.3.256]", {}},
        {"domain", Recipient("", "a@-x.example"), "a@-x.example", {}},
        {"sender parameters",
         Property(&M::SetFromAddress, "a@x.com> RET=FULL ENVID=x"),
         "FromAddress \"a@x.com> RET=FULL",
         {}},
        {"reply-to list",
         Property(&M::SetReplyTo, "a@x.com, evil@evil.test"),
         "ReplyTo \"a@x.com, evil",
         {}},
        {"UTF-8 without CharSet 3", Recipient("", "b\xC3\xB8@example.com"), "outside ASCII", {}},
        {"quoted local part",
         Recipient("", "\"john doe\"@example.com"),
         "",
         {{bob, "\"john doe\"@example.com"}}},
        {"literals",
         Recipient("", "postmaster@[IPv6:2001:db8::1]"),
         "",
         {{bob, "postmaster@[IPv6:2001:db8::1]"}}},
        {"reply-to with name",
         Property(&M::SetReplyTo, "\"Ann, Sales\" <ann@example.com>"),
         "",
         {{bob}, nullptr, {}, {{"reply-to", "\"Ann, Sales\" <ann@example.com>"}}, {"reply-to"}}},
        // Names: quoted whole when they do not read as one phrase.
        {"name breaking out",
         Recipient("a\" <evil@evil.test>, b", carol),
         "",
         {{bob, carol}, "a\" <evil@evil.test>, b"}},
        {"name with backslash",
         Recipient("Jo \\ Smith.", carol),
         "",
         {{bob, carol}, "Jo \\ Smith."}},
        {"name with a line", Recipient("Bob\r\nBcc: evil@evil.test", bob), "Bob\\r\\nBcc", {}},
        {"name with a control", Recipient("Bob\x07", bob), "Bob\\x07", {}},
        // Header text.
        {"header line", Header("X-A: 1\r\nBcc: evil@evil.test"), "X-A: 1\\r\\nBcc", {}},
        {"no header name", Header("Hello world"), "Hello world", {}},
        {"subject control",
         Property(&M::SetSubject, "a\x1B[2Jb"),
         "Subject contains a control",
         {}},
        {"long word",
         Header("X-Long: " + kLongWord),
         "",
         {{bob}, nullptr, {}, {{"x-long", kLongWord}}, {"x-long"}}},
        {"many words",
         Header("X-Words: " + ManyWords()),
         "",
         {{bob}, nullptr, {}, {{"x-words", ManyWords()}}, {"x-words"}}},
        {"long reference",
         Header("References: <" + kLongWord + "@example.com>"),
         "References has a line over 998",
         {}},
        {"long date", Property(&M::SetDateTime, kLongWord), "Date has a line over 998", {}},
        {"long subject",
         Property(&M::SetSubject, std::string(130000, 's')),
         "",
         {{bob}, nullptr, {}, {}, {"subject"}}},
        // Parameters: escaped, or in the extended form.
        {"quote in file name",
         File("q\"uote;name=x.txt"),
         "",
         {{bob}, nullptr, {"q\"uote;name=x.txt"}, {}, {"x-encoding"}}},
        {"controls in file name",
         File("tab\there\x01.txt"),
         "",
         {{bob}, nullptr, {"tab\there\x01.txt"}, {}, {"x-encoding"}}},
    };
}

TEST(HostileInput, IsRefusedByNameOrReadBackAsMeant) {
    namespace fs = std::filesystem;
    const testing::TempDir dir;
    std::ofstream manifest(fs::path(dir.Path()) / "manifest.txt");
    int composed = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const testing::TempDir files;
        TMailer m;
        m.SetFromAddress("from@example.com");
        m.SetDateTime("Tue, 01 Dec 2026 10:00:00 GMT");
        m.SetBodyText("Hello");
        m.AddRecipient("Bob", "bob@example.com");
        bool added = false;
        try {
            added = c.apply(m, files);
        } catch (const NoSuchName&) {
            continue;
        }
        std::string error;
        TMemoryStream out;
        if (added) {
            try {
                m.ComposeMessage(out);
            } catch (const EQuillpostError& e) {
                error = e.what();
            }
        }
        if (!c.refusal.empty()) {
            const std::string& said = added ? error : m.Response();
            EXPECT_NE(said.find(c.refusal), std::string::npos) << "said: " << said;
            continue;
        }
        ASSERT_TRUE(added) << m.Response();
        ASSERT_EQ(error, "");
        const std::string& text = out.Bytes();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2)
            EXPECT_LE(end - start, 998u) << text.substr(start, 80);
        TmsMessage decoded;
        out.SetPosition(0);
        decoded.DecodeFromStream(out);
        EXPECT_EQ(decoded.Recipients().Count(), static_cast<std::int32_t>(c.expected.to.size()));

        const std::string path =
            (fs::path(dir.Path()) / (std::to_string(composed++) + ".eml")).string();
        std::ofstream(path, std::ios::binary) << text;
        manifest << "message " << path << "\n";
        for (const auto& to : c.expected.to) manifest << "to " << test::Hex(to) << "\n";
        if (c.expected.name) manifest << "name " << test::Hex(c.expected.name) << "\n";
        for (const auto& f : c.expected.files) manifest << "file " << test::Hex(f) << "\n";
        for (const auto& [name, value] : c.expected.headers)
            manifest << "header " << name << " " << test::Hex(value) << "\n";
        for (const auto& name : c.expected.extra) manifest << "extra " << name << "\n";
        manifest << "end\n";
    }
    manifest.close();
    if (!test::ManifestReadersAvailable())
        GTEST_SKIP() << "python3 with GMime is not available here";
    EXPECT_EQ(test::ManifestDifferences("hostile_readers.py", dir.Path() + "/manifest.txt"), "");
}

}  // namespace
}  // namespace quillpost
