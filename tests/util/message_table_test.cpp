#include "util/message_table.h"

#include <gtest/gtest.h>

#include "util/errors.h"

namespace quillpost {
namespace {

TEST(MessageTable, LookupsAndFallback) {
    const std::pair<unsigned, std::string> cases[] = {
        {10061, "[10061] Connection refused"},
        {11001, "[11001] Host not found"},
        {10013, "[10013] Permission denied."},
        {10000, "[0] No Error"},
        {10101, "Error #10101"},
        {57000, "Operation timed out"},
        {57100, "The address of sender is required"},
        {57013, "Error #57013"},
        {0, "Error #0"},
    };
    for (const auto& [n, text] : cases) EXPECT_EQ(LoadMessage(n), text) << n;
    EXPECT_EQ(FormatMessage(msgFunctionNotFound, "recv"), "Function recv not found");
}

TEST(MessageTable, WinsockEntriesCarryTheirOwnCode) {
    for (unsigned n = 10001; n < 12000; ++n) {
        if (!HasMessage(n)) continue;
        EXPECT_EQ(LoadMessage(n).rfind("[" + std::to_string(n) + "] ", 0), 0u) << n;
    }
}

TEST(MessageTable, FixedTextExceptions) {
    EXPECT_STREQ(ETimedOutError().what(), "Operation timed out");
    EXPECT_STREQ(ECanceledError().what(), "Operation has been canceled");
}

}  // namespace
}  // namespace quillpost
