#pragma once
// The one conversion between the core's automation values and the system's
// VARIANT: the COM object takes its arguments and gives its results through
// it, and the command line's COM client does the reverse.
#include "mailer/com/variant.h"
#include "platform/com.h"

namespace quillpost::com {

// An automation argument as the dispatcher takes it: by-reference arguments
// are read through, a null BSTR is empty text, and the numeric kinds the
// dispatcher does not know are brought to one it knows first.
HRESULT FromComVariant(const VARIANT& in, TVariant& out);

// A value as a VARIANT (initialised here); E_OUTOFMEMORY when a BSTR cannot
// be made, DISP_E_TYPEMISMATCH for a kind without a VARIANT form.
HRESULT ToComVariant(const TVariant& in, VARIANT& out);

}  // namespace quillpost::com
