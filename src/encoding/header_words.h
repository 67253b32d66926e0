#pragma once
// Decoding of the encoded words of header text ("=?charset?B?...?=" and
// "=?charset?Q?...?="). The charset is not converted: the bytes are taken as
// they are, as all text of this system is single-byte.
#include <string>

namespace quillpost {

// Decodes every encoded word of Value in place. Blanks between two adjacent
// encoded words are dropped; all other text stays as it is. A malformed word
// is left as it stands and decoding goes on after it; decoded text is never
// decoded again. The result is cut to 255 characters once a word was decoded.
// A B word with a character outside the base64 alphabet is malformed.
void DecodeHeaderWords(std::string& value);

}  // namespace quillpost
