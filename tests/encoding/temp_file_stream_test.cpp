#include "encoding/temp_file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/failing_operations.h"
#include "platform/temp_file.h"
#include "util/errors.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;

constexpr bool kPosix = fs::path::preferred_separator == '/';

// What the file itself holds, asked of its handle without moving it.
std::int64_t OnDiskSize(const TTempFileStream& s) {
    const std::int64_t at = platform::SeekFileTo(s.Handle(), 0, platform::FileSeekOrigin::Current);
    const std::int64_t end = platform::SeekFileTo(s.Handle(), 0, platform::FileSeekOrigin::End);
    platform::SeekFileTo(s.Handle(), at, platform::FileSeekOrigin::Begin);
    return end;
}

TEST(TempFileStream, FreshFileInTheTempDirectoryGoneAfterFree) {
    std::string name;
    {
        TTempFileStream s;
        name = s.FileName();
        fs::path p(name);
        EXPECT_EQ(p.filename().string().rfind("ms", 0), 0u) << name;
        EXPECT_EQ((fs::path(platform::TempDirectory()) / p.filename()).lexically_normal(),
                  p.lexically_normal());
        EXPECT_EQ(s.Size(), 0);
        EXPECT_EQ(s.Position(), 0);
        EXPECT_EQ(OnDiskSize(s), 0);
        if constexpr (kPosix) {
            // Nameless at once, so even a killed process leaves nothing.
            EXPECT_FALSE(fs::exists(p));
        } else {
            // Deleted by the system at close; not shared with other openers.
            EXPECT_TRUE(fs::exists(p));
            std::ifstream other(name);
            EXPECT_FALSE(other.is_open());
        }
    }
    EXPECT_FALSE(fs::exists(name));
}

TEST(TempFileStream, TwoStreamsTwoFilesEachRemovesOnlyItsOwn) {
    auto a = std::make_unique<TTempFileStream>();
    auto b = std::make_unique<TTempFileStream>();
    std::string an = a->FileName(), bn = b->FileName();
    EXPECT_NE(an, bn);
    a->WriteText("first");
    b->WriteText("second");
    a.reset();
    EXPECT_FALSE(fs::exists(an));
    b->SetPosition(0);
    char buf[6];
    b->ReadBuffer(buf, 6);
    EXPECT_EQ(std::string(buf, 6), "second");
    b.reset();
    EXPECT_FALSE(fs::exists(bn));
}

TEST(TempFileStream, FileGoneWhenAnExceptionEndsTheWork) {
    std::string name;
    try {
        TTempFileStream s;
        name = s.FileName();
        s.WriteText(std::string(200000, 'x'));  // past the buffer: on disk already
        throw std::runtime_error("composition failed");
    } catch (const std::runtime_error&) {
    }
    ASSERT_FALSE(name.empty());
    EXPECT_FALSE(fs::exists(name));
}

TEST(TempFileStream, UncreatableFileRaisesAndLeavesNothing) {
    fs::path dir = fs::temp_directory_path() / "qp_no_such_dir" / "";
    platform::SetTempDirectoryOverride(dir.string());
    try {
        TTempFileStream s;
        ADD_FAILURE() << "created " << s.FileName();
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file " + dir.string(), 0), 0u)
            << e.what();
    }
    platform::SetTempDirectoryOverride({});
    EXPECT_FALSE(fs::exists(dir));
}

// A write the file takes only in part fails, whether it went through the
// buffer or straight to the file.
TEST(TempFileStream, ShortWriteRaises) {
    struct Case {
        std::size_t size;
        int failingWrite;
        std::int64_t kept;
    };
    constexpr std::size_t kFull = TTempFileStream::kBufferSize;
    for (const Case& c : {Case{100, 1, 101 / 2}, Case{kFull, 2, 1 + kFull / 2},
                          Case{3 * kFull, 2, 1 + 3 * kFull / 2}}) {
        TTempFileStream s;
        testing::NthOperationFails fault(c.failingWrite, platform::FaultPoint::TempFileWrite);
        try {
            s.WriteText("a");
            const std::string bytes(c.size, 'x');
            s.Write(bytes.data(), bytes.size());
            s.Flush();
            ADD_FAILURE() << c.size << " bytes written";
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "Stream write error");
        }
        EXPECT_EQ(fault.failed, platform::FaultPoint::TempFileWrite) << c.size;
        EXPECT_EQ(s.Size(), c.kept) << c.size;
    }
}

