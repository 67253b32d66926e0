#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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
        for (int t = 0; t < kThreads; ++t)
            for (int n = 0; n < kKeysPerThread; ++n) RegistryDeleteKey(Key(t, n));
        for (const char* key :
             {"QuillpostTest\\A\\B", "QuillpostTest\\A", "QuillpostTest\\AB", "QuillpostTest"})
            RegistryDeleteKey(key);
    }
    static constexpr int kThreads = 6;
    static constexpr int kKeysPerThread = 8;
    static std::string Key(int thread, int n) {
        return "QuillpostTest\\T" + std::to_string(thread) + "_" + std::to_string(n);
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

// Servers registering on several threads at once lose none of each other's
// keys, and a reader meanwhile always finds what was there before.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    ASSERT_TRUE(RegistryWriteString("QuillpostTest\\AB", "", "kept"));
    std::vector<int> misses(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < kKeysPerThread; ++n) {
                misses[t] += !RegistryWriteString(Key(t, n), "v", std::to_string(n));
                misses[t] += RegistryReadString("QuillpostTest\\AB", "") != "kept";
            }
        });
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(misses[t], 0) << t;
        for (int n = 0; n < kKeysPerThread; ++n)
            EXPECT_EQ(RegistryReadString(Key(t, n), "v"), std::to_string(n)) << Key(t, n);
    }
}

}  // namespace
}  // namespace quillpost
