#include "encoding/temp_file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>

#include "platform/temp_file.h"
#include "util/errors.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;

constexpr bool kPosix = fs::path::preferred_separator == '/';

TEST(TempFileStream, FreshFileInTheTempDirectoryGoneAfterFree) {
    std::string name;
    {
        TTempFileStream s;
        name = s.FileName();
        fs::path p(name);
        EXPECT_TRUE(fs::exists(p));
        EXPECT_EQ(fs::file_size(p), 0u);
        EXPECT_EQ(p.filename().string().rfind("ms", 0), 0u) << name;
        EXPECT_EQ((fs::path(platform::TempDirectory()) / p.filename()).lexically_normal(),
                  p.lexically_normal());
        EXPECT_EQ(s.Size(), 0);
        EXPECT_EQ(s.Position(), 0);
        if constexpr (kPosix) {
            EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
        } else {
            // Not shared with other openers.
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
    ASSERT_TRUE(fs::exists(bn));
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

// Random reads, writes and seeks, small and larger than the buffer, give the
// same bytes as a memory stream doing the same.
TEST(TempFileStream, BehavesLikeAMemoryStream) {
    std::mt19937 rng(42);
    TTempFileStream file;
    TMemoryStream model;
    std::string chunk, got, want;
    const std::size_t sizes[] = {1,
                                 7,
                                 100,
                                 2047,
                                 TTempFileStream::kBufferSize - 1,
                                 TTempFileStream::kBufferSize,
                                 3 * TTempFileStream::kBufferSize};
    for (int step = 0; step < 400; ++step) {
        std::size_t n = sizes[rng() % std::size(sizes)];
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
    EXPECT_EQ(fs::file_size(file.FileName()), static_cast<std::uintmax_t>(model.Size()));
    TMemoryStream back;
    back.CopyFrom(file, 0);
    EXPECT_EQ(back.Bytes(), model.Bytes());
    EXPECT_EQ(file.Seek(-3, SeekOrigin::End), model.Size() - 3);
    EXPECT_THROW(file.Seek(-1, SeekOrigin::Begin), EInOutError);
}

}  // namespace
}  // namespace quillpost
