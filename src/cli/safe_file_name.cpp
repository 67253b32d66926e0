#include "cli/safe_file_name.h"

#include <array>

#include "base/ascii.h"

namespace quillpost::cli {
namespace {

constexpr char kStandIn = '_';
// An extension longer than this is no extension worth keeping on a cut.
constexpr std::size_t kExtensionMax = 32;

bool IsRefused(unsigned char c) {
    constexpr std::string_view kRefused = "/\\:*?\"<>|";
    return IsAsciiControl(static_cast<char>(c)) ||
           kRefused.find(static_cast<char>(c)) != std::string_view::npos;
}

// Name with every refused character, and every byte not part of a
// well-formed UTF-8 character, replaced.
std::string Replaced(std::string_view name) {
    const std::string out = MapSingleBytes(name, [](std::string& to, unsigned char c) {
        to.push_back(c < 0x80 && !IsRefused(c) ? static_cast<char>(c) : kStandIn);
    });
    // A lone surrogate half counts as UTF-8 above; no file system takes it.
    return StrictUtf8(out, kStandIn);
}

bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kPlain)
        if (SameTextIgnoringCase(stem, device)) return true;
    return stem.size() == 4 &&
           (SameTextIgnoringCase(stem.substr(0, 3), "COM") ||
            SameTextIgnoringCase(stem.substr(0, 3), "LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// Where the extension begins ("." included), or the size when there is none.
std::size_t ExtensionStart(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name.size() : dot;
}

std::string Shortened(std::string name) {
    if (name.size() <= kSafeNameMax) return name;
    std::size_t dot = ExtensionStart(name);
    if (name.size() - dot > kExtensionMax) dot = name.size();
    const std::string extension = name.substr(dot);
    std::size_t cut = kSafeNameMax - extension.size();
    // Back to the start of a character: the text is well-formed UTF-8 here.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut) + extension;
}

void TrimEnd(std::string& name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

}  // namespace

std::string SafeFileName(std::string_view name) {
    std::string safe = Replaced(name);
    TrimEnd(safe);
    for (char& c : safe) {
        if (c != '.') break;
        c = kStandIn;
    }
    if (IsDeviceName(safe)) safe.insert(safe.begin(), kStandIn);
    safe = Shortened(std::move(safe));
    TrimEnd(safe);  // a cut may end at a blank
    return safe.empty() ? "attachment" : safe;
}

std::string NumberedFileName(std::string_view safe, unsigned number) {
    if (number <= 1) return std::string(safe);
    const std::size_t dot = ExtensionStart(safe);
    return std::string(safe.substr(0, dot)) + " (" + std::to_string(number) + ")" +
           std::string(safe.substr(dot));
}

}  // namespace quillpost::cli
