#pragma once
// Facts about the module (DLL, shared library or program) that holds this code.
#include <string>
#include <string_view>

#include "platform/com.h"

namespace quillpost::platform {

// Full path of the module file this function is linked into.
std::string ThisModulePath();

// Shows an error to the user: on Windows a message box without owner, with
// the hand icon, brought to the foreground; elsewhere a line on stderr.
void ShowErrorBox(std::string_view caption, std::string_view text);

// The module's type library (resource "TYPELIB" 1 of the module's own file),
// loaded once. Windows only: elsewhere there is no type library and every
// function answers E_NOTIMPL (registration steps are then skipped).
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** out);
// Registers the type library with ModulePath as its location and help
// directory.
HRESULT RegisterModuleTypeLibrary(const std::string& modulePath);
// Unregisters a type library when the system offers the function for it.
HRESULT UnregisterTypeLibrary(REFGUID libid, WORD major, WORD minor, LCID lcid);

// Checks that the type library describes ClassId as a coclass whose default
// interface is the dual interface DispatchId; raises
// "Type information missing for class %s", "Incorrect type information for
// class %s" or "Dispatch interface missing from class %s". No check where
// there is no type library.
void CheckClassTypeInfo(REFCLSID classId, REFIID dispatchId, std::string_view className);

}  // namespace quillpost::platform
