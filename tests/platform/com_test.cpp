// The COM run-time functions the server and its hosts rely on. The same
// tests run against the system's own functions on Windows, so our layer is
// held to the system's behaviour.
#include "platform/com.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "mailer/com/com_ids.h"

namespace quillpost {
namespace {

TEST(ComStrings, ABstrKnowsItsLengthAndEndsInNul) {
    const char16_t text[] = u"a\0b\u00e9";
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 4u);  // the embedded NUL counts
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(platform::FromBstr(b), std::u16string(text, 4));
    SysFreeString(b);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(platform::FromBstr(nullptr), u"");
    BSTR empty = platform::ToBstr(u"");
    ASSERT_NE(empty, nullptr);  // empty, not null
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    SysFreeString(nullptr);
}

TEST(ComVariants, CopyDuplicatesTextAndClearEmpties) {
    VARIANT a;
    VARIANT b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_BSTR;
    a.bstrVal = platform::ToBstr(u"text");
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(b.vt, VT_BSTR);
    EXPECT_NE(b.bstrVal, a.bstrVal);
    EXPECT_EQ(platform::FromBstr(b.bstrVal), u"text");
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(platform::FromBstr(b.bstrVal), u"text");
    VariantClear(&b);
}

TEST(ComGuids, TextRoundTrip) {
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(com::kCLSID_Mailer, text, 39), 39);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)),
              u"{E7CEACC2-BD11-11D0-B7AD-080009AB4447}");
    EXPECT_EQ(StringFromGUID2(com::kCLSID_Mailer, text, 38), 0);

    std::u16string lower = u"{e7ceacc0-bd11-11d0-b7ad-080009ab4447}";
    CLSID back{};
    ASSERT_EQ(CLSIDFromString(reinterpret_cast<LPOLESTR>(lower.data()), &back), S_OK);
    EXPECT_TRUE(IsEqualGUID(back, com::kLIBID_Quillpost));
    for (std::u16string bad :
         {u"{E7CEACC2-BD11-11D0-B7AD-080009AB444}", u"E7CEACC2-BD11-11D0-B7AD-080009AB4447",
          u"{E7CEACC2-BD11-11D0-B7AD-080009AB44G7}"}) {
        EXPECT_TRUE(FAILED(CLSIDFromString(reinterpret_cast<LPOLESTR>(bad.data()), &back)));
    }
}

using platform::TBstr;
using platform::TComPtr;

// An object that only counts its references.
struct TCounted final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(ComHolders, EachHolderOwnsExactlyOneReference) {
    TCounted object;
    IUnknown* detached = nullptr;
    {
        auto held = TComPtr<IUnknown>::Adopt(&object);
        TComPtr<IUnknown> copy = held;
        EXPECT_EQ(object.refs, 2u);
        const TComPtr<IUnknown> moved = std::move(copy);
        EXPECT_EQ(object.refs, 2u);
        held.Out();  // a call about to hand one out: the old one goes first
        EXPECT_EQ(object.refs, 1u);
        held = TComPtr<IUnknown>::Share(moved.Get());
        held = held;
        EXPECT_EQ(object.refs, 2u);
        detached = held.Detach();
        EXPECT_FALSE(held);
    }
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(detached, &object);

    TBstr text(u"text");
    TBstr other = std::move(text);
    EXPECT_EQ(other.Text(), u"text");
    EXPECT_EQ(*other.Out(), nullptr);
    TBstr::Adopt(platform::ToBstr(u"freed by the holder"));
}

TComPtr<IErrorInfo> MakeError(std::u16string description) {
    TComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(create.Out()), S_OK);
    create->SetDescription(reinterpret_cast<LPOLESTR>(description.data()));
    TComPtr<IErrorInfo> info;
    create->QueryInterface(IID_IErrorInfo, info.OutVoid());
    return info;
}

std::u16string Description(const TComPtr<IErrorInfo>& info) {
    TBstr text;
    info->GetDescription(text.Out());
    return text.Text();
}

TEST(ComErrorInfo, BelongsToTheThreadAndIsTakenOnce) {
    ASSERT_EQ(SetErrorInfo(0, MakeError(u"first").Get()), S_OK);  // the thread holds its own

    HRESULT elsewhere = S_OK;
    std::thread other([&] {
        TComPtr<IErrorInfo> none;
        elsewhere = GetErrorInfo(0, none.Out());
    });
    other.join();
    EXPECT_EQ(elsewhere, S_FALSE);

    TComPtr<IErrorInfo> got;
    ASSERT_EQ(GetErrorInfo(0, got.Out()), S_OK);
    ASSERT_TRUE(got);
    EXPECT_EQ(Description(got), u"first");
    EXPECT_EQ(GetErrorInfo(0, got.Out()), S_FALSE);
    EXPECT_FALSE(got);

    // A newer record replaces an older one.
    SetErrorInfo(0, MakeError(u"older").Get());
    SetErrorInfo(0, MakeError(u"newer").Get());
    ASSERT_EQ(GetErrorInfo(0, got.Out()), S_OK);
    EXPECT_EQ(Description(got), u"newer");
}

}  // namespace
}  // namespace quillpost
