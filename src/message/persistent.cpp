#include "message/persistent.h"

#include "util/errors.h"

namespace quillpost {

void TPersistent::Assign(const TPersistent& source) { source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent& dest) const {
    throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + dest.ClassName());
}

void TPersistent::WriteProperties(ComponentWriter&, const std::string&) const {}

bool TPersistent::ReadProperty(ComponentReader&, std::string_view) { return false; }

bool SplitPropertyName(std::string_view name, std::string_view& head, std::string_view& rest) {
    auto dot = name.find('.');
    if (dot == std::string_view::npos) {
        head = name;
        rest = {};
        return false;
    }
    head = name.substr(0, dot);
    rest = name.substr(dot + 1);
    return true;
}

}  // namespace quillpost
