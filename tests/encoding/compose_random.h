#pragma once
// Random messages of every layout for the composition checks, with what a
// reader should recover from each: the leaf parts in order.
#include <random>
#include <string>
#include <vector>

#include "encoding/compose_helpers.h"
#include "message/message.h"

namespace quillpost::test {

enum class Layout { Text, Mixed, Alternative, Nested, Attachment, UU };
inline constexpr Layout kLayouts[] = {Layout::Text,   Layout::Mixed,      Layout::Alternative,
                                      Layout::Nested, Layout::Attachment, Layout::UU};

struct ExpectedPart {
    std::string type;
    std::string charset;
    std::string name;
    std::string payload;
    bool text;  // compared with line breaks normalised
};

class RandomMessages {
public:
    explicit RandomMessages(unsigned seed, bool breaksInBody) : gen_(seed), breaks_(breaksInBody) {}

    std::size_t Below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(gen_);
    }

    std::string Binary(std::size_t size) {
        std::string s(size, '\0');
        for (char& c : s) c = static_cast<char>(Below(256));
        return s;
    }

    // One line: printable bytes (and bytes 160..255 when High), periods and
    // "=" often, now and then a leading period, rarely long.
    std::string Line(bool high, std::size_t longest) {
        std::size_t length = Below(8) == 0 ? Below(longest + 1) : Below(90);
        std::string s;
        if (Below(4) == 0) s += '.';
        while (s.size() < length) {
            const std::size_t pick = Below(20);
            if (pick == 0)
                s += '.';
            else if (pick == 1)
                s += '=';
            else if (pick == 2)
                s += ' ';
            else if (pick == 3 && high)
                s += static_cast<char>(160 + Below(96));
            else if (pick == 4 && breaks_)
                s += "\r\n\r\n"[Below(4)];
            else
                s += static_cast<char>(33 + Below(94));
        }
        return s;
    }

    // Text as CR LF lines.
    std::string Text(bool high, std::size_t longest) {
        std::string s;
        const std::size_t lines = Below(40);
        for (std::size_t i = 0; i < lines; ++i) s += Line(high, longest) + "\r\n";
        return s;
    }

    // Fills M with a random message of Layout and returns its parts.
    std::vector<ExpectedPart> Fill(TmsMessage& m, Layout layout) {
        m.Sender().SetName(Below(2) ? "Ann Lee" : "A. Lee, Sales");
        m.Sender().SetAddress("ann@example.com");
        const char* names[] = {"Bob", "J. Smith", "Lee, Ann", "Team: Sales", ""};
        const std::size_t to = 1 + Below(3);
        for (std::size_t i = 0; i < to; ++i)
            m.Recipients().AddAddress("r" + std::to_string(i) + "@example.org", names[Below(5)]);
        m.SetSubject("Random " + std::to_string(Below(1000)));
        m.SetCharSet(Below(2) ? csISO8859 : csUSASCII);
        const bool iso = m.CharSet() == csISO8859;

        std::vector<ExpectedPart> parts;
        std::string body;
        if (layout != Layout::Attachment) {
            const std::size_t lines = 1 + Below(30);
            for (std::size_t i = 0; i < lines; ++i) {
                std::string line = Line(iso || layout == Layout::UU, 400);
                m.Body().Add(line);
                body += line + "\r\n";
            }
            parts.push_back({"text/plain",
                             layout == Layout::UU ? ""
                             : iso                ? "iso-8859-1"
                                                  : "us-ascii",
                             "", body, true});
        }
        if (layout == Layout::UU) {
            m.SetEncoding(meUU);
            const std::size_t files = Below(3);
            for (std::size_t i = 0; i < files; ++i) {
                std::string data = Binary(RandomSize());
                const std::string name = "f" + std::to_string(i) + ".bin";
                AddAttachment(m, "C:\\data\\" + name, "application/octet-stream", teBase64, data);
                parts.push_back({"application/x-uuencode", "", name, data, false});
            }
            return parts;
        }
        auto attach = [&](const std::string& name, bool named) {
            std::string type;
            std::string data;
            TTransferEncoding encoding;
            switch (Below(3)) {
                case 0:
                    type = "application/octet-stream";
                    encoding = teBase64;
                    data = Binary(RandomSize());
                    break;
                case 1:
                    type = "text/html";
                    encoding = teQuotedPrintable;
                    data = Text(true, 300);
                    break;
                default:
                    type = "text/plain";
                    encoding = te7Bit;
                    data = Text(false, 300);
                    // Now and then a line too long for seven bits.
                    if (Below(4) == 0) data += std::string(999 + Below(1500), 'x') + "\r\n";
                    break;
            }
            AddAttachment(m, "/home/u/" + name, type, encoding, data);
            parts.push_back({type, "", named ? name : "", data, encoding != teBase64});
        };
        switch (layout) {
            case Layout::Text:
                break;
            case Layout::Mixed:
                for (std::size_t i = 0, n = 1 + Below(3); i < n; ++i)
                    attach("file" + std::to_string(i) + ".dat", true);
                break;
            case Layout::Alternative:
                for (std::size_t i = 0, n = 1 + Below(2); i < n; ++i)
                    attach("_Alt." + std::to_string(i) + ".htm", false);
                break;
            case Layout::Nested:
                attach("_alt.htm", false);
                for (std::size_t i = 0, n = 1 + Below(2); i < n; ++i)
                    attach("other" + std::to_string(i) + ".dat", true);
                // A later "_alt." file is an ordinary attachment.
                if (Below(2)) attach("_alt.late.txt", true);
                break;
            case Layout::Attachment:
                attach("only.dat", true);
                break;
            case Layout::UU:
                break;
        }
        return parts;
    }

private:
    std::size_t RandomSize() {
        switch (Below(4)) {
            case 0:
                return 57 * Below(5);
            case 1:
                return 45 * Below(5);
            default:
                return Below(5000);
        }
    }

    std::mt19937 gen_;
    bool breaks_;
};

}  // namespace quillpost::test
