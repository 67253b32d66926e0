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
    const std::string progId(kMailerProgId);
    for (const std::string& key :
         {ClassKey("TypeLib"), ClassKey("Version"), ClassKey("ProgID"), progId + "\\Clsid", progId,
          ClassKey("InprocServer32"), ClassKey()})
        platform::RegistryDeleteKey(key);
}

void MarkThreadingModel(std::int32_t thdModel) {
    Write(ClassKey("InprocServer32"), thdModel == thdBoth ? "Both" : "Apartment", "ThreadingModel");
}

}  // namespace quillpost::com
