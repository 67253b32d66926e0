#pragma once
// The message's list of further header lines, one physical line per item
// (continuation lines begin with a blank or a tab), and the routines that
// look lines up by name (ASCII case-insensitive prefix match).
#include <string>
#include <string_view>

#include "message/strings.h"

namespace quillpost {

class TmsHeaders : public TStrings {
public:
    const char* ClassName() const override { return "TmsHeaders"; }
};

// Value of the first line named Name, continuation lines joined, encoded words
// decoded. Empty when there is no such line.
std::string GetHeaderValue(const TStrings& headers, std::string_view name);

// Every comma-separated item of every line beginning with Name (and its
// continuation lines); quoted commas never split an item.
void GetHeaderValues(const TStrings& headers, std::string_view name, StringVector& values);

// Deletes the first line named Name together with its continuation lines.
void RemoveHeader(TStrings& headers, std::string_view name);

// Value of a parameter such as boundary or name inside a header value.
std::string GetParamValue(std::string_view paramName, std::string_view text);

// The leading token of a header value, such as the media type.
std::string FirstToken(std::string_view text);

}  // namespace quillpost
