#include "platform/content_type.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "message/test_files.h"

namespace quillpost {
namespace {

TEST(ContentTypeTable, LooksUpExtensionsAsTheTableWritesThem) {
    testing::TempDir dir;
    const std::string table = dir.Write("types", testing::kTestMimeTable);
    const std::pair<const char*, const char*> cases[] = {
        {".txt", "text/plain"},  // the first line listing txt wins
        {".text", "text/plain"},
        {".tpl", "Text/Plain"},
        {".gif", "image/GIF"},
        {".htm", "text/html"},
        {".TXT", "text/plain"},
        {".Gz", "application/gzip"},
        {".unknown", ""},
        {".", ""},
        {"", ""},
        {"txt", ""},
        {".x-no-extensions", ""},
        {".comment", ""},
    };
    for (const auto& [extension, expected] : cases)
        EXPECT_EQ(platform::ContentTypeFromTable(table, extension), expected) << extension;
    EXPECT_EQ(platform::ContentTypeFromTable(dir.PathOf("absent"), ".txt"), "");
}

// The table is read once and kept, but a changed table, a table that goes
// away and another table are each seen at the next lookup.
TEST(ContentTypeTable, AChangedTableIsReadAgain) {
    testing::TempDir dir;
    const std::string table = dir.Write("types", "text/x-one one\n");
    const std::string other = dir.Write("other", "text/x-other one\n");
    EXPECT_EQ(platform::ContentTypeFromTable(table, ".one"), "text/x-one");
    EXPECT_EQ(platform::ContentTypeFromTable(table, ".one"), "text/x-one");
    EXPECT_EQ(platform::ContentTypeFromTable(other, ".one"), "text/x-other");
    EXPECT_EQ(platform::ContentTypeFromTable(table, ".one"), "text/x-one");
    dir.Write("types", "text/x-changed one two\n");
    EXPECT_EQ(platform::ContentTypeFromTable(table, ".two"), "text/x-changed");
    EXPECT_EQ(platform::ContentTypeFromTable(table, ".one"), "text/x-changed");
    std::filesystem::remove(table);
    EXPECT_EQ(platform::ContentTypeFromTable(table, ".one"), "");
}

TEST(ContentTypeTable, OverrideSteersTheLookupAndCanBeUndone) {
    {
        testing::MimeTableOverride table("application/x-quillpost-test qpzq\n");
        EXPECT_EQ(platform::RegisteredContentType(".qpzq"), "application/x-quillpost-test");
    }
    EXPECT_EQ(platform::RegisteredContentType(".qpzq"), "");
}

TEST(ContentTypeTable, SystemSource) {
    // Both the Windows registry (Wine's too) and Debian's table know plain text.
    EXPECT_EQ(platform::RegisteredContentType(".txt"), "text/plain");
    EXPECT_EQ(platform::RegisteredContentType(".TXT"), "text/plain");
    EXPECT_EQ(platform::RegisteredContentType(".qp-no-such-extension-9z"), "");
    EXPECT_EQ(platform::RegisteredContentType("."), "");
}

}  // namespace
}  // namespace quillpost
