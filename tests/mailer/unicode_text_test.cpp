// Text kept as it was set, converted to the message's character set only when
// the message is put together, and file names that reach the system whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "mailer/mailer.h"
#include "message/message.h"
#include "message/test_files.h"
#include "util/stream.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;

// A UTF-8 name as the system sees it, whatever its code page.
fs::path NativePath(const std::string& dir, std::string_view utf8Name) {
    return fs::path(dir) / fs::path(std::u8string(utf8Name.begin(), utf8Name.end()));
}

std::string Compose(TMailer& m) {
    TMemoryStream out;
    m.ComposeMessage(out);
    return out.Bytes();
}

TEST(UnicodeFileNames, AttachmentsBodyFilesAndLogsOpenByTheirOwnNames) {
    testing::TempDir dir;
    const char* names[] = {
        "\xC3\x9C"
        "berblick.txt",
        "\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7.txt", "\xE4\xB8\xAD\xE6\x96\x87.txt",
        "\xF0\x9F\x98\x80.txt"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string path = dir.Path() + "/" + name;
        std::ofstream(NativePath(dir.Path(), name), std::ios::binary) << "line one\r\n";

        TMailer m;
        m.SetFromAddress("a@example.org");
        m.SetCharSet(3);
        EXPECT_TRUE(m.GetBodyTextFromFile(path, kWordFalse, kWordFalse)) << m.Response();
        EXPECT_EQ(m.BodyLines(), StringVector{"line one"});
        m.AddAttachment(path);
        const std::string text = Compose(m);
        EXPECT_NE(text.find("\r\n\r\nline one\r\n\r\n--"), std::string::npos) << text;

        // The log goes through the same file service as the attachment.
        TMemoryStream log;
        log.Assign("logged");
        log.SaveToFile(path + ".log");
        EXPECT_TRUE(fs::exists(fs::path(NativePath(dir.Path(), name)).concat(".log")));

        EXPECT_TRUE(m.GetBodyTextFromFile(path, kWordTrue, kWordFalse));
        EXPECT_FALSE(fs::exists(NativePath(dir.Path(), name)));
    }
}

TEST(UnicodeText, PropertiesReadBackAsSetAndConvertOnlyWhenComposed) {
    const std::string subject =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x80\x94 \xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7";
    struct Case {
        std::int16_t charSet;
        std::string wantSubjectLine;
    };
    const Case cases[] = {
        // Held by the ANSI code page where it can, '?' where it cannot.
        {1,
         "Subject:  Gr\xFC\xDF"
         "e \x97 ?????\r\n"},
        {2,
         "Subject:  Gr\xFC\xDF"
         "e \x97 ?????\r\n"},
    };
    for (const Case& c : cases) {
        TMailer before, after;
        for (TMailer* m : {&before, &after}) {
            m->SetFromAddress("a@example.org");
            m->SetDateTime("Tue, 01 Dec 2026 10:00:00 GMT");
        }
        before.SetCharSet(c.charSet);
        before.SetSubject(subject);
        after.SetSubject(subject);
        after.SetCharSet(c.charSet);
        EXPECT_EQ(after.Subject(), subject);
        const std::string text = Compose(before);
        EXPECT_EQ(text, Compose(after));
        EXPECT_NE(text.find(c.wantSubjectLine), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace quillpost
