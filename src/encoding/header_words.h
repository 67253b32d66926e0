#pragma once
// Encoded words of header text ("=?charset?B?...?=" and "=?charset?Q?...?=").
// Decoding does not convert the charset: the bytes are taken as they are
// (a UTF-8 word gives the core's own text). Writing is for UTF-8 messages.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillpost {

// The longest line SMTP and RFC 5322 allow, CR LF not counted.
inline constexpr std::size_t kMaxLine = 998;

// Decodes every encoded word of Value in place. Blanks between two adjacent
// encoded words are dropped; all other text stays as it is. A malformed word
// is left as it stands and decoding goes on after it; decoded text is never
// decoded again. The result is cut to 255 characters once a word was decoded.
// A B word with a character outside the base64 alphabet is malformed.
void DecodeHeaderWords(std::string& value);

// A header parameter in its extended form, on lines of its own: "CR LF TAB
// name*=utf-8''..." or, for a long value, numbered continuations, each line
// under 78 characters, no UTF-8 character split.
std::string WriteExtendedParam(std::string_view name, std::string_view value,
                               std::string_view charset = "utf-8");

// The ASCII stand-in for a UTF-8 file name: each character outside ASCII, and
// each quote, backslash or control, becomes "_".
std::string AsciiFallbackName(std::string_view name);

// What a header text is, for the writer: plain text (Subject), a caller's own
// line (where "<...>" and words with "@" are addresses, never encoded), or the
// display name of an address, which is encoded whole. In the first two only
// the runs of words that need it are encoded.
enum class THeaderText { Text, Mixed, Phrase };

// Builds one header of a UTF-8 message: Prefix ("Subject:  ") and then Text,
// with every run of words that needs it written as encoded words (Q or B,
// whichever is shorter, blanks inside the words, each at most 75 characters,
// never splitting a character), and folded with CR LF and a blank so that
// lines stay under 78 characters where the words allow. Addresses are never
// encoded; Suffix (" <ann@example.org>,") is appended as one unbreakable word.
std::string WriteHeaderWords(std::string_view prefix, std::string_view text, THeaderText kind,
                             std::string_view suffix = {});

// A header line as it may go out: unchanged when none of its lines passes 998
// octets. A longer one is folded at white space; a word that is too long
// even on a line of its own goes as encoded words in Charset when the header
// is free text (Subject, Comments, an X- header) and the word no address.
// Otherwise raises EMessageError naming the header.
std::string FitHeaderLine(std::string_view line, std::string_view charset);

}  // namespace quillpost
