// The COM run-time functions the server and its hosts rely on. The same
// tests run against the system's own functions on Windows, so our layer is
// held to the system's behaviour.
#include "platform/com.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

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

IErrorInfo* MakeError(std::u16string description) {
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(reinterpret_cast<LPOLESTR>(description.data()));
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    create->Release();
    return info;
}

std::u16string Description(IErrorInfo* info) {
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::u16string r = platform::FromBstr(text);
    SysFreeString(text);
    return r;
}

TEST(ComErrorInfo, BelongsToTheThreadAndIsTakenOnce) {
    IErrorInfo* info = MakeError(u"first");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(SetErrorInfo(0, info), S_OK);
    info->Release();  // the thread holds its own reference

    HRESULT elsewhere = S_OK;
    std::thread other([&] {
        IErrorInfo* none = nullptr;
        elsewhere = GetErrorInfo(0, &none);
        if (none != nullptr) none->Release();
    });
    other.join();
    EXPECT_EQ(elsewhere, S_FALSE);

    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(Description(got), u"first");
    got->Release();
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
    EXPECT_EQ(got, nullptr);

    // A newer record replaces an older one.
    IErrorInfo* older = MakeError(u"older");
    IErrorInfo* newer = MakeError(u"newer");
    SetErrorInfo(0, older);
    SetErrorInfo(0, newer);
    older->Release();
    newer->Release();
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(Description(got), u"newer");
    got->Release();
}

}  // namespace
}  // namespace quillpost
