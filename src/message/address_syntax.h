#pragma once
// The syntax of a mailbox as it goes into the envelope and the address
// headers (RFC 5321 Mailbox): a dot-string or quoted-string local part, "@",
// and a domain or an address literal. UTF-8 stands where RFC 6531 lets it (in
// atoms, quoted text and domain labels); whether the message may carry it is
// the sender's question, not this one's.
#include <string>
#include <string_view>

namespace quillpost {

// At most 254 octets: the 256 of an SMTP path less its angle brackets.
bool IsMailbox(std::string_view text);

// An ASCII host name: labels of letters, digits and inner hyphens, each at
// most 63 long, joined by dots; at most 253 in all (RFC 1035).
bool IsDnsName(std::string_view text);

// A display name that a reader takes as one phrase, exactly as written: atoms
// (with the dots of older names) and quoted strings, blanks between them.
// AnyByte takes every byte outside ASCII as a character of its own, for a
// name already in the message's character set (the ANSI code page among
// them); otherwise only well-formed UTF-8 counts.
bool IsPhrase(std::string_view text, bool anyByte = false);

// A mailbox alone, or a display name (possibly none) and the mailbox in angle
// brackets: what a single-address header such as Reply-To may hold.
bool IsAddressValue(std::string_view text);
// The mailbox of such a value: the text in the last angle brackets, or the
// whole text when it has none.
std::string_view MailboxOf(std::string_view text);

// Whether Name can be a header field name: printable ASCII without colon.
bool IsHeaderFieldName(std::string_view name);
// A header line of a caller's: a field name (printable ASCII but ":") and its
// colon, or a continuation that starts with a blank or a tab.
bool IsHeaderLine(std::string_view line);

// Why Text cannot stand in a header as it is, or nullptr when it can: a CR or
// LF that is not part of a fold (CR LF and a blank or tab), or another control
// character (the tab aside), NUL included.
const char* HeaderTextFault(std::string_view text);

// Text quoted for an error message: in double quotes, control characters as
// \r, \n, \t or \xNN, so a refused value shows what it held and starts no line
// of its own where the message is shown.
std::string QuotedForMessage(std::string_view text);
// QuotedForMessage, or "of N bytes" for a text too long to read in a message.
std::string ShownForMessage(std::string_view text);

}  // namespace quillpost
