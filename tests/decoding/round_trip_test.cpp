// Random messages of every layout, composed by our own encoder, carried as an
// SMTP server stores them (the leading period of a stuffed line removed) and
// decoded again: the parties, subject, body lines and attachments come back.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "encoding/compose_helpers.h"
#include "message/message.h"
#include "util/errors.h"

namespace quillpost {
namespace {

enum class Layout { Text, Mixed, Alternative, Nested, SingleAttachment, UUEncoded };
constexpr Layout kLayouts[] = {
    Layout::Text,     Layout::Mixed, Layout::Alternative, Layout::Nested, Layout::SingleAttachment,
    Layout::UUEncoded};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::string Word(bool latin) {
        static const char* const words[] = {"mail", "line", "x",  ".",     "..",   "=",     "=3D",
                                            "end",  "a.b",  "  ", "tab\t", "100%", "\"q\"", "<p>"};
        std::string w = words[Below(14)];
        if (latin && Below(4) == 0) w += static_cast<char>(0xE0 + Below(32));
        return w;
    }

    std::string Line(bool latin, int maxWords) {
        std::string line;
        const int n = Below(maxWords + 1);
        for (int i = 0; i < n; ++i) line += (i ? " " : "") + Word(latin);
        // Lines that the layouts read as markup are not body text.
        if (line.rfind("--", 0) == 0 || line.rfind("begin", 0) == 0) line = "x" + line;
        return line;
    }

    std::string Binary() {
        static const int sizes[] = {0, 1, 2, 44, 45, 46, 57, 58, 300, 4000};
        std::string out(static_cast<std::size_t>(sizes[Below(10)]), '\0');
        for (char& c : out) c = static_cast<char>(Below(256));
        return out;
    }

    // Text with CR LF breaks, ending in one: what seven-bit and
    // quoted-printable attachments carry unchanged.
    std::string TextData(bool latin) {
        std::string out;
        for (int i = 1 + Below(5); i > 0; --i) out += Line(latin, 8) + "\r\n";
        return out;
    }

private:
    std::mt19937 rng_;
};

struct Case {
    Layout layout;
    TmsMessage message;
};

void AddAttachment(TmsMessage& m, const std::string& name, const std::string& contentType,
                   TTransferEncoding encoding, const std::string& data) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(name);
    if (!contentType.empty()) item->SetContentType(contentType);
    item->SetTransferEncoding(encoding);
    item->Data().Assign(data);
    m.Attachments().Add(std::move(item));
}

void AddNamedAttachment(Generator& g, TmsMessage& m, int index, bool latin) {
    switch (g.Below(3)) {
        case 0:
            AddAttachment(m, "data" + std::to_string(index) + ".bin", "", teBase64, g.Binary());
            break;
        case 1:
            AddAttachment(m, "notes" + std::to_string(index) + ".txt", "", teQuotedPrintable,
                          g.TextData(latin));
            break;
        default:
            AddAttachment(m, "page" + std::to_string(index) + ".csv", "", te7Bit,
                          g.TextData(false));
            break;
    }
}

void AddAlternative(Generator& g, TmsMessage& m, bool latin) {
    const std::string name = "_alt." + std::to_string(m.Attachments().Count());
    if (g.Below(2) == 0)
        AddAttachment(m, name, "text/html", teQuotedPrintable, g.TextData(latin));
    else
        AddAttachment(m, name, "image/png", teBase64, g.Binary());
}

