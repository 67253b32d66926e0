#pragma once
// The content type that the system registers for a file extension: on Windows
// the "Content Type" value of HKEY_CLASSES_ROOT\<ext>, elsewhere the system's
// MIME type table (/etc/mime.types). The text keeps the case of its source.
#include <string>
#include <string_view>

namespace quillpost::platform {

// Extension with its dot (".txt"); extensions match without regard to case.
// Empty when nothing is registered. A registry value that is not text raises
// EInOutError.
std::string RegisteredContentType(std::string_view extension);

// Makes every lookup read the MIME type table at Path instead of the system's
// own source (on every system, so tests can steer it); an empty Path restores
// the system's source.
void SetMimeTypesFile(std::string path);

// Looks Extension up in a MIME type table: lines "type ext ext ...", "#"
// comments. The first line that lists the extension wins; a missing or
// unreadable table answers empty.
std::string ContentTypeFromTable(const std::string& tablePath, std::string_view extension);

// The system's own source, implemented per platform.
std::string SystemContentType(std::string_view extension);

}  // namespace quillpost::platform
