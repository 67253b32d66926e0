#pragma once
// The registry of COM classes: keys under HKEY_CLASSES_ROOT on Windows; on
// other systems a small file store of the same shape. Key paths use "\" and
// compare without regard to case; an empty value name is the key's default
// value. Values are ANSI strings.
#include <optional>
#include <string>
#include <string_view>

namespace quillpost::platform {

// Creates Key with its missing parents (read, create-subkey and set-value
// access; not volatile) and sets the string value Name. False on failure.
bool RegistryWriteString(std::string_view key, std::string_view name, std::string_view value);

// Deletes Key. False when it does not exist, still has subkeys or cannot be
// deleted.
bool RegistryDeleteKey(std::string_view key);

bool RegistryKeyExists(std::string_view key);

// Whether Key exists in the registry view of programs of the other bitness
// (on 64-bit Windows, 32-bit programs see some keys, CLSID among them, apart
// from 64-bit ones). False where there is a single view.
bool RegistryKeyExistsInOtherView(std::string_view key);

// The string value Name of Key, or nothing when either is missing.
std::optional<std::string> RegistryReadString(std::string_view key, std::string_view name);

// The file that holds the store where the registry is a file: the path in
// the environment variable QUILLPOST_REGISTRY, else
// $XDG_CONFIG_HOME/quillpost/registry, else ~/.config/quillpost/registry.
// Empty on Windows.
std::string RegistryStorePath();

// Why the store cannot be trusted, empty when it can (always on Windows).
// Like ssh's own files, the file and its folder must belong to this user or
// root and be writable by no one else; an untrusted store is neither read
// (keys are missing) nor written (writes fail), and object creation through
// it fails with E_ACCESSDENIED.
std::string RegistryStoreFault();

}  // namespace quillpost::platform
