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
    // The store lives in a folder of its own: one in a folder others may
    // write (the temporary folder itself) would not be trusted.
    RegistrySandbox() {
        std::random_device random;
        folder_ =
            std::filesystem::temp_directory_path() / ("qp_registry_" + std::to_string(random()));
        std::filesystem::create_directory(folder_);
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
        file_ = (folder_ / "registry").string();
        if (const char* old = std::getenv(kVariable)) old_ = old;
        Set(file_.c_str());
    }
    ~RegistrySandbox() {
        Set(old_ ? old_->c_str() : nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
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

    std::filesystem::path folder_;
    std::string file_;
    std::optional<std::string> old_;
};

}  // namespace quillpost::testing
