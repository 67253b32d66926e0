#include <dlfcn.h>
#include <gnu/lib-names.h>

#include "platform/fault_injection.h"
#include "platform/socket_library.h"

namespace quillpost::platform {

const char* DefaultSocketLibraryName() { return LIBC_SO; }

LibraryHandle LoadSocketLibrary(const std::string& name) {
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer follows a descriptor only through its own wrappers of
    // the C library's functions, which come first in the process's global
    // scope; without them a socket closed on one thread and the descriptor
    // number reused on another read as a race.
    if (name == LIBC_SO) return dlopen(nullptr, RTLD_NOW);
#endif
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
