#include "cli/safe_file_name.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/utf8.h"

namespace quillpost::cli {
namespace {

TEST(SafeFileName, HostileNames) {
    const std::string longStem(300, 'x');
    const std::string longUtf8 = std::string(195, 'y') + "\xC3\xA9" + std::string(10, 'z') + ".pdf";
    const struct {
        std::string name;
        std::string safe;
    } cases[] = {
        {"report.pdf", "report.pdf"},
        {"caf\xC3\xA9 \xE6\x96\x87.txt", "caf\xC3\xA9 \xE6\x96\x87.txt"},
        {"../../x", "___.._x"},
        {"/etc/passwd", "_etc_passwd"},
        {"a\\b", "a_b"},
        {"C:\\Windows\\win.ini", "C__Windows_win.ini"},
        {"a\x1B[31mred\r\n.txt", "a_[31mred__.txt"},
        {std::string("nul\0byte", 8), "nul_byte"},
        {"del\x7F", "del_"},
        {"csi\xC2\x9B"
         "2J \xC2\xA0nbsp",
         "csi__2J \xC2\xA0nbsp"},
        {"", "attachment"},
        {".", "attachment"},
        {"..", "attachment"},
        {"...", "attachment"},
        {".bashrc", "_bashrc"},
        {"..hidden", "__hidden"},
        {"trailing. . ", "trailing"},
        {"a<b>c:d*e?f\"g|h", "a_b_c_d_e_f_g_h"},
        {"CON", "_CON"},
        {"nul.txt", "_nul.txt"},
        {"com1.tar.gz", "_com1.tar.gz"},
        {"com10.txt", "com10.txt"},
        {"console.txt", "console.txt"},
        {"latin1 caf\xE9.txt", "latin1 caf_.txt"},
        {"\xED\xA0\x80surrogate", "_surrogate"},
        {"truncated \xE6\x96", "truncated __"},
        // How the decoder hands over a name in the extended parameter notation.
        {"UTF-8''%E2%82%AC%20rates.pdf", "UTF-8''%E2%82%AC%20rates.pdf"},
        {longStem + ".txt", std::string(kSafeNameMax - 4, 'x') + ".txt"},
        {longStem + "." + std::string(40, 'e'), std::string(kSafeNameMax, 'x')},
        {longUtf8, std::string(195, 'y') + ".pdf"},  // not inside the é
    };
    for (const auto& c : cases) EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;
}

// Whatever a sender writes, the result is one plain, visible, portable name.
TEST(SafeFileName, AnyBytesGiveAPlainName) {
    std::mt19937 rng(20261209);
    constexpr char kAlphabet[] = "./\\:\0\x01\x1F\x7F\x80\xC3\xA9 aZ9";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    for (int round = 0; round < 20000; ++round) {
        std::string name;
        const std::size_t size = rng() % (round % 50 == 0 ? 400 : 12);
        for (std::size_t i = 0; i < size; ++i)
            name.push_back(rng() % 4 == 0 ? static_cast<char>(rng())
                                          : alphabet[rng() % alphabet.size()]);
        const std::string safe = SafeFileName(name);
        SCOPED_TRACE(name);
        ASSERT_FALSE(safe.empty());
        ASSERT_LE(safe.size(), kSafeNameMax);
        ASSERT_NE(safe.front(), '.');
        ASSERT_TRUE(safe.back() != '.' && safe.back() != ' ');
        ASSERT_EQ(StrictUtf8(safe, '_'), safe);
        for (char c : safe) {
            const auto u = static_cast<unsigned char>(c);
            ASSERT_TRUE(u >= 0x20 && u != 0x7F &&
                        std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos);
        }
        ASSERT_EQ(SafeFileName(safe), safe);  // nothing left to mend
    }
}

TEST(SafeFileName, NumberedNames) {
    const struct {
        const char* safe;
        unsigned number;
        const char* name;
    } cases[] = {
        {"a.txt", 1, "a.txt"},           {"a.txt", 2, "a (2).txt"},     {"a", 3, "a (3)"},
        {"a.tar.gz", 2, "a.tar (2).gz"}, {"_bashrc", 2, "_bashrc (2)"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberedFileName(c.safe, c.number), c.name) << c.safe;
}

}  // namespace
}  // namespace quillpost::cli
