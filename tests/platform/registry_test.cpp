#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry_sandbox.h"

namespace quillpost {
namespace {

using platform::RegistryDeleteKey;
using platform::RegistryKeyExists;
using platform::RegistryReadString;
using platform::RegistryWriteString;

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* key :
             {"QuillpostTest\\A\\B", "QuillpostTest\\A", "QuillpostTest\\AB", "QuillpostTest"})
            RegistryDeleteKey(key);
    }
    testing::RegistrySandbox sandbox;
};

TEST_F(RegistryTest, ValuesAreStoredPerKeyAndNameWithoutRegardToCase) {
    ASSERT_TRUE(RegistryWriteString("QuillpostTest\\A\\B", "", "default"));
    ASSERT_TRUE(RegistryWriteString("QuillpostTest\\A\\B", "Named", "one"));
    ASSERT_TRUE(
        RegistryWriteString("quillposttest\\a\\b", "NAMED", "two"));  // same value, replaced
    // Text a line-oriented store must keep intact.
    const std::string awkward = "100% a\tb\r\nc\\d";
    ASSERT_TRUE(RegistryWriteString("QuillpostTest\\AB", "", awkward));

    EXPECT_EQ(RegistryReadString("QuillpostTest\\A\\B", ""), "default");
    EXPECT_EQ(RegistryReadString("QUILLPOSTTEST\\A\\B", "named"), "two");
    EXPECT_EQ(RegistryReadString("QuillpostTest\\AB", ""), awkward);
    EXPECT_FALSE(RegistryReadString("QuillpostTest\\A\\B", "Other"));
    EXPECT_FALSE(RegistryReadString("QuillpostTest\\A", ""));  // a parent without a value
    EXPECT_FALSE(RegistryReadString("QuillpostTest\\C", ""));
    EXPECT_TRUE(RegistryKeyExists("QuillpostTest\\A"));  // parents are created
    EXPECT_FALSE(RegistryKeyExists("QuillpostTest\\C"));
}

TEST_F(RegistryTest, OnlyKeysWithoutSubkeysAreDeleted) {
    ASSERT_TRUE(RegistryWriteString("QuillpostTest\\A\\B", "", "x"));
    ASSERT_TRUE(RegistryWriteString("QuillpostTest\\AB", "", "y"));
    EXPECT_FALSE(RegistryDeleteKey("QuillpostTest\\A"));  // still has B
    EXPECT_TRUE(RegistryDeleteKey("QuillpostTest\\A\\B"));
    EXPECT_FALSE(RegistryKeyExists("QuillpostTest\\A\\B"));
    EXPECT_FALSE(RegistryDeleteKey("QuillpostTest\\A\\B"));  // already gone
    EXPECT_TRUE(RegistryDeleteKey("QuillpostTest\\A"));
    // A sibling whose name starts like the deleted key is untouched.
    EXPECT_EQ(RegistryReadString("QuillpostTest\\AB", ""), "y");
}

}  // namespace
}  // namespace quillpost
