// HTML as the text part shows it: each rule once in the table, then hostile
// pages that must end quickly and leave no control character in the text.
#include "encoding/html_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "base/ascii.h"

namespace quillpost {
namespace {

struct TextCase {
    const char* html;
    const char* text;
};

const TextCase kTextCases[] = {
    // White space collapses; blocks end lines; paragraphs stand apart.
    {"  Hello,\r\n\t  world  ", "Hello, world"},
    {"<p>One</p><p>Two</p>three", "One\n\nTwo\n\nthree"},
    {"<h1>Title</h1>Body", "Title\n\nBody"},
    {"<div>a</div><div>b</div>", "a\nb"},
    {"a<br>b<BR/>c<br><br>d", "a\nb\nc\n\nd"},
    {"<p>a<br></p>b", "a\n\nb"},
    {"<ul><li>one<li>two</li></ul>after", "* one\n* two\nafter"},
    {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a b\nc"},
    {"<pre>  x\n   y</pre>z", "  x\n   y\n\nz"},
    // Links read as their text and URL, once when they are the same.
    {"<a href=\"https://e.com/?a=1&amp;b=2\">Shop</a>!", "Shop <https://e.com/?a=1&b=2>!"},
    {"<a href='https://e.com'>https://e.com</a>", "https://e.com"},
    {"<a href=mailto:ann@e.com>ann@e.com</a>", "ann@e.com"},
    {"<a href=\"#top\">Top</a> <a href=\"javascript:x()\">Go</a>", "Top Go"},
    {"<a href=\"cid:logo\"><img src=\"cid:logo\" alt=\"Our  logo\"></a>", "Our logo"},
    {"<a href=\" https://e.com/\n x \">e</a>", "e <https://e.com/x>"},
    // References: named, decimal, hexadecimal, C1 as Windows-1252, bad ones.
    {"&lt;b&gt; &amp; &quot;&eacute;&copy;&euro;&hellip;",
     "<b> & \"\xC3\xA9\xC2\xA9\xE2\x82\xAC\xE2\x80\xA6"},
    {"&#65;&#x42;&#X43&#150;&#0;&#xD800;&#99999999999;",
     "ABC\xE2\x80\x93\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"a&nbsp;&nbsp;b &unknown; &amp &#; &#x;", "a  b &unknown; &amp &#; &#x;"},
    {"x&#10;&#9;y&#1;z", "x yz"},
    // Dropped: scripts, styles, titles, comments, declarations, controls.
    {"<title>T</title><style>p{}</style>a<script>if (a<b) x('</p>')</SCRIPT>b", "ab"},
    {"<!DOCTYPE html><!-- <p>hidden</p> -->a<?xml x?>b", "ab"},
    {"a\x01\x1b[2Jb\x7f", "a[2Jb"},
    // Markup that is no tag stays text; a page cut inside markup ends there.
    {"a < b, 1<2, </ c", "a < b, 1<2, </ c"},
    {"text<a href=\"never closed", "text"},
    {"text<!-- never closed", "text"},
    {"text<script>never closed", "text"},
    {"<P CLASS=x>Upper</P><DIV>case</DIV>", "Upper\n\ncase"},
    {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
};

TEST(HtmlToText, ReadsPagesAsABrowserShowsThem) {
    for (const TextCase& c : kTextCases) EXPECT_EQ(HtmlToText(c.html), c.text) << c.html;
}

TEST(HtmlInAscii, WritesWhatIsNotAsciiAsReferences) {
    EXPECT_EQ(HtmlInAscii("<p>caf\xC3\xA9 \xF0\x9F\x8E\x89</p>"), "<p>caf&#233; &#127881;</p>");
    EXPECT_EQ(HtmlInAscii("a\xFF"), "a&#65533;");
}

// Hostile pages: deep nesting, huge attributes, unclosed everything. The
// text holds no control character but LF and TAB, and each page takes time in
// proportion to its size (a quadratic pass would take minutes here).
TEST(HtmlToText, HostilePagesEndQuicklyWithCleanText) {
    const std::size_t n = 1 << 20;
    std::mt19937 random(24);
    std::string noise;
    const std::string pieces[] = {
        "<",    ">",        "</",     "&",    "&#",   "&amp;", "<a href=", "\"", "'",
        "<p>",  "<pre>",    "</a>",   "<li>", "<!--", "-->",   " ",        "\n", "x",
        "\x01", "\xC3\xA9", "<style", "</",   "<br>", "<td>",  "&#x1F;",   "\f", "\t"};
    while (noise.size() < n) noise += pieces[random() % std::size(pieces)];
    const std::string pages[] = {
        std::string(n, '<'),
        "<a href=\"" + std::string(n, 'h') + "\">x</a>",
        [&] {
            std::string s;
            while (s.size() < n) s += "<a href=\"u\"><div><p>";
            return s;
        }(),
        [&] {
            std::string s;
            while (s.size() < n) s += "<script></scrip";
            return s;
        }(),
        std::string(n, '&'),
        noise,
    };
    for (const std::string& page : pages) {
        const auto start = std::chrono::steady_clock::now();
        const std::string text = HtmlToText(page);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        for (char c : text) ASSERT_TRUE(c == '\n' || c == '\t' || !IsAsciiControl(c)) << int(c);
    }
}

}  // namespace
}  // namespace quillpost
