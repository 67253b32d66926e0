#pragma once
// Points the file-backed registry store at a fresh file for the life of the
// object, through the environment so that libraries loaded by the test see
// it too. Where the registry is the system's (Windows) it changes nothing:
// the tests run in a throw-away Wine prefix there.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

namespace quillpost::testing {

class RegistrySandbox {
public:
    RegistrySandbox() {
        std::random_device random;
        file_ =
            (std::filesystem::temp_directory_path() / ("qp_registry_" + std::to_string(random())))
                .string();
        if (const char* old = std::getenv(kVariable)) old_ = old;
        Set(file_.c_str());
    }
    ~RegistrySandbox() {
        Set(old_ ? old_->c_str() : nullptr);
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
        std::filesystem::remove(file_ + ".lock", ignored);
    }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

private:
    static constexpr const char* kVariable = "QUILLPOST_REGISTRY";
    static void Set(const char* value) {
#ifdef _WIN32
        _putenv_s(kVariable, value != nullptr ? value : "");
#else
        if (value != nullptr) {
            setenv(kVariable, value, 1);
        } else {
            unsetenv(kVariable);
        }
#endif
    }

    std::string file_;
    std::optional<std::string> old_;
};

}  // namespace quillpost::testing
