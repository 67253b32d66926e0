#include "message/headers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quillpost {
namespace {

std::unique_ptr<TmsHeaders> Make(const StringVector& lines) {
    auto h = std::make_unique<TmsHeaders>();
    h->Lines() = lines;
    return h;
}

TEST(Headers, GetHeaderValue) {
    const auto h = Make({
        "Topic: not the recipient",
        "Subject: Hello",
        " world",
        "To: x@example.org",
        "X-Folded: one",
        "\tRe: two",
        "X-Tight:value",
        "X-Word: =?iso-8859-1?Q?caf=E9?= menu",
        "Content-Type: text/plain; name==?x?Q?a?=",
        "X-Empty:",
        "Subject: second",
    });
    struct Case {
        std::string name;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"subject", "Hello world"},
        {"Subject:", "Hello world"},
        {"SUBJECT", "Hello world"},
        {"To", "x@example.org"},
        {"Top", ""},
        // Folded lines join even when they hold a colon.
        {"X-Folded", "one Re: two"},
        // No blank after the colon loses nothing.
        {"x-tight", "value"},
        {"X-Word", "caf\xe9 menu"},
        // The content type is returned as it stands.
        {"content-type", "text/plain; name==?x?Q?a?="},
        {"X-Empty", ""},
        {"Missing", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetHeaderValue(*h, c.name), c.value) << c.name;
    EXPECT_EQ(GetHeaderValue(TmsHeaders(), "Subject"), "");

    const std::string longValue(300, 'v');
    const auto big =
        Make({"Subject: " + longValue, "Content-Type: " + longValue, "X-UIDL: " + longValue});
    EXPECT_EQ(GetHeaderValue(*big, "Subject"), std::string(255, 'v'));
    EXPECT_EQ(GetHeaderValue(*big, "Content-Type"), longValue);
    EXPECT_EQ(GetHeaderValue(*big, "x-uidl"), longValue);
}

TEST(Headers, GetHeaderValuesCollectsEveryItem) {
    struct Case {
        StringVector lines;
        std::string name;
        StringVector values;
    };
    const std::vector<Case> cases = {
        {{R"(To: "Doe, John" <j@x>, "Roe, Jane" <r@x>)"},
         "To",
         {R"("Doe, John" <j@x>)", R"("Roe, Jane" <r@x>)"}},
        // The name is a plain prefix: a header that begins with it contributes too.
        {{"To: a@x,", " b@x", "Cc: c@x", "TO: d@x , e@x", "Topic: z"},
         "TO",
         {"a@x", "b@x", "d@x", "e@x", "z"}},
        {{"To: a@x", "Topic: z"}, "To:", {"a@x"}},
        // A quoted name may be folded, and may hold an escaped quote.
        {{"To: \"Doe,", " John\" <j@x>, k@x"}, "To", {"\"Doe, John\" <j@x>", "k@x"}},
        {{R"(Cc: "A \", B" <a@x>, b@x)"}, "cc:", {R"("A \", B" <a@x>)", "b@x"}},
        {{"To: =?x?Q?J=F6rg?= <j@x>, , =?x?B?QQ==?= <a@x>,"}, "To", {"J\xf6rg <j@x>", "A <a@x>"}},
        {{"To:"}, "To", {}},
        {{}, "To", {}},
    };
    for (const auto& c : cases) {
        StringVector values = {"stale"};
        GetHeaderValues(*Make(c.lines), c.name, values);
        EXPECT_EQ(values, c.values) << c.lines.size() << " lines, " << c.name;
    }
}

TEST(Headers, RemoveHeaderTakesTheFirstWithItsContinuations) {
    TmsHeaders h;
    h.Lines() = {"X-A: 1", "Received: first",  " by a",  "\tfor b",
                 "X-B: 2", "received: second", " folded"};
    RemoveHeader(h, "Received:");
    EXPECT_EQ(h.Lines(), (StringVector{"X-A: 1", "X-B: 2", "received: second", " folded"}));
    RemoveHeader(h, "RECEIVED");
    EXPECT_EQ(h.Lines(), (StringVector{"X-A: 1", "X-B: 2"}));
    RemoveHeader(h, "X");  // matches no name: X-A is not X
    RemoveHeader(h, "Missing");
    EXPECT_EQ(h.Lines(), (StringVector{"X-A: 1", "X-B: 2"}));
    TmsHeaders empty;
    RemoveHeader(empty, "X-A");
    EXPECT_TRUE(empty.Empty());
}

TEST(Headers, GetParamValue) {
    struct Case {
        std::string param;
        std::string text;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"boundary", R"(multipart/mixed; boundary="abc")", "abc"},
        {"charset", "text/plain; charset=us-ascii; ", "us-ascii"},
        {"charset", "text/plain; charset=us-ascii;format=flowed", "us-ascii"},
        {"CHARSET", "text/plain; Charset = \"iso-8859-1\"", "iso-8859-1"},
        {"boundary", R"(multipart/mixed; boundary="a b;c)", "a b;c"},
        {"name", R"(attachment; filename="f.txt"; name="n.txt")", "n.txt"},
        {"name", R"(attachment; filename="f.txt")", ""},
        {"name", "application/x; name=", ""},
        {"name", "name=first", "first"},
        {"", "a=b", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetParamValue(c.param, c.text), c.value) << c.text;
}

TEST(Headers, FirstToken) {
    struct Case {
        std::string text;
        std::string token;
    };
    const std::string longType = "application/" + std::string(400, 'x');
    const std::vector<Case> cases = {
        {"text/plain; charset=x", "text/plain"},
        {"text/html;charset=x", "text/html"},
        {"multipart/mixed boundary=x", "multipart/mixed"},
        {"\t text/plain ; x", "text/plain"},
        {"", ""},
        // A token longer than a short text comes back whole.
        {longType + "; name=a", longType},
    };
    for (const auto& c : cases) EXPECT_EQ(FirstToken(c.text), c.token) << c.text;
}

}  // namespace
}  // namespace quillpost
