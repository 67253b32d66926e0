#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/console.h"

namespace quillpost::platform {

bool IsTerminal(int descriptor) { return isatty(descriptor) == 1; }

// POSIX streams never translate line ends.
void SetBinaryMode(int) {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::optional<std::string> EnvironmentText(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace quillpost::platform
