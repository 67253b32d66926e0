// libFuzzer target: files of any bytes, types and positions, under every
// layout and CharSet, composed and read back by our own decoder. Every file
// must come back byte for byte, and nothing may crash or throw.
//
// Input: a layout byte and a CharSet byte, then per file a type byte, two
// length bytes (little-endian) and that many content bytes, at most four.
#include <cstddef>
#include <cstdint>
#include <string>

#include "encoding/attachment_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpost;
    using namespace quillpost::test;
    if (size < 2) return 0;
    FileCase c;
    c.layout = static_cast<FileLayout>(data[0] % kFileLayoutCount);
    static const TCharSet charSets[] = {csUSASCII, csUTF8, csISO8859};
    c.charSet = charSets[data[1] % 3];
    std::size_t pos = 2;
    const std::size_t most = c.layout == FileLayout::Single ? 1 : 4;
    while (pos + 3 <= size && c.kinds.size() < most) {
        c.kinds.push_back(data[pos] % kFileKindCount);
        std::size_t length = data[pos + 1] | (static_cast<std::size_t>(data[pos + 2]) << 8);
        pos += 3;
        if (length > size - pos) length = size - pos;
        c.contents.emplace_back(reinterpret_cast<const char*>(data + pos), length);
        pos += length;
    }
    if (c.kinds.empty()) return 0;
    if (DecodeFiles(ComposeFiles(c)) != c.contents) __builtin_trap();
    return 0;
}
