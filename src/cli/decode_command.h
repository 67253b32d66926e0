#pragma once
// quillpost --decode FILE|- [--to DIR]: reads a received message, lists its
// parts one line each, and with --to writes each attachment into DIR under
// its own name made safe. Runs on the decoder in this process: decoding is
// no member of the automation object.
#include <span>
#include <string>

#include "cli/command_line_runner.h"

namespace quillpost::cli {

// True when Args (without the program name) ask for decoding: the first is
// --decode.
bool IsDecodeCommand(std::span<const std::string> args);

// Runs a decode command line; returns the exit status: kExitSuccess,
// kExitFalse when the text could not be parsed (its parts are still listed,
// the whole text kept as the attachment "original.eml"), kExitError for a
// usage error or a file that cannot be read or written.
int RunDecodeCommand(std::span<const std::string> args, TConsole& console);

}  // namespace quillpost::cli
