// Turning a 1 MB HTML page (a long newsletter: headings, paragraphs, links,
// tables, lists, references, a style and a script) into the text part,
// beside peers in the same run on the same page: Python's html2text
// (python3-html2text), a converter on Python's html.parser, and w3m -dump
// (a whole process, start to exit). Best of several turns each.
// Ends with one "ratio PEER VALUE" line a peer: its time over ours.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "encoding/html_text.h"
#include "peer_runner.h"

namespace {

using namespace quillpost;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPageSize = 1000 * 1000;
constexpr int kTurns = 5;

std::string Page() {
    std::mt19937 gen(7);
    const char* words[] = {"the",
                           "mail",
                           "caf&eacute;",
                           "offer",
                           "&amp;",
                           "news",
                           "week",
                           "your",
                           "&#8364;10",
                           "reader",
                           "price",
                           "letter",
                           "more",
                           "from",
                           "Stra\xC3\x9F"
                           "e",
                           "&nbsp;",
                           "&ldquo;new&rdquo;"};
    auto sentence = [&] {
        std::string s;
        for (int n = 3 + static_cast<int>(gen() % 12); n > 0; --n) {
            s += words[gen() % std::size(words)];
            s += gen() % 9 == 0 ? "\n  " : " ";
        }
        return s;
    };
    std::string page =
        "<!DOCTYPE html><html><head><title>News</title><style>p{margin:0}td{padding:4px}"
        "</style><script>var a = 1 < 2;</script></head><body>\n";
    for (int section = 0; page.size() < kPageSize; ++section) {
        page += "<h2>Section " + std::to_string(section) + "</h2>\n<p>" + sentence() +
                "<a href=\"https://example.com/item?id=" + std::to_string(section) +
                "&amp;ref=mail\">" + sentence() + "</a> " + sentence() + "<br>" + sentence() +
                "</p>\n<table><tr><td>" + sentence() + "</td><td><b>" + sentence() +
                "</b></td></tr></table>\n<ul><li>" + sentence() + "</li><li>" + sentence() +
                "</li></ul><!-- tracking " + std::to_string(gen()) +
                " -->\n<div><img src=\"cid:x\" "
                "alt=\"" +
                sentence() + "\"></div>\n";
    }
    return page + "</body></html>\n";
}

constexpr const char* kPeerScript = R"PY(
import sys, time
from html.parser import HTMLParser
page = open(sys.argv[1], encoding="utf-8").read()

class Text(HTMLParser):
    BLOCK = {"p", "div", "br", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6", "table", "ul", "ol"}
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.out, self.skip, self.href = [], 0, None
    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style", "title"): self.skip += 1
        elif tag in self.BLOCK: self.out.append("\n")
        elif tag == "a": self.href = dict(attrs).get("href")
    def handle_endtag(self, tag):
        if tag in ("script", "style", "title"): self.skip -= 1
        elif tag in self.BLOCK: self.out.append("\n")
        elif tag == "a" and self.href: self.out.append(" <%s>" % self.href); self.href = None
    def handle_data(self, data):
        if not self.skip: self.out.append(" ".join(data.split()))

def parser():
    t = Text(); t.feed(page); t.close(); return "".join(t.out)

def best(f, turns):
    times = []
    for _ in range(turns):
        start = time.perf_counter(); f(); times.append(time.perf_counter() - start)
    return min(times)

import html2text
h = lambda: html2text.HTML2Text(bodywidth=0).handle(page)
print("html2text %.3f" % (best(h, 3) * 1e3))
print("html_parser %.3f" % (best(parser, 5) * 1e3))
)PY";

double BestMs(const auto& run, int turns) {
    double best = 1e300;
    for (int i = 0; i < turns; ++i) {
        const auto start = Clock::now();
        run();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    const std::string page = Page();
    const bench::PeerFolder folder("html_text");
    const std::string file = folder.Write("page.html", page);
    std::size_t textSize = 0;
    const double ours = BestMs([&] { textSize = HtmlToText(page).size(); }, kTurns);
    std::map<std::string, double> peers;
    std::string output;
    if (folder.RunPython(kPeerScript, {file}, &output)) {
        std::istringstream lines(output);
        std::string name;
        double ms = 0;
        while (lines >> name >> ms) peers[name] = ms;
    } else {
        std::printf("peer python (html2text, html.parser) did not run\n");
    }
    const std::string w3m = "w3m -dump -T text/html -cols 1000 '" + file + "' > /dev/null 2>&1";
    if (std::system("command -v w3m > /dev/null") == 0)
        peers["w3m"] = BestMs([&] { benchmark::DoNotOptimize(std::system(w3m.c_str())); }, 3);

    std::printf("HTML to text, a %.2f MB page, best of several turns\n", page.size() / 1e6);
    std::printf("  %-12s %10.2f ms  (%zu bytes of text)\n", "quillpost", ours, textSize);
    for (const auto& [name, ms] : peers)
        std::printf("  %-12s %10.2f ms  %8.1fx ours\n", name.c_str(), ms, ms / ours);
    for (const auto& [name, ms] : peers)
        std::printf("ratio html_text_vs_%s %.2f\n", name.c_str(), ms / ours);
}
