#pragma once
// Base of the message model's persistent objects: copying with Assign and
// saving/loading published properties through a component stream.
#include <string>
#include <string_view>

#include "base/non_copyable.h"

namespace quillpost {

class ComponentWriter;
class ComponentReader;

class TPersistent : private TNonCopyable {
public:
    virtual ~TPersistent() = default;

    virtual const char* ClassName() const = 0;

    // Copies Source into this object. The base lets Source try AssignTo and
    // otherwise raises the incompatible-assignment error.
    virtual void Assign(const TPersistent& source);

    // Writes the published properties that differ from their defaults, plus
    // the custom stream properties. Nested owned objects use "Owner.Prop".
    virtual void WriteProperties(ComponentWriter& writer, const std::string& prefix) const;

    // Reads the value of the property Name; false when the class has no such
    // property (the caller then reports the stream as malformed).
    virtual bool ReadProperty(ComponentReader& reader, std::string_view name);

    // Runs after the object was read from a component stream.
    virtual void Loaded() {}

protected:
    // Copies this object into Dest; the base raises the incompatible-assignment error.
    virtual void AssignTo(TPersistent& dest) const;
};

// Splits "Sender.Name" into "Sender" and "Name"; Rest is empty when there is no dot.
bool SplitPropertyName(std::string_view name, std::string_view& head, std::string_view& rest);

}  // namespace quillpost
