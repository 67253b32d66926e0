#include <windows.h>

#include "platform/fault_injection.h"
#include "platform/socket_library.h"

namespace quillpost::platform {

const char* DefaultSocketLibraryName() { return "wsock32.dll"; }

LibraryHandle LoadSocketLibrary(const std::string& name) {
    // A server process must never stop on a "file not found" dialog.
    UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(name.c_str());
    SetErrorMode(previous);
    return reinterpret_cast<LibraryHandle>(module);
}

void FreeSocketLibrary(LibraryHandle handle) {
    if (handle != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

void* FindLibraryProc(LibraryHandle handle, const char* name) {
    if (handle == nullptr || InjectFault(FaultPoint::SocketCall)) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

}  // namespace quillpost::platform
