// UTF-8 messages (CharSet 3) as independent readers see them: Python's email
// and GMime recover every name, the subject, the body and the attachment
// names exactly; our own decoder reads them back too; header lines keep
// their limits. The peers are skipped where Debian's python3 cannot run
// (under Wine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "encoding/manifest_readers.h"
#include "mailer/mailer.h"
#include "message/message.h"
#include "message/test_files.h"
#include "util/stream.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;

struct Script {
    const char* name;
    std::string text;
    // Short: Python reads it back as a display name (it keeps the blanks
    // between adjacent encoded words of one, and cannot read back its own
    // long names either), and our decoder reads its headers, which it cuts
    // at 255 octets before decoding.
    bool shortText = true;
};

const Script kScripts[] = {
    {"latin",
     "J\xC3\xBCrgen Stra\xC3\x9F"
     "e \xE2\x80\x94 Gr\xC3\xBC\xC3\x9F"
     "e, caf\xC3\xA9"},
    {"cyrillic",
     "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0! "
     "\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7 \xE2\x84\x96"
     "5"},
    {"greek",
     "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 "
     "\xCE\xBA\xCF\x8C\xCF\x83\xCE\xBC\xCE\xB5"},
    {"cjk",
     "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9"
     "\xE3\x83\x88 \xE4\xB8\xAD\xE6\x96\x87"},
    {"emoji", "Party \xF0\x9F\x8E\x89 time \xF0\x9F\x98\x80\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"},
    {"rtl",
     "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D "
     "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"},
    {"combining", "e\xCC\x81 n\xCC\x83 A\xCC\x8A o\xCC\x88\xCC\x81"},
    // Characters with a meaning of their own in an address, beside UTF-8.
    {"specials", "M\xC3\xBCller, Hans (Jr.) \"Q\" a@b"},
    // Long enough to need several words and folded lines.
    {"long",
     [] {
         std::string s;
         for (int i = 0; i < 10; ++i)
             s += "\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7 \xE6\x97\xA5\xE6\x9C\xAC plain words ";
         return s + "\xF0\x9F\x98\x80";
     }(),
     false},
};

// A file-system name made from Text: no separators, at most about 120 octets
// (long enough for continued parameters), no character cut.
std::string FileNameOf(std::string text) {
    std::size_t end = 0;
    while (end < text.size() && end < 120)
        end += std::max<std::size_t>(1, Utf8SequenceLength(static_cast<unsigned char>(text[end])));
    text.resize(std::min(end, text.size()));
    for (char& c : text)
        if (c == '/' || c == '\\' || c == ':' || c == '"') c = '_';
    return text + ".txt";
}

// Header lines stay under 998 octets, and lines folded from encoded words
// under 78 with no word longer than 75.
void CheckLineLimits(const std::string& text) {
    const std::string head = text.substr(0, text.find("\r\n\r\n"));
    std::size_t start = 0;
    while (start <= head.size()) {
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos) end = head.size();
        const std::string line = head.substr(start, end - start);
        EXPECT_LT(line.size(), 998u);
        if (line.find("=?utf-8?") != std::string::npos) {
            EXPECT_LE(line.size(), 78u) << line;
        }
        for (std::size_t w = line.find("=?"); w != std::string::npos;) {
            const std::size_t close =
                line.find("?=", line.find('?', line.find('?', w + 2) + 1) + 1);
            ASSERT_NE(close, std::string::npos) << line;
            EXPECT_LE(close + 2 - w, 75u) << line;
            w = line.find("=?", close + 2);
        }
        start = end + 2;
    }
}

TEST(UnicodeMessages, ReadersRecoverExactlyWhatWasSet) {
    testing::TempDir dir;
    std::ofstream manifest(fs::path(dir.Path()) / "manifest.txt", std::ios::binary);
    for (const Script& s : kScripts) {
        SCOPED_TRACE(s.name);
        const Script& next = kScripts[(&s - kScripts + 1) % std::size(kScripts)];
        const std::string other = next.shortText ? next.text : kScripts[0].text;
        const std::string file = FileNameOf(s.text);
        const std::u8string native(file.begin(), file.end());
        std::ofstream(fs::path(dir.Path()) / fs::path(native), std::ios::binary) << "data\r\n";

        TMailer m;
        m.SetCharSet(3);
        m.SetFromAddress("from@example.org");
        m.SetFromName(s.text);
        m.SetSubject(s.text);
        m.AddRecipient(s.text, "one@example.org");
        m.AddRecipient(other, "two@example.org");
        m.SetBodyText(s.text);
        m.AddAttachment(dir.Path() + "/" + file);
        TMemoryStream out;
        m.ComposeMessage(out);
        const std::string text = out.Bytes();
        CheckLineLimits(text);

        // Our own decoder (its texts are cut at 255 octets).
        TmsMessage decoded;
        decoded.DecodeFromStream(out);
        if (s.shortText) {
            EXPECT_EQ(decoded.Subject(), s.text);
            EXPECT_EQ(decoded.Sender().Name(), s.text);
            EXPECT_EQ(decoded.Recipients().Items(0).Name(), s.text);
            EXPECT_EQ(decoded.Recipients().Items(1).Name(), other);
            ASSERT_EQ(decoded.Attachments().Count(), 1);
            EXPECT_EQ(decoded.Attachments().Items(0).FileName(), file);
        }
        StringVector body = decoded.Body().Lines();
        while (!body.empty() && body.back().empty()) body.pop_back();
        EXPECT_EQ(body, StringVector{s.text});
        EXPECT_EQ(decoded.CharSet(), csUTF8);

        const fs::path path = fs::path(dir.Path()) / (std::string(s.name) + ".eml");
        std::ofstream(path, std::ios::binary) << text;
        manifest << "message " << path.string() << "\nsubject " << test::Hex(s.text) << "\nfrom "
                 << test::Hex(s.text) << "\nto " << test::Hex(s.text) << "\nto " << test::Hex(other)
                 << "\nbody " << test::Hex(s.text) << "\nfile " << test::Hex(file)
                 << (s.shortText ? "" : "\nnames gmime") << "\nend\n";
    }
    manifest.close();

    if (!test::ManifestReadersAvailable())
        GTEST_SKIP() << "python3 with GMime is not available here";
    EXPECT_EQ(test::ManifestDifferences("unicode_readers.py", dir.Path() + "/manifest.txt"), "");
}

TEST(UnicodeMessages, AnAlternativeTextFileInUtf8SaysSo) {
    testing::MimeTableOverride types;
    testing::TempDir dir;
    const std::string html = dir.Write("_alt.html", "<p>\xD0\x9F\xD1\x80\xD0\xB8</p>\r\n");
    const std::string ascii = dir.Write("_alt.htm", "<p>hi</p>\r\n");
    for (const auto& [file, want] :
         {std::pair{html, "Content-Type: text/html; charset=\"utf-8\"\r\n"},
          std::pair{ascii, "Content-Type: text/html\r\n"}}) {
        TMailer m;
        m.SetCharSet(3);
        m.SetFromAddress("from@example.org");
        m.SetBodyText("\xD0\x9F\xD1\x80\xD0\xB8");
        m.AddAttachment(file);
        TMemoryStream out;
        m.ComposeMessage(out);
        EXPECT_NE(out.Bytes().find(want), std::string::npos) << out.Bytes();
    }
}

}  // namespace
}  // namespace quillpost
