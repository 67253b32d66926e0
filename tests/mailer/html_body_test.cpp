// Messages with an HTML body as readers no one here wrote see them (Python's
// email and GMime): the layout, the text part (given or made from the HTML),
// the HTML, every cid: resolved to its image byte for byte, and the
// attachments after it. Then what is refused where it enters or when the
// message is put together.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "encoding/html_text.h"
#include "encoding/manifest_readers.h"
#include "mailer/mailer.h"
#include "message/test_files.h"
#include "temp_dir.h"
#include "util/errors.h"
#include "util/stream.h"

namespace quillpost {
namespace {

constexpr const char* kTypes =
    "image/png png\nimage/gif gif\napplication/pdf pdf\ntext/plain txt\n";

struct HtmlCase {
    const char* name;
    std::int16_t charSet;
    const char* bodyText;  // null: made from the HTML
    std::string html;
    std::vector<std::pair<const char*, const char*>> images;  // file, Content-ID as set
    std::vector<const char*> files;
    const char* layout;
};

std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes + "\r\n--=_boundary\r\n.\r\n" + std::string(3000, 'x');
}

const std::string kLongLine = "<p>" + std::string(300, 'w') + " tail</p>";

const HtmlCase kCases[] = {
    {"plain_and_html",
     1,
     "Plain words.",
     "<p>Hello <b>there</b></p>",
     {},
     {},
     "multipart/alternative(text/plain,text/html)"},
    {"images",
     1,
     nullptr,
     "<h1>News</h1>\n.\n<img src=\"cid:logo\" alt=\"Logo\"><img "
     "src='cid:chart.1@example.com'>\r\n" +
         kLongLine,
     {{"logo.gif", "logo"}, {"chart.png", "<chart.1@example.com>"}},
     {},
     "multipart/alternative(text/plain,multipart/related(text/html,image/gif,image/png))"},
    {"attachments",
     1,
     "See the report.",
     "<p>See <a href=\"https://e.com/r\">the report</a></p>"
     "<img src=\"cid:logo\">",
     {{"logo.gif", "logo"}},
     {"report.pdf", "notes.txt"},
     "multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,image/gif)),"
     "application/pdf,text/plain)"},
    {"utf8",
     3,
     nullptr,
     "<p>Caf\xC3\xA9 &euro;5 \xF0\x9F\x8E\x89</p><ul><li>\xD0\x9F\xD1\x80\xD0\xB8</li></ul>"
     "<img src=\"cid:logo\" alt=\"l\xC3\xB6go\">",
     {{"l\xC3\xB6go.png", "logo"}},
     {"notes.txt"},
     "multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,image/png)),"
     "text/plain)"},
    // A page on one line longer than quoted-printable holds, and so its text.
    {"one_line",
     1,
     nullptr,
     "<p>" + std::string(30000, 'a') + " &eacute;</p>",
     {},
     {},
     "multipart/alternative(text/plain,text/html)"},
    {"latin1",
     2,
     "Caf\xC3\xA9 given",
     "<p>Caf\xC3\xA9 &amp; cr\xC3\xA8me</p>",
     {},
     {},
     "multipart/alternative(text/plain,text/html)"},
};

TEST(HtmlBody, ReadersSeeTheLayoutTextHtmlAndImages) {
    testing::MimeTableOverride types(kTypes);
    testing::TempDir dir;
    dir.Write("logo.gif", "GIF89a" + AllBytes());
    dir.Write("chart.png", "\x89PNG\r\n\x1a\n" + AllBytes() + AllBytes());
    // A UTF-8 name reaches the system whole (wide on Windows), as the mailer opens it.
    const std::string utf8Name = "l\xC3\xB6go.png";
    std::ofstream(std::filesystem::path(dir.Path()) /
                      std::filesystem::path(std::u8string(utf8Name.begin(), utf8Name.end())),
                  std::ios::binary)
        << "\x89PNG\r\n" + std::string(100, '\0');
    dir.Write("report.pdf", "%PDF-1.4\n" + AllBytes());
    dir.Write("notes.txt", "Line one\r\n.Line two\r\n");
    std::ofstream manifest(dir.PathOf("manifest.txt"));
    for (const HtmlCase& c : kCases) {
        TMailer m;
        m.SetCharSet(c.charSet);
        m.SetFromAddress("ann@example.com");
        ASSERT_TRUE(m.AddRecipient("Bob", "bob@example.com"));
        m.SetSubject(c.name);
        if (c.bodyText) m.SetBodyText(c.bodyText);
        m.SetHTMLBody(c.html);
        manifest << "message " << dir.PathOf(std::string(c.name) + ".eml") << "\nlayout "
                 << c.layout << "\ntext " << test::Hex(c.bodyText ? c.bodyText : HtmlToText(c.html))
                 << "\nhtml " << test::Hex(c.charSet == 3 ? c.html : HtmlInAscii(c.html)) << "\n";
        // Joined as text: a path object would read a UTF-8 name as ANSI on Windows.
        auto path = [&](const char* file) { return dir.Path() + "/" + file; };
        for (const auto& [file, id] : c.images) {
            ASSERT_TRUE(m.AddEmbeddedImage(path(file), id)) << m.Response();
            std::string bare = id;
            if (bare.front() == '<') bare = bare.substr(1, bare.size() - 2);
            manifest << "image " << test::Hex(bare) << " " << test::Hex(path(file)) << "\n";
        }
        for (const char* file : c.files) {
            ASSERT_TRUE(m.AddAttachment(path(file)));
            manifest << "file " << test::Hex(file) << " " << test::Hex(path(file)) << "\n";
        }
        manifest << "end\n";
        TMemoryStream out;
        m.ComposeMessage(out);
        dir.Write(std::string(c.name) + ".eml", out.Bytes());
    }
    manifest.close();
    if (!test::ManifestReadersAvailable())
        GTEST_SKIP() << "python3 with GMime is not available here";
    EXPECT_EQ(test::ManifestDifferences("html_readers.py", dir.PathOf("manifest.txt")), "");
}

TEST(HtmlBody, AddEmbeddedImageTakesOnlyContentIdsAndFilesThatCanGo) {
    testing::TempDir dir;
    const std::string image = dir.Write("a.png", "png");
    const struct {
        std::string file;
        std::string id;
        bool taken;
    } cases[] = {
        {image, "logo", true},
        {image, "<part1.x-y_z@example.com>", true},
        {image, "a+b=c!#$&'*/?^`{|}~", true},
        {image, "LOGO", false},  // the same ID in another case
        {image, "", false},
        {image, "<>", false},
        {image, "a b", false},
        {image, "a<b", false},
        {image, "<open", false},
        {image, "a\r\nContent-Type: text/html", false},
        {image, "a%41", false},
        {image, ".a", false},
        {image, "a..b", false},
        {image, "a@b@c", false},
        {image, "@b", false},
        {image, "caf\xC3\xA9", false},
        {image, std::string(201, 'a'), false},
        {dir.PathOf("missing.png"), "m", false},
        {dir.Path(), "d", false},
        {"", "e", false},
    };
    TMailer m;
    for (const auto& c : cases) {
        EXPECT_EQ(m.AddEmbeddedImage(c.file, c.id), c.taken) << c.id;
        if (!c.taken) {
            EXPECT_FALSE(m.Response().empty());
        }
    }
    m.ClearEmbeddedImages();
    EXPECT_TRUE(m.AddEmbeddedImage(image, "LOGO")) << m.Response();
}

TEST(HtmlBody, WhatCannotGoFailsTheMessageNamingTheCause) {
    testing::TempDir dir;
    const std::string alt = dir.Write("_alt.htm", "<p>alt</p>\r\n");
    const std::string image = dir.Write("a.png", "png");
    const struct {
        const char* name;
        void (*set)(TMailer&, const std::string& alt, const std::string& image);
        const char* cause;
    } cases[] = {
        {"alt",
         [](TMailer& m, const std::string& a, const std::string&) {
             m.SetHTMLBody("<p>x</p>");
             m.AddAttachment(a);
         },
         "_alt.htm"},
        {"uuencode",
         [](TMailer& m, const std::string&, const std::string&) {
             m.SetHTMLBody("<p>x</p>");
             m.SetEncoding(1);
         },
         "Encoding"},
        // Every value but 2 uuencodes, 0 included.
        {"uuencode by 0",
         [](TMailer& m, const std::string&, const std::string&) {
             m.SetHTMLBody("<p>x</p>");
             m.SetEncoding(0);
         },
         "Encoding"},
        {"no html",
         [](TMailer& m, const std::string&, const std::string& i) { m.AddEmbeddedImage(i, "x"); },
         "HTMLBody"},
        {"image gone",
         [](TMailer& m, const std::string&, const std::string& i) {
             m.SetHTMLBody("<img src=cid:x>");
             m.AddEmbeddedImage(i, "x");
             std::filesystem::remove(i);
         },
         "a.png"},
    };
    for (const auto& c : cases) {
        TMailer m;
        m.SetFromAddress("ann@example.com");
        c.set(m, alt, image);
        TMemoryStream out;
        try {
            m.ComposeMessage(out);
            ADD_FAILURE() << c.name << " composed";
        } catch (const EQuillpostError& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace quillpost
