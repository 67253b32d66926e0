#pragma once
// An ordered list of byte strings that keeps duplicates: body lines, header
// lines, attachment paths, codec output. A plain standard vector, so no T
// prefix (TStrings is the persistent class that holds one).
#include <string>
#include <vector>

namespace quillpost {

using StringVector = std::vector<std::string>;

}  // namespace quillpost
