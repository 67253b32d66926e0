#pragma once
// The component stream: a small binary form for saving and loading the
// published properties of the message model's components.
//
// Format (all integers little-endian):
//   stream    := "QPC1" component
//   component := class-name:str property* end
//   property  := name:str value        (name is dotted for nested objects,
//                                       e.g. "Sender.Address")
//   end       := str of length 0       (an empty property name)
//   str       := u32 length, bytes     (raw bytes, no terminator)
//   value     := tag payload
//     0x00 list-end     (no payload)
//     0x01 list-begin   (no payload; values follow until list-end)
//     0x02 integer      i32
//     0x03 string       str
//     0x04 false        (no payload)
//     0x05 true         (no payload)
//     0x06 enumeration  str (the value's identifier, e.g. "meUU")
// Properties still at their default are not written; a property absent from
// a stream keeps the value the object had before loading.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace quillpost {

class TPersistent;

enum class ValueType : std::uint8_t {
    ListEnd = 0,
    ListBegin = 1,
    Integer = 2,
    String = 3,
    False = 4,
    True = 5,
    Ident = 6,
};

class ComponentWriter {
public:
    explicit ComponentWriter(std::ostream& out) : out_(out) {}

    void WriteSignature();
    void WritePropName(std::string_view name);
    void WriteEndOfProperties();

    void WriteString(std::string_view value);
    void WriteInteger(std::int32_t value);
    void WriteBoolean(bool value);
    void WriteIdent(std::string_view identifier);
    // A property whole: its name, then its value.
    void WriteString(std::string_view name, std::string_view value) {
        WritePropName(name);
        WriteString(value);
    }
    void WriteInteger(std::string_view name, std::int32_t value) {
        WritePropName(name);
        WriteInteger(value);
    }
    void WriteBoolean(std::string_view name, bool value) {
        WritePropName(name);
        WriteBoolean(value);
    }
    void WriteIdent(std::string_view name, std::string_view identifier) {
        WritePropName(name);
        WriteIdent(identifier);
    }
    void WriteListBegin();
    void WriteListEnd();

private:
    void RawByte(std::uint8_t b);
    void RawU32(std::uint32_t v);
    void RawStr(std::string_view s);
    std::ostream& out_;
};

class ComponentReader {
public:
    explicit ComponentReader(std::istream& in) : in_(in) {}

    void ReadSignature();
    // The next property's name; empty at the end of the component's properties.
    std::string ReadPropName();

    std::string ReadString();
    std::int32_t ReadInteger();
    bool ReadBoolean();
    std::string ReadIdent();
    void ReadListBegin();
    void ReadListEnd();
    // True when the next value is the list-end marker (it is not consumed).
    bool EndOfList();
    ValueType NextValue();
    // Skips one whole value, lists included.
    void SkipValue();

private:
    std::uint8_t RawByte();
    std::uint32_t RawU32();
    std::string RawStr();
    void Expect(ValueType type);
    std::istream& in_;
};

// Saves Component (class name, changed properties, end marker) after the signature.
void WriteComponent(std::ostream& out, const TPersistent& component);

// Loads into Component; the stream must name the same class. Runs Loaded at the end.
void ReadComponent(std::istream& in, TPersistent& component);

}  // namespace quillpost