void Fill(Generator& g, Layout layout, TmsMessage& m) {
    const bool latin = g.Below(2) == 0 && layout != Layout::UUEncoded;
    m.SetCharSet(latin ? csISO8859 : csUSASCII);
    m.Sender().SetName(g.Below(2) ? "Ann Lee" : "J. Smith");
    m.Sender().SetAddress("ann@example.com");
    for (int i = 0, n = 1 + g.Below(3); i < n; ++i)
        m.Recipients().AddAddress("to" + std::to_string(i) + "@example.com",
                                  i == 1 ? "Bob B. Brown" : "");
    for (int i = 0, n = g.Below(3); i < n; ++i)
        m.CC().AddAddress("cc" + std::to_string(i) + "@example.com", "Carl");
    m.SetSubject("Round trip " + std::to_string(g.Below(1000)));
    m.SetPriority(static_cast<TPriority>(g.Below(3)));
    m.SetReturnReceipt(g.Below(2) == 0);
    if (layout != Layout::SingleAttachment)
        for (int i = 0, n = 1 + g.Below(6); i < n; ++i) m.Body().Add(g.Line(latin, 12));
    switch (layout) {
        case Layout::Text:
            break;
        case Layout::Mixed:
            for (int i = 0, n = 1 + g.Below(3); i < n; ++i) AddNamedAttachment(g, m, i, latin);
            break;
        case Layout::Alternative:
            for (int i = 0, n = 1 + g.Below(2); i < n; ++i) AddAlternative(g, m, latin);
            break;
        case Layout::Nested:
            for (int i = 0, n = 1 + g.Below(2); i < n; ++i) AddAlternative(g, m, latin);
            for (int i = 0, n = 1 + g.Below(2); i < n; ++i) AddNamedAttachment(g, m, i, latin);
            break;
        case Layout::SingleAttachment:
            AddNamedAttachment(g, m, 0, latin);
            break;
        case Layout::UUEncoded:
            // Without a file the text carries no sign of the layout.
            m.SetEncoding(meUU);
            for (int i = 0, n = 1 + g.Below(2); i < n; ++i)
                AddAttachment(m, "file" + std::to_string(i) + ".dat", "", teBase64, g.Binary());
            break;
    }
}

std::vector<std::string> Parties(const TmsAddressList& list) {
    std::vector<std::string> out;
    for (std::int32_t i = 0; i < list.Count(); ++i)
        out.push_back(list.Items(i).Name() + " <" + list.Items(i).Address() + ">");
    return out;
}

TEST(DecoderRoundTrip, RandomMessagesOfEveryLayoutComeBack) {
    Generator g(20261208);
    for (int round = 0; round < 40; ++round) {
        for (Layout layout : kLayouts) {
            SCOPED_TRACE("round " + std::to_string(round) + " layout " +
                         std::to_string(static_cast<int>(layout)));
            TmsMessage original;
            Fill(g, layout, original);
            TMemoryStream sent;
            original.EncodeToStream(sent);
            TMemoryStream stored;
            stored.Assign(test::Unstuffed(sent.Bytes()));
            TmsMessage decoded;
            decoded.DecodeFromStream(stored);

            EXPECT_EQ(decoded.Sender().Name(), original.Sender().Name());
            EXPECT_EQ(decoded.Sender().Address(), original.Sender().Address());
            EXPECT_EQ(Parties(decoded.Recipients()), Parties(original.Recipients()));
            EXPECT_EQ(Parties(decoded.CC()), Parties(original.CC()));
            EXPECT_EQ(decoded.Subject(), original.Subject());
            EXPECT_EQ(decoded.Priority(), original.Priority());
            EXPECT_EQ(decoded.ReturnReceipt(), original.ReturnReceipt());
            EXPECT_EQ(decoded.Encoding(), original.Encoding());

            // Every layout but the single text part sets the text off from
            // what follows with one empty line, which the decoder keeps.
            std::vector<std::string> body = original.Body().Lines();
            if (layout != Layout::Text && layout != Layout::SingleAttachment &&
                original.Attachments().Count() > 0)
                body.push_back("");
            EXPECT_EQ(decoded.Body().Lines(), body) << sent.Bytes();
            if (layout != Layout::UUEncoded && layout != Layout::SingleAttachment) {
                EXPECT_EQ(decoded.CharSet(), original.CharSet());
            }

            ASSERT_EQ(decoded.Attachments().Count(), original.Attachments().Count())
                << sent.Bytes();
            for (std::int32_t i = 0; i < original.Attachments().Count(); ++i) {
                const TmsAttItem& want = original.Attachments().Items(i);
                const TmsAttItem& got = decoded.Attachments().Items(i);
                SCOPED_TRACE("attachment " + want.FileName());
                EXPECT_EQ(got.FileName(), want.FileName());
                EXPECT_EQ(got.ContentType(), want.ContentType());
                if (layout != Layout::UUEncoded) {
                    EXPECT_EQ(got.TransferEncoding(), want.TransferEncoding());
                }
                EXPECT_EQ(got.Data().Bytes(), want.Data().Bytes());
            }
            EXPECT_EQ(decoded.ContentType(), original.ContentType());
        }
    }
}

}  // namespace
}  // namespace quillpost
