#pragma once
// HTML as plain text, for the text part of a message whose script gave only
// HTML, and HTML made safe for a character set that is not UTF-8.
#include <string>
#include <string_view>

namespace quillpost {

// The text a reader sees in Html (UTF-8 in and out), lines ended by LF:
// paragraphs, headings and preformatted blocks stand apart by an empty line;
// breaks, divisions, list items (marked "* "), table rows and other blocks
// end a line; table cells are set apart by a space; a link reads
// "text <url>" (the URL once when it is the text, none for a "#", "cid:" or
// "javascript:" link); an image reads as its alt text. Character references
// are decoded, white space collapses as a browser collapses it (not inside
// <pre>), and scripts, styles, titles, comments and control characters are
// dropped. One pass over the input: an unclosed tag, comment or script ends
// the text there, as it does in a browser.
std::string HtmlToText(std::string_view html);

// Html (UTF-8) with each character outside ASCII written as a numeric
// character reference, so that the page reads the same in any character set
// that holds ASCII.
std::string HtmlInAscii(std::string_view html);

}  // namespace quillpost
