#pragma once
// Facts about the installation the component runs in.
#include <string>

namespace quillpost::platform {

// A short installation-wide label naming the owner: the QUILLPOST_OWNER
// environment setting when set; otherwise the registered owner on Windows and
// the host name elsewhere. May be empty.
std::string InstallationOwner();

}  // namespace quillpost::platform
