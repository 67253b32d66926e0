#include "mailer/com/member_documents.h"

#include <cstdio>
#include <iterator>
#include <string_view>

#include "mailer/com/com_ids.h"
#include "mailer/com/member_table.h"

// Built into the build's own generator as well (with the host's compiler for
// a cross build): uses the member table and the identities only.

namespace quillpost::com {
namespace {

struct TInterfaceText {
    TInterface iface;
    std::string_view name;
    std::string_view base;
    const IID& iid;
    std::string_view help;
};

const TInterfaceText kInterfaces[] = {
    {TInterface::IMailer, "IMailer", "IDispatch", kIID_IMailer,
     "Dispatch interface for Mailer Object"},
    {TInterface::IMailer2, "IMailer2", "IMailer", kIID_IMailer2,
     "Dispatch interface for Mailer Object, with the members added since IMailer"},
};

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// The names of the argument and result types: in the IDL and as scripts
// know them.
struct TTypeNames {
    VarType type;
    std::string_view idl;
    std::string_view script;
};
constexpr TTypeNames kTypeNames[] = {
    {kVtBstr, "BSTR", "String"}, {kVtBool, "VARIANT_BOOL", "Boolean"},
    {kVtI2, "short", "Integer"}, {kVtI4, "long", "Long"},
    {kVtVoid, "", ""},
};

const TTypeNames& NamesOf(VarType type) {
    for (const TTypeNames& names : kTypeNames)
        if (names.type == type) return names;
    return kTypeNames[std::size(kTypeNames) - 1];
}

std::string_view IdlType(VarType type) { return NamesOf(type).idl; }
std::string_view ScriptType(VarType type) { return NamesOf(type).script; }

std::string IdlString(std::string_view text) {
    std::string r = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') r += '\\';
        r += c;
    }
    return r + "\"";
}

void AppendIdlMember(std::string& out, const TMemberInfo& m) {
    out += "        [";
    if (m.kind == TMemberKind::PropertyGet) out += "propget, ";
    if (m.kind == TMemberKind::PropertyPut) out += "propput, ";
    out += "id(" + Hex(static_cast<unsigned>(m.dispId), 8) + ")";
    if (!m.help.empty()) out += ", helpstring(" + IdlString(m.help) + ")";
    out += "]\n        HRESULT " + std::string(m.name) + "(";
    std::string_view separator;
    for (const TParamInfo& p : m.params) {
        out += std::string(separator) + "[in] " + std::string(IdlType(p.type)) + " " +
               std::string(p.name);
        separator = ", ";
    }
    if (m.result != kVtVoid)
        out +=
            std::string(separator) + "[out, retval] " + std::string(IdlType(m.result)) + "* Value";
    out += ");\n";
}

void AppendIdlInterface(std::string& out, const TInterfaceText& i) {
    out += "    [\n        uuid(" + GuidText(i.iid) + "),\n        version(1.0),\n";
    out += "        helpstring(" + IdlString(i.help) + "),\n";
    out += "        hidden,\n        dual,\n        oleautomation\n    ]\n";
    out += "    interface " + std::string(i.name) + " : " + std::string(i.base) + "\n    {\n";
    for (const TMemberInfo& m : MailerMembers())
        if (m.iface == i.iface) AppendIdlMember(out, m);
    out += "    };\n\n";
}

// --- the member reference ---

std::string Cell(std::string_view text) {
    std::string r;
    for (char c : text) {
        if (c == '|') r += '\\';
        r += c;
    }
    return r;
}

void AppendReferenceRow(std::string& out, const TMemberInfo& m) {
    const TMemberInfo* get = FindMember(m.dispId, TMemberKind::PropertyGet);
    const TMemberInfo* put = FindMember(m.dispId, TMemberKind::PropertyPut);
    std::string name(m.name), kind = "method", type(ScriptType(m.result)), value;
    if (m.kind == TMemberKind::Method) {
        std::string_view separator;
        name += "(";
        for (const TParamInfo& p : m.params) {
            name += std::string(separator) + std::string(p.name) + " As " +
                    std::string(ScriptType(p.type));
            separator = ", ";
        }
        name += ")";
    } else {
        kind = get == nullptr   ? "write-only property"
               : put == nullptr ? "read-only property"
                                : "property";
        type = ScriptType(get != nullptr ? get->result : put->params[0].type);
        const bool text = (get != nullptr ? get->result : put->params[0].type) == kVtBstr;
        value = "`" + std::string(text ? "\"" : "") + std::string(m.defaultValue) +
                std::string(text ? "\"" : "") + "`";
    }
    const std::string_view help = get != nullptr ? get->help : m.help;
    out += "| " + std::to_string(m.dispId) + " | `" + name + "` | " + kind + " | " + type + " | " +
           value + " | " + Cell(help) + " |\n";
}

}  // namespace

std::string RenderIdl() {
    std::string out =
        "// The type library of Quillpost.dll, made by the build from\n"
        "// src/mailer/com/mailer_members.def: edit that list, not this text.\n"
        "import \"oaidl.idl\";\n\n";
    out += "[\n    uuid(" + GuidText(kLIBID_Quillpost) + "),\n    version(" +
           std::to_string(kTypeLibMajor) + "." + std::to_string(kTypeLibMinor) + "),\n";
    out += "    lcid(" + Hex(kTypeLibLocale, 4) + "),\n    helpstring(\"Quillpost Library\")\n]\n";
    out += "library Quillpost\n{\n    importlib(\"stdole2.tlb\");\n\n";
    for (const TInterfaceText& i : kInterfaces)
        out += "    interface " + std::string(i.name) + ";\n";
    out += "\n";
    for (const TInterfaceText& i : kInterfaces) AppendIdlInterface(out, i);
    out += "    [\n        uuid(" + GuidText(kCLSID_Mailer) + "),\n        version(1.0),\n";
    out += "        helpstring(" + IdlString(kClassDescription) + ")\n    ]\n";
    out += "    coclass " + std::string(kClassName) + "\n    {\n";
    out += "        [default] interface " + std::string(kInterfaces[1].name) + ";\n    };\n\n";
    out += "    [\n        uuid(" + GuidText(kThreadingModelEnumId) + "),\n        version(1.0)\n";
    out += "    ]\n    enum Enum1\n    {\n        thdApartment = " + std::to_string(thdApartment) +
           ",\n        thdBoth = " + std::to_string(thdBoth) + "\n    };\n};\n";
    return out;
}

std::string RenderMemberReference() {
    std::string out =
        "# Members of Quillpost.Mailer\n\n"
        "Made by the build from `src/mailer/com/mailer_members.def`; do not edit by hand.\n"
        "Refresh with `cmake --build --preset linux --target member_docs`.\n\n"
        "Types are as scripts see them: String (BSTR), Boolean, Integer (16 bits), Long\n"
        "(32 bits). The default is what a new object reads.\n";
    for (const TInterfaceText& i : kInterfaces) {
        out += "\n## " + std::string(i.name) + "\n\n" + std::string(i.help) + ".\n\n";
        out += "| DISPID | Member | Kind | Type | Default | Help |\n";
        out += "|---|---|---|---|---|---|\n";
        for (const TMemberInfo& m : MailerMembers()) {
            const bool firstOfMember = m.kind != TMemberKind::PropertyPut ||
                                       FindMember(m.dispId, TMemberKind::PropertyGet) == nullptr;
            if (m.iface == i.iface && firstOfMember) AppendReferenceRow(out, m);
        }
    }
    return out;
}

}  // namespace quillpost::com
