#include "message/attachment_list.h"

#include <gtest/gtest.h>

#include <sstream>

#include "message/address_list.h"
#include "message/component_stream.h"
#include "message/component_text.h"
#include "message/test_files.h"
#include "util/errors.h"

namespace quillpost {
namespace {

using testing::Load;
using testing::Save;

TEST(AttItem, SetFileNameLooksUpTypeAndEncoding) {
    testing::MimeTableOverride table;
    struct Case {
        const char* name;
        const char* type;
        TTransferEncoding encoding;
    } cases[] = {
        {"C:\\docs\\report.txt", "text/plain", teQuotedPrintable},
        {"C:\\docs\\report.tpl", "Text/Plain", teQuotedPrintable},  // capitals kept
        {"/home/u/mail.eml", "message/rfc822", te7Bit},
        {"picture.GIF", "image/GIF", teBase64},
        {"backup.tar.gz", "application/gzip", teBase64},  // last dot only
        {"data.unknownext", "application/octet-stream", teBase64},
        {"README", "application/octet-stream", teBase64},
        {"dir.txt\\README", "application/octet-stream", teBase64},  // dot in a directory
        {"dir.txt/README", "application/octet-stream", teBase64},
        {"trailing.", "application/octet-stream", teBase64},
    };
    for (const auto& c : cases) {
        TmsAttItem item;
        item.SetFileName(c.name);
        EXPECT_EQ(item.ContentType(), c.type) << c.name;
        EXPECT_EQ(item.TransferEncoding(), c.encoding) << c.name;
    }
    // Whole texts only: a type with parameters goes in base64.
    EXPECT_EQ(TransferEncodingForContentType("text/plain; charset=us-ascii"), teBase64);
    EXPECT_STREQ(TransferEncodingName(TransferEncodingForContentType("TEXT/HTML")),
                 "Quoted-Printable");
}

TEST(AttItem, EmptyNameChangesOnlyTheFileName) {
    TmsAttItem item;
    item.SetFileName("x.bin");
    item.SetContentType("image/png");
    item.SetTransferEncoding(teQuotedPrintable);
    item.Data().WriteText("bytes");
    item.SetFileName("");
    EXPECT_EQ(item.FileName(), "");
    EXPECT_EQ(item.ContentType(), "image/png");
    EXPECT_EQ(item.TransferEncoding(), teQuotedPrintable);
    EXPECT_EQ(item.Data().Bytes(), "bytes");
}

TEST(AttList, AddFileReadsTheWholeFile) {
    testing::MimeTableOverride table;
    testing::TempDir dir;
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    const std::string path = dir.Write("big.gif", bytes);
    TmsAttList list;
    list.AddFile(path);
    list.AddFile(path);  // duplicates are kept
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(1).Data().Bytes(), bytes);
    EXPECT_EQ(list.Items(1).FileName(), path);
    EXPECT_EQ(list.Items(1).ContentType(), "image/GIF");
    EXPECT_THROW(list.Items(2), EListError);
}

TEST(AttList, UnreadableFileNamesItAndLeavesTheListAlone) {
    testing::TempDir dir;
    const std::string missing = dir.PathOf("missing.bin");
    TmsAttList list;
    list.AddFile(dir.Write("present.bin", "x"));
    try {
        list.AddFile(missing);
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(missing), std::string::npos) << text;
        EXPECT_EQ(text.rfind("Cannot open file", 0), 0u) << text;
    }
    // Only regular files: a pipe would block, a device might never end.
    for (const std::string& name : testing::SpecialFiles(dir)) {
        try {
            list.AddFile(name);
            ADD_FAILURE() << name << " attached";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.what(), "Cannot read file \"" + name + "\": not a regular file");
        }
    }
    EXPECT_EQ(list.Count(), 1);
}

TEST(AttList, AssignMakesFullCopies) {
    TmsAttList source;
    for (const char* name : {"one.bin", "two.bin"}) {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(name);
        item->SetTransferEncoding(teQuotedPrintable);
        item->Data().WriteText(name);
        source.Add(std::move(item));
    }
    TmsAttList target;
    target.Add(std::make_unique<TmsAttItem>());
    target.Assign(source);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.Items(1).FileName(), "two.bin");
    EXPECT_EQ(target.Items(1).TransferEncoding(), teQuotedPrintable);
    target.Items(1).Data().Clear();
    EXPECT_EQ(source.Items(1).Data().Bytes(), "two.bin");

    target.Assign(target);  // to itself: entries survive
    EXPECT_EQ(target.Count(), 2);
    EXPECT_THROW(target.Assign(TmsAddressList()), EConvertError);
    EXPECT_THROW(target.Items(0).Assign(TmsMailAddress()), EConvertError);
}

TEST(AttList, ItemsStreamKeepsNamesTypesAndEncodingsButNoBytes) {
    testing::MimeTableOverride table;
    EXPECT_EQ(Save(TmsAttList()).find("Items"), std::string::npos);
    TmsAttList list;
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName("notes.txt");
    item->SetContentType("Text/Enriched");  // not what the lookup gives
    item->SetTransferEncoding(te7Bit);
    item->Data().WriteText("not streamed");
    list.Add(std::move(item));
    const std::string bytes = Save(list);
    EXPECT_EQ(bytes.find("not streamed"), std::string::npos);
    TmsAttList back;
    back.Add(std::make_unique<TmsAttItem>());  // replaced, not kept
    Load(bytes, back);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Items(0).FileName(), "notes.txt");
    EXPECT_EQ(back.Items(0).ContentType(), "Text/Enriched");
    EXPECT_EQ(back.Items(0).TransferEncoding(), te7Bit);
}

TEST(AttList, StreamedEncodingOutsideTheTableIsRejected) {
    // The encoder indexes its name table with this value.
    for (std::int32_t value : {-1, 3}) {
        std::ostringstream out;
        ComponentWriter w(out);
        w.WriteSignature();
        w.WritePropName("TmsAttList");
        w.WritePropName("Items");
        w.WriteListBegin();
        w.WriteString("a.bin");
        w.WriteString("application/x");
        w.WriteInteger(value);
        w.WriteListEnd();
        w.WriteEndOfProperties();
        TmsAttList list;
        EXPECT_THROW(Load(out.str(), list), EReadError) << value;
    }
}

}  // namespace
}  // namespace quillpost
