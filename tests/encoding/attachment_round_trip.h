#pragma once
// One message of files, composed and read back by our own decoder: the
// round trip that the property test and the fuzz target share. Every file
// must come back byte for byte.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoding/compose_helpers.h"
#include "message/message.h"
#include "util/stream.h"

namespace quillpost::test {

// Types by extension, with the transfer encoding the attachment table gives
// each, fixed here so that Windows and Linux compose the same; and seven-bit
// text, as a decoded message's entry may be.
struct FileKind {
    const char* extension;
    const char* contentType;
    TTransferEncoding encoding;
};
inline constexpr FileKind kFileKinds[] = {{".txt", "text/plain", teQuotedPrintable},
                                          {".html", "text/html", teQuotedPrintable},
                                          {".rtf", "text/rtf", teQuotedPrintable},
                                          {".csv", "text/csv", teBase64},
                                          {".bin", "application/octet-stream", teBase64},
                                          {".jpg", "image/jpeg", teBase64},
                                          {".eml", "message/rfc822", te7Bit},
                                          {".log", "text/plain", te7Bit}};
inline constexpr std::size_t kFileKindCount = std::size(kFileKinds);

// Mixed: a text and named files. Alternative: a text and "_alt." files only.
// Nested: "_alt." files first, then named ones. Single: one file, no text.
// UU: a text and uuencoded files.
enum class FileLayout { Mixed, Alternative, Nested, Single, UU };
inline constexpr std::size_t kFileLayoutCount = 5;

struct FileCase {
    FileLayout layout = FileLayout::Mixed;
    TCharSet charSet = csUSASCII;
    std::vector<std::size_t> kinds;  // into kFileKinds
    std::vector<std::string> contents;
};

inline std::string FileNameOf(const FileCase& c, std::size_t i) {
    const bool alternative =
        c.layout == FileLayout::Alternative || (c.layout == FileLayout::Nested && i == 0);
    return (alternative ? "_alt." : "file") + std::to_string(i) + kFileKinds[c.kinds[i]].extension;
}

inline std::string ComposeFiles(const FileCase& c) {
    TmsMessage m;
    m.Sender().SetAddress("ann@example.com");
    m.Recipients().AddAddress("bob@example.org", "Bob");
    m.SetSubject("Files");
    m.SetCharSet(c.charSet);
    if (c.layout == FileLayout::UU) m.SetEncoding(meUU);
    if (c.layout != FileLayout::Single) m.Body().Add("See the files.");
    for (std::size_t i = 0; i < c.kinds.size(); ++i) {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName("/home/u/" + FileNameOf(c, i));
        item->SetContentType(kFileKinds[c.kinds[i]].contentType);
        item->SetTransferEncoding(kFileKinds[c.kinds[i]].encoding);
        item->Data().Assign(c.contents[i]);
        m.Attachments().Add(std::move(item));
    }
    TMemoryStream out;
    m.EncodeToStream(out);
    return out.Bytes();
}

inline std::vector<std::string> DecodeFiles(const std::string& composed) {
    TMemoryStream stored;
    stored.Assign(Unstuffed(composed));
    TmsMessage m;
    m.DecodeFromStream(stored);
    std::vector<std::string> files;
    for (std::int32_t i = 0; i < m.Attachments().Count(); ++i)
        files.push_back(m.Attachments().Items(i).Data().Bytes());
    return files;
}

}  // namespace quillpost::test
