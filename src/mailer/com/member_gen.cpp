// member_gen idl|markdown FILE: writes the type library's source or the
// member reference, made from the member table. The file is left alone when
// it already holds that text, so that what depends on it is not rebuilt.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "mailer/com/member_documents.h"

int main(int argc, char** argv) {
    const std::string what = argc == 3 ? argv[1] : "";
    if (what != "idl" && what != "markdown") {
        std::cerr << "usage: member_gen idl|markdown FILE\n";
        return 2;
    }
    const std::string text =
        what == "idl" ? quillpost::com::RenderIdl() : quillpost::com::RenderMemberReference();
    std::ostringstream current;
    if (std::ifstream in{argv[2], std::ios::binary}) current << in.rdbuf();
    if (current.str() == text) return 0;
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "member_gen: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
