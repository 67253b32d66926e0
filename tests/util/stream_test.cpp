#include "util/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/file_access.h"
#include "temp_dir.h"
#include "util/errors.h"

namespace quillpost {
namespace {

TEST(MemoryStream, ReadWriteSeekAndOverwrite) {
    TMemoryStream s;
    s.WriteText("hello world");
    EXPECT_EQ(s.Size(), 11);
    s.SetPosition(6);
    s.WriteText("WORLD!");  // overwrites and grows
    EXPECT_EQ(s.Bytes(), "hello WORLD!");
    s.SetPosition(0);
    char buf[5];
    s.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    s.Seek(-1, SeekOrigin::End);
    EXPECT_EQ(s.Read(buf, 5), 1u);
    EXPECT_EQ(s.Read(buf, 5), 0u);
    EXPECT_THROW(s.ReadBuffer(buf, 1), EInOutError);
    EXPECT_THROW(s.Seek(-1, SeekOrigin::Begin), EInOutError);
}

TEST(MemoryStream, CopyFromWholeAndPart) {
    TMemoryStream src, dst;
    src.WriteText(std::string(200000, 'x') + "tail");
    EXPECT_EQ(dst.CopyFrom(src, 0), 200004);
    EXPECT_EQ(dst.Bytes(), src.Bytes());
    src.SetPosition(200000);
    TMemoryStream part;
    part.CopyFrom(src, 4);
    EXPECT_EQ(part.Bytes(), "tail");
}

TEST(MemoryStream, FilesRoundTripAndMissingFileNamesIt) {
    testing::TempDir dir;
    const std::string path = dir.PathOf("stream.bin");
    TMemoryStream s;
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    s.Assign(bytes);
    s.SaveToFile(path);
    TMemoryStream back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Bytes(), bytes);
    std::remove(path.c_str());
    try {
        back.LoadFromFile(path);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    EXPECT_EQ(back.Bytes(), bytes) << "a failed load leaves the stream as it was";
}

// The size a file reports is only where reading starts: a file that grew or
// shrank since, or reports nothing, still reads whole.
TEST(ReadToEnd, AnyExpectedSizeReadsTheWholeFile) {
    testing::TempDir dir;
    for (const std::size_t size : {0u, 1u, 65536u, 200001u}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
        const std::string path = dir.Write("file" + std::to_string(size), bytes);
        const auto n = static_cast<std::int64_t>(size);
        for (const std::int64_t expected :
             {std::int64_t{-1}, std::int64_t{0}, n, n / 2, n - 1, n + 1, 2 * n + 3}) {
            std::uint32_t error = 0;
            const auto file = platform::OpenInputFile(path, error);
            ASSERT_TRUE(file) << path;
            EXPECT_EQ(ReadToEnd(*file, expected, path), bytes)
                << "size " << size << ", expected " << expected;
        }
    }
}

TEST(ReadToEnd, AFileThatReportsNoSizeReadsWhole) {
    const std::string path = "/proc/self/cmdline";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path << " here";
    std::ifstream in(path, std::ios::binary);
    const std::string expected{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ReadWholeFile(path), expected);
}

}  // namespace
}  // namespace quillpost
