#include "util/string_helpers.h"

#include <gtest/gtest.h>

#include "util/errors.h"

namespace quillpost {
namespace {

struct WordCase {
    int n;
    std::string text;
    TByteSet delims;
    int position;
    std::string word;
};

class WordTable : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordTable, FindsTheNthWord) {
    const WordCase& c = GetParam();
    EXPECT_EQ(WordPosition(c.n, c.text, c.delims), c.position) << c.n << " of \"" << c.text << '"';
    EXPECT_EQ(ExtractWord(c.n, c.text, c.delims), c.word) << c.n << " of \"" << c.text << '"';
}

const TByteSet kSemicolon{std::string_view(";")};

INSTANTIATE_TEST_SUITE_P(
    Cases, WordTable,
    ::testing::Values(
        WordCase{1, "host1, host2;host3", kHostSeparators, 1, "host1"},
        WordCase{2, "host1, host2;host3", kHostSeparators, 7, " host2"},  // blanks are kept
        WordCase{3, "host1, host2;host3", kHostSeparators, 14, "host3"},
        WordCase{4, "host1, host2;host3", kHostSeparators, 0, ""},
        WordCase{0, "host1, host2;host3", kHostSeparators, 0, ""},
        WordCase{-1, "host1, host2;host3", kHostSeparators, 0, ""},
        WordCase{2, "a;;b", kSemicolon, 4, "b"},  // a run is one separator
        WordCase{1, ";;a;", kSemicolon, 3, "a"},  // leading ones make no word
        WordCase{2, ";;a;", kSemicolon, 0, ""},   // nor do trailing ones
        WordCase{1, "\r\n\r\ntext", kLineEnds, 5, "text"},
        WordCase{1, "first\r\nsecond", kLineEnds, 1, "first"},
        WordCase{2, "first\r\nsecond", kLineEnds, 8, "second"}, WordCase{1, "", kLineEnds, 0, ""},
        WordCase{1, ";;;", kSemicolon, 0, ""},
        WordCase{1, "no delimiters", kSemicolon, 1, "no delimiters"},
        WordCase{1, std::string("a\0b", 3), kPathSeparators, 1, "a"},  // NUL is a byte like others
        WordCase{1, "\xE9t\xE9;x", kSemicolon, 1, "\xE9t\xE9"}));      // bytes above 127

TEST(WordPosition, SixteenBitLimit) {
    const std::string longest(65535, 'x');
    EXPECT_EQ(WordPosition(1, longest, kHostSeparators), 1);
    EXPECT_EQ(ExtractWord(1, longest, kHostSeparators).size(), 65535u);
    EXPECT_EQ(WordPosition(2, ";" + std::string(65533, 'x') + ";", kSemicolon), 0);

    const std::string tooLong(65536, 'x');
    for (int n : {0, 1, 2}) {
        try {
            WordPosition(n, tooLong, kHostSeparators);
            ADD_FAILURE() << "no range error for word " << n;
        } catch (const ERangeError& e) {
            EXPECT_STREQ(e.what(), "Range check error");
        }
        EXPECT_THROW(ExtractWord(n, tooLong, kLineEnds), ERangeError);
    }
}

struct DirCase {
    std::string path;
    std::string directory;
};

void PrintTo(const DirCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class DirectoryOfTable : public ::testing::TestWithParam<DirCase> {};

TEST_P(DirectoryOfTable, GivesTheDirectoryPart) {
    EXPECT_EQ(DirectoryOf(GetParam().path), GetParam().directory) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectoryOfTable,
    ::testing::Values(DirCase{"", ""},                         //
                      DirCase{"pgp.exe", ""},                  // bare name
                      DirCase{"C:\\pgp\\pgp.exe", "C:\\pgp"},  // no trailing backslash
                      DirCase{"C:\\pgp.exe", "C:\\"},          // a drive root keeps it
                      DirCase{"C:pgp.exe", "C:"},              //
                      DirCase{"\\pgp.exe", "\\"},              // first character alone
                      DirCase{"\\\\srv\\share\\pgp.exe", "\\\\srv\\share"},
                      DirCase{"C:\\pgp\\", "C:\\pgp"},                // ends in a separator
                      DirCase{"C:\\", "C:\\"},                        //
                      DirCase{"a:b\\c", "a:b"},                       //
                      DirCase{"/usr/bin/gpg", ""},                    // "/" is no separator here
                      DirCase{std::string("dir\0name", 8), "dir"}));  // NUL is one

}  // namespace
}  // namespace quillpost
