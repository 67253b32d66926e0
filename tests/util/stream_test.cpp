#include "util/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

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

}  // namespace
}  // namespace quillpost
