// The include rule of the source tree: each folder of src/ includes only its
// own layer and those below it, and only platform/ includes headers of the
// system or of libraries beyond the C++ standard library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "temp_dir.h"

namespace quillpost {
namespace {

namespace fs = std::filesystem;

// Bottom up; folders of one entry may include each other (a message, its
// text and the parsing of it are one layer).
const std::vector<std::vector<std::string>> kLayers = {
    {"base"}, {"platform"}, {"util"}, {"net"}, {"message", "encoding", "decoding"},
    {"smtp"}, {"mailer"},   {"cli"},
};

int LayerOf(const std::string& folder) {
    for (std::size_t i = 0; i < kLayers.size(); ++i)
        if (std::ranges::count(kLayers[i], folder) != 0) return static_cast<int>(i);
    return -1;
}

// A standard C++ header: one word without an extension, as <cstdio> or <map>.
bool IsStandardHeader(const std::string& name) {
    return name.find('.') == std::string::npos && name.find('/') == std::string::npos;
}

// What breaks the rule in one line of a file in Folder; empty when nothing does.
std::string Violation(const std::string& folder, const std::string& line) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]*)[>"])");
    std::smatch m;
    if (!std::regex_search(line, m, kInclude)) return {};
    const std::string header = m[2];
    if (m[1] == "<") {
        if (folder == "platform" || IsStandardHeader(header)) return {};
        return "<" + header + ">: only platform/ includes the system's headers";
    }
    const std::size_t slash = header.find('/');
    if (slash == std::string::npos) return "\"" + header + "\": name its folder under src/";
    const int own = LayerOf(folder), used = LayerOf(header.substr(0, slash));
    if (used < 0) return "\"" + header + "\": its folder has no place in the layer order";
    if (used > own) return "\"" + header + "\": a layer above " + folder + "/";
    return {};
}

// Every breach of the rule under Root (a copy of src/), as "file:line: why".
std::vector<std::string> Violations(const fs::path& root) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".def")) continue;
        const fs::path relative = fs::relative(entry.path(), root);
        const std::string folder = relative.begin()->string();
        if (folder == relative.string()) {
            found.push_back(relative.generic_string() + ": a file outside every layer");
            continue;
        }
        if (LayerOf(folder) < 0) {
            found.push_back(relative.generic_string() + ": " + folder + "/ has no layer");
            continue;
        }
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const std::string why = Violation(folder, line);
            if (!why.empty())
                found.push_back(relative.generic_string() + ":" + std::to_string(number) + ": " +
                                why);
        }
    }
    std::ranges::sort(found);
    return found;
}

TEST(LayerRule, TheSourceTreeKeepsIt) {
    EXPECT_EQ(Violations(QP_SOURCE_DIR "/src"), std::vector<std::string>{});
}

TEST(LayerRule, EachKindOfBreachIsFound) {
    struct TCase {
        const char* file;
        const char* include;
        bool breaks;
    };
    const TCase cases[] = {
        {"platform/a.cpp", "#include \"util/utf8.h\"", true},
        {"platform/win32/b.cpp", "#include \"util/errors.h\"", true},
        {"platform/c.cpp", "#  include \"message/message.h\"", true},
        {"util/d.cpp", "#include \"net/socket.h\"", true},
        {"message/e.h", "#include \"smtp/smtp_client.h\"", true},
        {"mailer/com/f.cpp", "#include \"cli/main.h\"", true},
        {"smtp/g.cpp", "#include <unistd.h>", true},
        {"util/h.cpp", "#include <openssl/ssl.h>", true},
        {"net/i.cpp", "#include \"socket.h\"", true},
        {"cli/j.cpp", "#include \"gui/window.h\"", true},
        {"tools/k.cpp", "#include <string>", true},
        {"platform/l.cpp", "#include \"base/errors.h\"", false},
        {"platform/posix/m.cpp", "#include <unistd.h>", false},
        {"platform/win32/n.cpp", "#include \"platform/win32/wide_name.h\"", false},
        {"util/o.cpp", "#include \"platform/file_access.h\"", false},
        {"message/p.cpp", "#include \"encoding/base64.h\"", false},
        {"encoding/q.cpp", "#include \"message/message.h\"", false},
        {"cli/r.cpp", "#include \"mailer/com/com_ids.h\"", false},
        {"base/s.h", "#include <string_view>", false},
        {"smtp/t.cpp", "// #include <unistd.h> is for platform/", false},
    };
    for (const TCase& c : cases) {
        testing::TempDir dir;
        const fs::path file = fs::path(dir.Path()) / c.file;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#pragma once\n" << c.include << "\n";
        EXPECT_EQ(Violations(dir.Path()).size(), c.breaks ? 1u : 0u) << c.file << ": " << c.include;
    }
}

}  // namespace
}  // namespace quillpost
