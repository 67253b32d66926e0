#pragma once
// Facts about the module (DLL, shared library or program) that holds this code.
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"

namespace quillpost::platform {

// Full path of the module file this function is linked into.
std::string ThisModulePath();

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

// What a type information says about one interface: for inspection by tests
// and tools. Members come in virtual-table order, those of its base
// interfaces (below IDispatch) first; a property put's value counts as a
// parameter, a result parameter does not.
struct TTypeMember {
    std::string iface;  // the interface that declares it
    DISPID dispId = 0;
    std::string name;
    int kind = 0;  // 1 method, 2 property get, 4 property put
    std::vector<std::string> paramNames;
    std::vector<VARTYPE> paramTypes;
    VARTYPE result = 0;  // VT_EMPTY: none
    std::string help;
    int vtableOffset = 0;  // in bytes, as the type library gives it
};
struct TTypeDescription {
    std::string name;
    std::string help;
    unsigned flags = 0;  // the system's TYPEFLAG bits
    std::vector<TTypeMember> members;
};
// Describes the interface behind Info (for a dual interface, its virtual-
// table side). Empty where there are no type libraries.
TTypeDescription DescribeTypeInfo(ITypeInfo* info);

}  // namespace quillpost::platform
