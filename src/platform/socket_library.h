#pragma once
// The system's socket library, loaded at run time and searched by name, so a
// missing library or entry point is a reported condition rather than a
// failure to start.
#include <string>

namespace quillpost::platform {

using LibraryHandle = void*;

// The library that carries the socket functions on this system.
const char* DefaultSocketLibraryName();

// Loads the library without any system dialog; nullptr when it cannot be loaded.
LibraryHandle LoadSocketLibrary(const std::string& name);
void FreeSocketLibrary(LibraryHandle handle);
// The entry point called Name, or nullptr.
void* FindLibraryProc(LibraryHandle handle, const char* name);

}  // namespace quillpost::platform