// Random reads, writes and seeks give the same bytes as a memory stream doing
// the same: with pieces around and beyond the buffer's size, and with small
// pieces only, where seeks and reads mostly land in bytes still buffered.
void CheckAgainstMemoryStream(unsigned seed, const std::vector<std::size_t>& sizes) {
    std::mt19937 rng(seed);
    TTempFileStream file;
    TMemoryStream model;
    std::string chunk, got, want;
    for (int step = 0; step < 400; ++step) {
        std::size_t n = sizes[rng() % sizes.size()];
        switch (rng() % 4) {
            case 0:
            case 1:
                chunk.assign(n, static_cast<char>('a' + step % 26));
                ASSERT_EQ(file.Write(chunk.data(), n), n);
                model.Write(chunk.data(), n);
                break;
            case 2:
                got.assign(n, '\0');
                want.assign(n, '\0');
                got.resize(file.Read(got.data(), n));
                want.resize(model.Read(want.data(), n));
                ASSERT_EQ(got, want) << "step " << step;
                break;
            default: {
                auto to = static_cast<std::int64_t>(rng() % (model.Size() + 1));
                ASSERT_EQ(file.Seek(to, SeekOrigin::Begin), model.Seek(to, SeekOrigin::Begin));
            }
        }
        ASSERT_EQ(file.Position(), model.Position()) << "step " << step;
        ASSERT_EQ(file.Size(), model.Size()) << "step " << step;
    }
    file.Flush();
    EXPECT_EQ(OnDiskSize(file), model.Size());
    TMemoryStream back;
    back.CopyFrom(file, 0);
    EXPECT_EQ(back.Bytes(), model.Bytes());
    EXPECT_EQ(file.Seek(-3, SeekOrigin::End), model.Size() - 3);
    EXPECT_THROW(file.Seek(-1, SeekOrigin::Begin), EInOutError);
}

TEST(TempFileStream, BehavesLikeAMemoryStream) {
    const std::vector<std::size_t> mixed = {1,
                                            7,
                                            100,
                                            2047,
                                            TTempFileStream::kBufferSize - 1,
                                            TTempFileStream::kBufferSize,
                                            3 * TTempFileStream::kBufferSize};
    const std::vector<std::size_t> small = {1, 3, 50, 700};
    for (unsigned seed : {42u, 7u, 1234u}) {
        SCOPED_TRACE(seed);
        CheckAgainstMemoryStream(seed, mixed);
        CheckAgainstMemoryStream(seed, small);
    }
}

// The send path: compose, go back to the start, read it all, then the file
// still gets every byte once asked to, and writing on works.
TEST(TempFileStream, ReadingBackBufferedBytesKeepsThemForTheFile) {
    TTempFileStream file;
    const std::string text = "From: a@example.test\r\n\r\nbody\r\n";
    file.WriteText(text);
    file.SetPosition(0);
    std::string got(4096, '\0');
    got.resize(file.Read(got.data(), got.size()));
    EXPECT_EQ(got, text);
    EXPECT_EQ(file.Read(got.data(), 1), 0u);
    file.WriteText("more");
    file.Flush();
    EXPECT_EQ(OnDiskSize(file), static_cast<std::int64_t>(text.size() + 4));
    TMemoryStream back;
    back.CopyFrom(file, 0);
    EXPECT_EQ(back.Bytes(), text + "more");
}

// A kept session's next message reuses the file: nothing of the longer
// text before it may show, whether it was on disk or still buffered.
TEST(TempFileStream, ClearedForTheNextText) {
    for (std::size_t before : {std::size_t{100}, 3 * TTempFileStream::kBufferSize + 5}) {
        TTempFileStream file;
        file.WriteText(std::string(before, 'o'));
        file.SetPosition(1);
        ASSERT_TRUE(file.Clear());
        file.WriteText("next");
        file.Flush();
        EXPECT_EQ(OnDiskSize(file), 4) << before;
        TMemoryStream back;
        back.CopyFrom(file, 0);
        EXPECT_EQ(back.Bytes(), "next") << before;
    }
}

}  // namespace
}  // namespace quillpost
