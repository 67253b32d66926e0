#include "message/strings.h"

#include <gtest/gtest.h>

#include <sstream>

#include "message/component_stream.h"
#include "message/headers.h"
#include "util/errors.h"

namespace quillpost {
namespace {

TEST(Strings, InsertDeleteAndIndexErrors) {
    TStrings s;
    s.Add("b");
    s.Insert(0, "a");
    s.Insert(2, "c");  // at Count: append
    EXPECT_EQ(s.Lines(), (StringVector{"a", "b", "c"}));
    s.Delete(1);
    EXPECT_EQ(s.Lines(), (StringVector{"a", "c"}));
    EXPECT_THROW(s.Insert(3, "x"), EListError);
    EXPECT_THROW(s.Delete(2), EListError);
    EXPECT_THROW(s[-1], EListError);
    EXPECT_EQ(s.Count(), 2);
}

TEST(Strings, AssignAndStreamAcrossClasses) {
    TmsHeaders h;
    h.Add("X-A: 1");
    h.Add("\tcontinued");
    h.Add("X-A: 1");
    TStrings copy;
    copy.Add("old");
    copy.Assign(h);  // a header list is a string list
    EXPECT_EQ(copy.Lines(), h.Lines());

    std::ostringstream out;
    WriteComponent(out, h);
    TmsHeaders back;
    std::istringstream in(out.str());
    ReadComponent(in, back);
    EXPECT_EQ(back.Lines(), h.Lines());

    TmsHeaders none;
    std::ostringstream empty;
    WriteComponent(empty, none);
    EXPECT_EQ(empty.str().find("Strings"), std::string::npos);
}

}  // namespace
}  // namespace quillpost
