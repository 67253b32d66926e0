#pragma once
// quillpost --dkim-record KEYFILE SELECTOR DOMAIN: prints the DNS TXT record
// that publishes the public half of a DKIM signing key. Needs no Mailer
// object and no COM.
#include <span>
#include <string>

#include "cli/command_line_runner.h"

namespace quillpost::cli {

// True when the first of Args (without the program name) is --dkim-record.
bool IsDkimRecordCommand(std::span<const std::string> args);

// Prints the record; kExitSuccess, or kExitError for a usage error or a key
// that cannot be used (the cause on standard error).
int RunDkimRecordCommand(std::span<const std::string> args, TConsole& console);

}  // namespace quillpost::cli
