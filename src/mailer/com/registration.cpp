#include "mailer/com/registration.h"

#include <string_view>

#include "mailer/com/com_ids.h"
#include "mailer/com/member_table.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "util/errors.h"

namespace quillpost::com {
namespace {

std::string ClassKey(std::string_view sub = {}) {
    std::string key = "CLSID\\" + std::string(kClsIdText);
    if (!sub.empty()) key += "\\" + std::string(sub);
    return key;
}

void Write(const std::string& key, std::string_view value, std::string_view name = {}) {
    if (!platform::RegistryWriteString(key, name, value)) throw EQuillpostError(kRegistryError);
}

}  // namespace

void RegisterServer(const std::string& modulePath) {
    const HRESULT hr = platform::RegisterModuleTypeLibrary(modulePath);
    // E_NOTIMPL: the platform keeps no type libraries.
    if (FAILED(hr) && hr != E_NOTIMPL) throw EQuillpostError(kRegistryError);
    const std::string progId(kMailerProgId);
    Write(ClassKey(), kClassDescription);
    Write(ClassKey("InprocServer32"), modulePath);
    Write(progId, kClassDescription);
    Write(progId + "\\Clsid", kClsIdText);
    Write(ClassKey("ProgID"), progId);
    Write(ClassKey("Version"), std::to_string(kTypeLibMajor) + "." + std::to_string(kTypeLibMinor));
    Write(ClassKey("TypeLib"), kLibIdText);
}

void UnregisterServer() {
    platform::UnregisterTypeLibrary(kLIBID_Quillpost, kTypeLibMajor, kTypeLibMinor, kTypeLibLocale);
    for (const std::string& key : {ClassKey("TypeLib"), ClassKey("Version"), ClassKey("ProgID"),
                                   ClassKey("InprocServer32"), ClassKey()})
        platform::RegistryDeleteKey(key);
    // The ProgID is one key for 32-bit and 64-bit programs alike, while the
    // class keys are per bitness: the ProgID stays while the server of the
    // other bitness is still registered, or its CreateObject would fail.
    if (platform::RegistryKeyExistsInOtherView(ClassKey("InprocServer32"))) return;
    const std::string progId(kMailerProgId);
    platform::RegistryDeleteKey(progId + "\\Clsid");
    platform::RegistryDeleteKey(progId);
}

void MarkThreadingModel(std::int32_t thdModel) {
    Write(ClassKey("InprocServer32"), thdModel == thdBoth ? "Both" : "Apartment", "ThreadingModel");
}

}  // namespace quillpost::com
