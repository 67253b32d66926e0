#pragma once
// Helpers for the composition tests: messages built field by field, composed
// into memory, and the composed text cut into its CR LF lines.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/article.h"
#include "message/message.h"
#include "util/stream.h"

namespace quillpost::test {

inline void AddAttachment(TmsCustomMessage& message, std::string_view fileName,
                          std::string_view contentType, TTransferEncoding encoding,
                          std::string bytes) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(fileName);
    // The test's own type and encoding, whatever the system's table says.
    item->SetContentType(contentType);
    item->SetTransferEncoding(encoding);
    item->Data().Assign(std::move(bytes));
    message.Attachments().Add(std::move(item));
}

// Sender Ann Lee, recipient Bob, subject Test and one extra header line.
inline void FillBasics(TmsMessage& message) {
    message.Sender().SetName("Ann Lee");
    message.Sender().SetAddress("ann@example.com");
    message.Recipients().AddAddress("bob@example.org", "Bob");
    message.Headers().Add("X-Sample: 1");
    message.SetSubject("Test");
}

inline std::string Compose(TmsCustomMessage& message) {
    TMemoryStream stream;
    message.EncodeToStream(stream);
    return stream.Bytes();
}

// What a receiving server stores: the doubled period of each line undone.
inline std::string Unstuffed(const std::string& sent) {
    std::string out;
    for (std::size_t i = 0; i < sent.size();) {
        std::size_t end = sent.find("\r\n", i);
        end = end == std::string::npos ? sent.size() : end + 2;
        if (sent[i] == '.') ++i;
        out.append(sent, i, end - i);
        i = end;
    }
    return out;
}

// The lines of a composed text, without their CR LF; a last piece without
// CR LF is kept as a line of its own.
inline std::vector<std::string> SplitCRLF(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find("\r\n", start);
        if (stop == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, stop - start));
        start = stop + 2;
    }
    return lines;
}

}  // namespace quillpost::test
