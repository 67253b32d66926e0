#pragma once
// An ordered list of byte strings that keeps duplicates: body lines, header
// lines, attachment paths, codec output.
#include <string>
#include <vector>

namespace quillpost {

using TStringList = std::vector<std::string>;

}  // namespace quillpost
