#pragma once
// Texts made from the member table by the build: the type library's source
// and the member reference for script authors.
#include <string>

namespace quillpost::com {

// The IDL that widl compiles into the server's type library: the library,
// IMailer, IMailer2, the Mailer class and the threading-model enumeration.
std::string RenderIdl();

// docs/members.md: every member with its DISPID, kind, type, default and
// help text, by interface.
std::string RenderMemberReference();

}  // namespace quillpost::com
