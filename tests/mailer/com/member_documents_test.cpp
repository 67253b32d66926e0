// The texts made from the member table: the type library's source, read
// back here as widl reads it, and the committed member reference.
#include "mailer/com/member_documents.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mailer/com/member_table.h"

namespace quillpost::com {
namespace {

std::string IdlType(VarType type) {
    return type == kVtBstr   ? "BSTR"
           : type == kVtBool ? "VARIANT_BOOL"
           : type == kVtI2   ? "short"
                             : "long";
}

// The IDL text of one row, written out by hand from its fields: attribute
// line, then declaration, as widl is to read them.
std::string Expected(const TMemberInfo& row) {
    std::ostringstream out;
    out << "["
        << (row.kind == TMemberKind::PropertyGet   ? "propget, "
            : row.kind == TMemberKind::PropertyPut ? "propput, "
                                                   : "");
    out << "id(0x" << std::hex << std::uppercase;
    out.width(8);
    out.fill('0');
    out << row.dispId << ")";
    if (!row.help.empty()) {
        out << ", helpstring(\"";
        for (char c : row.help) out << (c == '"' || c == '\\' ? "\\" : "") << c;
        out << "\")";
    }
    out << "] HRESULT " << row.name << "(";
    const char* separator = "";
    for (const TParamInfo& p : row.params) {
        out << separator << "[in] " << IdlType(p.type) << " " << p.name;
        separator = ", ";
    }
    if (row.result != kVtVoid)
        out << separator << "[out, retval] " << IdlType(row.result) << "* Value";
    out << ");";
    return out.str();
}

std::string Trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : line.substr(first);
}

// Every member of the IDL against its row, in order and inside the right
// interface; nothing beyond the table.
TEST(MemberDocuments, TheIdlDeclaresEveryRowInItsInterface) {
    std::istringstream idl(RenderIdl());
    std::vector<std::string> members;
    std::string line, attributes, iface;
    while (std::getline(idl, line)) {
        line = Trimmed(line);
        if (line.rfind("interface ", 0) == 0 && line.find(" : ") != std::string::npos) iface = line;
        if (line.rfind("[default] interface ", 0) == 0) iface = line;
        if (line.rfind("HRESULT ", 0) == 0)
            members.push_back(iface + " | " + attributes + " " + line);
        attributes = line;
    }
    std::vector<std::string> expected;
    for (const TMemberInfo& row : MailerMembers())
        expected.push_back(std::string(row.iface == TInterface::IMailer
                                           ? "interface IMailer : IDispatch"
                                           : "interface IMailer2 : IMailer") +
                           " | " + Expected(row));
    ASSERT_EQ(members.size(), expected.size());
    for (std::size_t i = 0; i < members.size(); ++i) EXPECT_EQ(members[i], expected[i]);
    EXPECT_EQ(iface, "[default] interface IMailer2;");
}

TEST(MemberDocuments, TheCommittedReferenceIsCurrent) {
    std::ifstream in(QP_TEST_DATA_DIR "/../../docs/members.md", std::ios::binary);
    std::ostringstream committed;
    committed << in.rdbuf();
    EXPECT_EQ(committed.str(), RenderMemberReference())
        << "docs/members.md is out of date: cmake --build --preset linux --target member_docs";
}

}  // namespace
}  // namespace quillpost::com
