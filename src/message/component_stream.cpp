#include "message/component_stream.h"

#include <istream>
#include <ostream>

#include "message/persistent.h"
#include "util/errors.h"

namespace quillpost {
namespace {

constexpr char kSignature[4] = {'Q', 'P', 'C', '1'};
// A stream that names more than this is damaged, not a real component.
constexpr std::uint32_t kMaxStringBytes = 64u * 1024u * 1024u;

[[noreturn]] void Malformed(const std::string& what) {
    throw EReadError("Invalid component stream: " + what);
}

}  // namespace

void ComponentWriter::RawByte(std::uint8_t b) { out_.put(static_cast<char>(b)); }

void ComponentWriter::RawU32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) RawByte(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ComponentWriter::RawStr(std::string_view s) {
    RawU32(static_cast<std::uint32_t>(s.size()));
    out_.write(s.data(), static_cast<std::streamsize>(s.size()));
}

void ComponentWriter::WriteSignature() { out_.write(kSignature, sizeof kSignature); }
void ComponentWriter::WritePropName(std::string_view name) { RawStr(name); }
void ComponentWriter::WriteEndOfProperties() { RawU32(0); }

void ComponentWriter::WriteString(std::string_view value) {
    RawByte(static_cast<std::uint8_t>(ValueType::String));
    RawStr(value);
}

void ComponentWriter::WriteInteger(std::int32_t value) {
    RawByte(static_cast<std::uint8_t>(ValueType::Integer));
    RawU32(static_cast<std::uint32_t>(value));
}

void ComponentWriter::WriteBoolean(bool value) {
    RawByte(static_cast<std::uint8_t>(value ? ValueType::True : ValueType::False));
}

void ComponentWriter::WriteIdent(std::string_view identifier) {
    RawByte(static_cast<std::uint8_t>(ValueType::Ident));
    RawStr(identifier);
}

void ComponentWriter::WriteListBegin() { RawByte(static_cast<std::uint8_t>(ValueType::ListBegin)); }
void ComponentWriter::WriteListEnd() { RawByte(static_cast<std::uint8_t>(ValueType::ListEnd)); }

std::uint8_t ComponentReader::RawByte() {
    int c = in_.get();
    if (c == std::char_traits<char>::eof()) Malformed("unexpected end");
    return static_cast<std::uint8_t>(c);
}

std::uint32_t ComponentReader::RawU32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(RawByte()) << (8 * i);
    return v;
}

std::string ComponentReader::RawStr() {
    std::uint32_t n = RawU32();
    if (n > kMaxStringBytes) Malformed("string too long");
    std::string s(n, '\0');
    if (n > 0 && !in_.read(s.data(), static_cast<std::streamsize>(n))) Malformed("unexpected end");
    return s;
}

ValueType ComponentReader::NextValue() {
    int c = in_.peek();
    if (c == std::char_traits<char>::eof()) Malformed("unexpected end");
    if (c > static_cast<int>(ValueType::Ident)) Malformed("unknown value type " + std::to_string(c));
    return static_cast<ValueType>(c);
}

void ComponentReader::Expect(ValueType type) {
    if (NextValue() != type) Malformed("unexpected value type");
    RawByte();
}

void ComponentReader::ReadSignature() {
    char sig[4];
    if (!in_.read(sig, sizeof sig) || std::string_view(sig, 4) != std::string_view(kSignature, 4))
        Malformed("missing signature");
}

std::string ComponentReader::ReadPropName() { return RawStr(); }

std::string ComponentReader::ReadString() {
    Expect(ValueType::String);
    return RawStr();
}

std::int32_t ComponentReader::ReadInteger() {
    Expect(ValueType::Integer);
    return static_cast<std::int32_t>(RawU32());
}

bool ComponentReader::ReadBoolean() {
    ValueType t = NextValue();
    if (t != ValueType::True && t != ValueType::False) Malformed("Boolean expected");
    RawByte();
    return t == ValueType::True;
}

std::string ComponentReader::ReadIdent() {
    Expect(ValueType::Ident);
    return RawStr();
}

void ComponentReader::ReadListBegin() { Expect(ValueType::ListBegin); }
void ComponentReader::ReadListEnd() { Expect(ValueType::ListEnd); }
bool ComponentReader::EndOfList() { return NextValue() == ValueType::ListEnd; }

void ComponentReader::SkipValue() {
    switch (NextValue()) {
        case ValueType::ListBegin:
            RawByte();
            while (!EndOfList()) SkipValue();
            RawByte();
            break;
        case ValueType::Integer:
            RawByte();
            RawU32();
            break;
        case ValueType::String:
        case ValueType::Ident:
            RawByte();
            RawStr();
            break;
        case ValueType::False:
        case ValueType::True:
            RawByte();
            break;
        case ValueType::ListEnd:
            Malformed("list end without list");
    }
}

void WriteComponent(std::ostream& out, const TPersistent& component) {
    ComponentWriter writer(out);
    writer.WriteSignature();
    writer.WritePropName(component.ClassName());
    component.WriteProperties(writer, "");
    writer.WriteEndOfProperties();
}

void ReadComponent(std::istream& in, TPersistent& component) {
    ComponentReader reader(in);
    reader.ReadSignature();
    std::string cls = reader.ReadPropName();
    if (cls != component.ClassName())
        Malformed("stream holds a " + cls + ", not a " + component.ClassName());
    for (std::string name = reader.ReadPropName(); !name.empty(); name = reader.ReadPropName()) {
        if (!component.ReadProperty(reader, name))
            throw EReadError("Error reading " + cls + "." + name + ": Property " + name +
                             " does not exist");
    }
    component.Loaded();
}

}  // namespace quillpost
