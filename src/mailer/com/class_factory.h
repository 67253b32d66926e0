#pragma once
// The server state of the loaded module (shared by every thread of the
// process): the object and lock counts and the one class factory, for Mailer.
#include "platform/com.h"

namespace quillpost::com {

// Counted by every TMailerObject from its construction to its destruction.
void ObjectCreated();
void ObjectDestroyed();

// DllGetClassObject: the factory's IID interface for the Mailer CLSID;
// CLASS_E_CLASSNOTAVAILABLE (and a null result) for any other CLSID;
// E_NOINTERFACE when the factory lacks IID; E_UNEXPECTED when the type
// library does not describe the class.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

// DllCanUnloadNow: S_FALSE while an object is alive or a lock is held.
HRESULT CanUnloadNow();

}  // namespace quillpost::com
