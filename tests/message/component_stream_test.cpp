#include "message/component_stream.h"

#include <gtest/gtest.h>

#include <sstream>

#include "message/address_list.h"
#include "message/component_text.h"
#include "util/errors.h"

namespace quillpost {
namespace {

using testing::Load;
using testing::Save;

TEST(ComponentStream, AddressListRoundTripKeepsDuplicatesAndBytes) {
    TmsAddressList list;
    list.AddAddress("a@x", "Ann");
    list.AddAddress("a@x", "Ann");
    list.AddAddress(std::string("\xE9\0z", 3), "");
    TmsAddressList back;
    back.AddAddress("stale@x", "");
    Load(Save(list), back);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Items(1).Name(), "Ann");
    EXPECT_EQ(back.Items(1).Address(), "a@x");
    EXPECT_EQ(back.Items(2).Address(), std::string("\xE9\0z", 3));
}

TEST(ComponentStream, EmptyListWritesNoItemsAndLoadingKeepsTarget) {
    TmsAddressList empty;
    const std::string bytes = Save(empty);
    EXPECT_EQ(bytes.find("Items"), std::string::npos);
    TmsAddressList target;
    target.AddAddress("keep@x", "Keep");
    Load(bytes, target);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Items(0).Address(), "keep@x");
}

TEST(ComponentStream, LongStringsAreCutWhenRead) {
    // A stream written by another tool may hold longer text than a short string.
    std::ostringstream out;
    ComponentWriter w(out);
    w.WriteSignature();
    w.WritePropName("TmsAddressList");
    w.WritePropName("Items");
    w.WriteListBegin();
    w.WriteString(std::string(300, 'n'));
    w.WriteString(std::string(300, 'a'));
    w.WriteListEnd();
    w.WriteEndOfProperties();
    TmsAddressList list;
    Load(out.str(), list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Name().size(), 255u);
    EXPECT_EQ(list.Items(0).Address().size(), 255u);
}

TEST(ComponentStream, ValuesRoundTripAndSkip) {
    std::ostringstream out;
    ComponentWriter w(out);
    w.WriteInteger(-123456);
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    w.WriteIdent("meUU");
    w.WriteListBegin();
    w.WriteString("nested");
    w.WriteListBegin();
    w.WriteInteger(1);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteString("after");
    std::istringstream in(out.str());
    ComponentReader r(in);
    EXPECT_EQ(r.ReadInteger(), -123456);
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_EQ(r.ReadIdent(), "meUU");
    r.SkipValue();
    EXPECT_EQ(r.ReadString(), "after");
}

TEST(ComponentStream, MalformedStreamsRaiseReadErrors) {
    TmsAddressList list;
    const std::string good = [] {
        TmsAddressList l;
        l.AddAddress("a@x", "A");
        return Save(l);
    }();
    // Every truncation of a valid stream fails cleanly.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_THROW(Load(good.substr(0, n), list), EReadError) << "cut at " << n;

    EXPECT_THROW(Load("XXXX", list), EReadError);
    TmsMailAddress address;
    EXPECT_THROW(Load(good, address), EReadError) << "class name must match";

    std::ostringstream out;
    ComponentWriter w(out);
    w.WriteSignature();
    w.WritePropName("TmsMailAddress");
    w.WritePropName("Nickname");
    w.WriteString("x");
    w.WriteEndOfProperties();
    try {
        Load(out.str(), address);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("Nickname"), std::string::npos);
    }

    std::string huge = good;
    // Damage the first string length into something absurd.
    huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';
    EXPECT_THROW(Load(huge, list), EReadError);
}

TEST(ComponentStream, NestedAddressUsesDottedNames) {
    TmsMailAddress a;
    a.SetName("N");
    std::ostringstream out;
    ComponentWriter w(out);
    a.WriteProperties(w, "Sender.");
    EXPECT_NE(out.str().find("Sender.Name"), std::string::npos);
    EXPECT_EQ(out.str().find("Address"), std::string::npos) << "defaults are not written";
}

}  // namespace
}  // namespace quillpost
