#include "encoding/line_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace quillpost {
namespace {

using Lines = std::vector<std::string>;

std::unique_ptr<TLineStream> Loaded(const std::string& text, std::uint16_t chunkSize) {
    TMemoryStream source;
    source.Assign(text);
    source.SetPosition(3 % (text.size() + 1));  // loading starts at the beginning anyway
    auto s = std::make_unique<TLineStream>(source);
    s->SetChunkSize(chunkSize);
    return s;
}

// Reads up to the end marker (bounded), and checks that it stays there.
Lines ReadAll(TLineStream& s) {
    Lines lines;
    for (int guard = 0; guard < 100000; ++guard) {
        std::string line = s.NextLine();
        if (line == TLineStream::EndMarker) break;
        EXPECT_FALSE(s.AtEnd());
        lines.push_back(line);
    }
    EXPECT_TRUE(s.AtEnd());
    EXPECT_EQ(s.NextLine(), TLineStream::EndMarker);
    EXPECT_EQ(s.NextLine(), TLineStream::EndMarker);
    EXPECT_TRUE(s.AtEnd());
    return lines;
}

TEST(LineStream, BreaksAndLastLineAtEveryChunkSize) {
    struct Case {
        std::string text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"\r\n", {""}},
        {"one\r\ntwo\r\n", {"one", "two"}},
        {"one\ntwo\n", {"one", "two"}},
        {"one\rtwo\r", {"one", "two"}},
        {"a\r\n\r\nb\n\nc\r\rd", {"a", "", "b", "", "c", "", "d"}},
        {"a\n\rb", {"a", "", "b"}},  // LF CR is two breaks
        {"last line without break", {"last line without break"}},
        {"x\r\nlast", {"x", "last"}},
        {"x\r\nlast\r", {"x", "last"}},
        {std::string("nul\0inside\n", 11), {std::string("nul\0inside", 10)}},
        {"\xFF\xFF\xFF\n", {"\xFF\xFF\xFF"}},
    };
    for (const auto& c : cases) {
        // Every chunk size up to past the length puts a chunk end at every place.
        for (std::size_t size = 1; size <= c.text.size() + 2; ++size) {
            auto sp = Loaded(c.text, static_cast<std::uint16_t>(size));
            TLineStream& s = *sp;
            EXPECT_EQ(ReadAll(s), c.lines) << "chunk " << size << " text " << c.text;
        }
        auto sp = Loaded(c.text, TLineStream::kDefaultChunkSize);
        TLineStream& s = *sp;
        EXPECT_EQ(ReadAll(s), c.lines);
    }
}

TEST(LineStream, ContentOfExactlyOneChunk) {
    std::string text;
    while (text.size() < 16384 - 100) text += std::string(98, 'x') + "\r\n";
    text += std::string(16384 - text.size() - 2, 'y') + "\r\n";
    ASSERT_EQ(text.size(), 16384u);
    auto sp = Loaded(text, TLineStream::kDefaultChunkSize);
    TLineStream& s = *sp;
    std::string first = s.NextLine();
    EXPECT_FALSE(s.LastChunk());
    EXPECT_EQ(s.Position(), 16384);
    std::size_t count = s.Lines().size();
    for (std::size_t i = 1; i < count; ++i) s.NextLine();
    EXPECT_EQ(s.Lines().back(), std::string(16384 - 100 * (count - 1) - 2, 'y'));
    EXPECT_FALSE(s.AtEnd());
    EXPECT_EQ(s.NextLine(), TLineStream::EndMarker);
    EXPECT_TRUE(s.AtEnd());
    EXPECT_TRUE(s.LastChunk());
}

TEST(LineStream, LinesAcrossAndBeyondChunks) {
    // The straddling line is left for the next chunk and comes whole.
    auto sp = Loaded("abc\ndefghij\nk\n", 8);
    TLineStream& s = *sp;
    EXPECT_EQ(s.NextLine(), "abc");
    EXPECT_EQ(s.Lines(), Lines{"abc"});
    EXPECT_EQ(s.Position(), 4);
    EXPECT_EQ(s.NextLine(), "defghij");

    // A line longer than a chunk is taken whole rather than lost.
    std::string big(40000, 'L');
    auto tp = Loaded("a\n" + big + "\r\nb\r\n" + big, TLineStream::kDefaultChunkSize);
    TLineStream& t = *tp;
    EXPECT_EQ(ReadAll(t), (Lines{"a", big, "b", big}));
}

TEST(LineStream, ResetAndRereadTheBytes) {
    const std::string text = "From: a\r\n\r\nbody\r\n";
    auto sp = Loaded(text, 5);
    TLineStream& s = *sp;
    Lines first = ReadAll(s);
    s.Reset();
    EXPECT_EQ(s.LineIndex(), -1);
    EXPECT_FALSE(s.AtEnd());
    EXPECT_EQ(ReadAll(s), first);
    // The decoder keeps a failed message by copying the bytes again.
    TMemoryStream copy;
    copy.CopyFrom(s, 0);
    EXPECT_EQ(copy.Bytes(), text);
}

}  // namespace
}  // namespace quillpost
