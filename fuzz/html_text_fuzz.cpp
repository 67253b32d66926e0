// libFuzzer target: any page turned into text and into ASCII HTML. Nothing
// may crash or hang; the text holds no control character but LF and TAB and is
// UTF-8 when the page is, and the ASCII page is ASCII.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "encoding/html_text.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const std::string text = quillpost::HtmlToText(page);
    for (char c : text) Check(c == '\n' || c == '\t' || !quillpost::IsAsciiControl(c));
    if (quillpost::IsUtf8(page)) Check(quillpost::IsUtf8(text));
    Check(quillpost::IsAscii(quillpost::HtmlInAscii(page)));
    return 0;
}
