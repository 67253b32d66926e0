#include "message/mail_address.h"

#include <gtest/gtest.h>

#include "message/address_list.h"
#include "util/errors.h"

namespace quillpost {
namespace {

struct SplitCase {
    std::string text;
    std::string name;
    std::string address;
};

TEST(SplitAddress, Table) {
    const SplitCase cases[] = {
        {"Jo Smith <box@x.test>", "Jo Smith", "box@x.test"},
        {"<box@x.test>", "", "box@x.test"},
        {"\"Smith, Jo\" <box@x.test>", "Smith, Jo", "box@x.test"},
        {"box@x.test (Jo Smith)", "Jo Smith", "box@x.test"},
        {"box@x.test", "", "box@x.test"},
        {"Jo <box@x.test> ", "Jo", "box@x.test>"},
        {"Jo < box@x.test >", "Jo", "box@x.test"},
        // The bare form is stored untrimmed, quotes included.
        {" \"box@x.test\" ", "", " \"box@x.test\" "},
        // "<" wins over "(" even when it comes later.
        {"a (b) <c>", "a (b)", "c"},
        // A bracket as the last character leaves nothing inside it.
        {"Jo <", "Jo", ""},
        {"box (", "", "box"},
        {"", "", ""},
        // Quotes inside brackets are stripped from both ends only.
        {"\" Jo \" <\"b\"ox\">", " Jo ", "b\"ox"},
    };
    for (const auto& c : cases) {
        TmsMailAddress a;
        a.SetName("old name");
        SplitAddress(c.text, a);
        EXPECT_EQ(a.Name(), c.name) << "text: [" << c.text << "]";
        EXPECT_EQ(a.Address(), c.address) << "text: [" << c.text << "]";
    }
}

TEST(SplitAddress, LongPartsAreCut) {
    TmsMailAddress a;
    SplitAddress(std::string(300, 'n') + " <" + std::string(300, 'b') + ">", a);
    EXPECT_EQ(a.Name(), std::string(255, 'n'));
    EXPECT_EQ(a.Address(), std::string(255, 'b'));
}

TEST(TrimQuotes, Table) {
    const std::pair<std::string, std::string> cases[] = {
        {"  \"Jo\"  ", "Jo"},         {"\"\" Jo \"\"", " Jo "},
        {"\t\r\nJo\x01", "Jo"},       {"\"\"\"", ""},
        {"Jo \"x\" y", "Jo \"x\" y"}, {"", ""},
        {"\xA0Jo\xA0", "\xA0Jo\xA0"},  // only codes 0..32 are trimmed
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(TrimQuotes(in), out) << "[" << in << "]";
}

TEST(MailAddress, FieldsAreCutAt255AndClearEmptiesBoth) {
    TmsMailAddress a;
    a.SetAddress(std::string(300, 'x'));
    a.SetName(std::string(255, 'y'));
    EXPECT_EQ(a.Address().size(), 255u);
    EXPECT_EQ(a.Name().size(), 255u);
    a.Edit();  // no dialog: unchanged
    EXPECT_EQ(a.Address().size(), 255u);
    a.Clear();
    EXPECT_TRUE(a.Name().empty());
    EXPECT_TRUE(a.Address().empty());
}

TEST(MailAddress, AssignCopiesAndRejectsOtherClasses) {
    TmsMailAddress a, b;
    a.SetName("Ann");
    a.SetAddress("ann@x");
    b.Assign(a);
    EXPECT_EQ(b.Name(), "Ann");
    EXPECT_EQ(b.Address(), "ann@x");
    b.Assign(b);
    EXPECT_EQ(b.Name(), "Ann");

    TmsAddressList list;
    try {
        b.Assign(list);
        FAIL() << "assigning a list to an address must fail";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TmsAddressList to a TmsMailAddress");
    }
    EXPECT_EQ(b.Name(), "Ann");
    EXPECT_THROW(list.Assign(a), EConvertError);
}

TEST(AddressList, AddKeepsOrderAndDuplicates) {
    TmsAddressList list;
    list.AddAddress("b@x", "B");
    list.AddAddress("b@x", "B");
    auto own = std::make_unique<TmsMailAddress>();
    own->SetAddress("c@x");
    EXPECT_EQ(list.Add(std::move(own)), 2);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Address(), "b@x");
    EXPECT_EQ(list.Items(0).Name(), "B");
    EXPECT_EQ(list.Items(1).Address(), "b@x");
    EXPECT_EQ(list.Items(2).Address(), "c@x");
}

TEST(AddressList, IndexOutsideRangeRaises) {
    TmsAddressList list;
    EXPECT_THROW(list.Items(0), EListError);
    list.AddAddress("a@x", "");
    EXPECT_NO_THROW(list.Items(0));
    EXPECT_THROW(list.Items(1), EListError);
    EXPECT_THROW(list.Items(-1), EListError);
}

TEST(AddressList, AssignIsDeepAndEmptySourceEmptiesTarget) {
    TmsAddressList src, dst;
    src.AddAddress("a@x", "A");
    src.AddAddress("b@x", "B");
    dst.AddAddress("old@x", "Old");
    dst.Assign(src);
    ASSERT_EQ(dst.Count(), 2);
    src.Items(0).SetName("changed");
    EXPECT_EQ(dst.Items(0).Name(), "A") << "entries must be copies, not shared";
    EXPECT_NE(&dst.Items(0), &src.Items(0));

    TmsAddressList empty;
    dst.Assign(empty);
    EXPECT_EQ(dst.Count(), 0);
    dst.Clear();  // on an empty list: nothing happens
    EXPECT_EQ(dst.Count(), 0);
}

}  // namespace
}  // namespace quillpost
