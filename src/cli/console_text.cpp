#include "cli/console_text.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>

#include "base/ascii.h"
#include "platform/console.h"
#include "platform/file_access.h"

namespace quillpost::cli {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Hex(const char* prefix, unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 15];
    return text;
}

std::string ReadAll(std::FILE* f, const std::string& name) {
    std::string bytes;
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    if (std::ferror(f))
        throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
    return bytes;
}

}  // namespace

std::string VisibleText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        if (IsAsciiControl(text[i])) {
            shown += Hex("\\x", byte, 2);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            shown += Hex("\\u", next, 4);  // U+0080 to U+009F in UTF-8
            ++i;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

std::string ValueFromFile(const std::string& file, std::FILE* input) {
    std::string bytes;
    if (file == "-") {
        // Text mode would turn CR LF into LF and stop at a 0x1A byte.
        if (input == stdin) platform::SetBinaryMode(platform::kStandardInput);
        bytes = ReadAll(input, "standard input");
    } else {
        const std::unique_ptr<std::FILE, FileCloser> f(platform::OpenFileStream(file, "rb"));
        if (!f) throw std::runtime_error("cannot open \"" + file + "\": " + std::strerror(errno));
        bytes = ReadAll(f.get(), "\"" + file + "\"");
    }
    if (!bytes.empty() && bytes.back() == '\n') {
        bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    }
    return bytes;
}

std::string ValueFromEnvironment(const std::string& variable) {
    const std::optional<std::string> value = platform::EnvironmentText(variable);
    if (!value) throw std::runtime_error("the environment variable " + variable + " is not set");
    return *value;
}

}  // namespace quillpost::cli
