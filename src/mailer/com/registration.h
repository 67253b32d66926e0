#pragma once
// The registry entries of the Mailer class, written through the platform's
// registry service (HKEY_CLASSES_ROOT on Windows, the file store elsewhere).
#include <cstdint>
#include <string>

namespace quillpost::com {

// Text of every registry failure.
inline constexpr const char* kRegistryError = "Error creating system registry entry";

// DllRegisterServer: registers the type library (where there is one) and
// writes the class keys for the module at ModulePath. Raises on the first
// failure; what was written stays.
void RegisterServer(const std::string& modulePath);

// DllUnregisterServer: unregisters the type library and deletes the class
// keys, leaves first; a key that cannot be deleted is skipped.
void UnregisterServer();

// MarkRegistry: ThreadingModel "Both" for thdBoth, "Apartment" for any
// other value, on the class's InprocServer32 key. Raises kRegistryError.
void MarkThreadingModel(std::int32_t thdModel);

}  // namespace quillpost::com
