#include <dlfcn.h>
#include <gnu/lib-names.h>

#include "platform/fault_injection.h"
#include "platform/socket_library.h"

namespace quillpost::platform {

const char* DefaultSocketLibraryName() { return LIBC_SO; }

LibraryHandle LoadSocketLibrary(const std::string& name) {
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void FreeSocketLibrary(LibraryHandle handle) {
    if (handle != nullptr) dlclose(handle);
}

void* FindLibraryProc(LibraryHandle handle, const char* name) {
    if (handle == nullptr || InjectFault(FaultPoint::SocketCall)) return nullptr;
    return dlsym(handle, name);
}

}  // namespace quillpost::platform
