#pragma once
// The COM and OLE Automation types under their Windows names: the system's
// own headers on Windows, our small layer (posix/com_posix.h) elsewhere. The
// COM server and its C++ hosts include only this.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>
#else
#include "platform/posix/com_posix.h"
#endif

#include <string>
#include <string_view>

namespace quillpost::platform {

// Prepares the calling thread for COM (a single-threaded apartment on
// Windows; nothing to do elsewhere). Pair with ComUninitialize.
HRESULT ComInitialize();
void ComUninitialize();

// Creates an object of the class registered under ProgId, in process, and
// returns its IID interface: CLSIDFromProgID and CoCreateInstance on Windows;
// elsewhere the registry store gives the class and its library, which is
// loaded (and kept loaded) and asked for its class factory.
// CO_E_CLASSSTRING: no such ProgID; REGDB_E_CLASSNOTREG: no library
// registered for the class; CO_E_DLLNOTFOUND / CO_E_ERRORINDLL: the library
// cannot be loaded or lacks DllGetClassObject.
HRESULT CreateObject(std::string_view progId, REFIID iid, void** out);

// Loads the in-process server library at Path (kept loaded) and asks it for
// the class object of Clsid: what CreateObject does after the registry
// lookup. For installers and tests.
HRESULT GetServerClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** out);

// Calls one of the library's exports that take no argument
// (DllRegisterServer, DllUnregisterServer, DllCanUnloadNow).
// CO_E_DLLNOTFOUND / CO_E_ERRORINDLL as above.
HRESULT CallServerExport(const std::string& path, const char* name);

// Text and BSTR: Null becomes the empty text; the result of ToBstr is owned
// by the caller (null when out of memory).
std::u16string FromBstr(BSTR text);
BSTR ToBstr(std::u16string_view text);

}  // namespace quillpost::platform
