#pragma once
// The quillpost command line: parses the arguments against the IMailer member
// table and runs them, in the order given, on one Mailer object.
//
//   quillpost --RemoteHost HOST[:PORT] --FromAddress A --AddRecipient NAME ADDRESS
//             --Subject S --BodyText T --AddAttachment FILE --SendMail
//
// The whole line is checked before anything runs, so a typo near the end
// cannot leave a message half set up or already sent.
#include <ostream>
#include <span>
#include <string>

#include "cli/late_bound_mailer.h"
#include "util/stream.h"

namespace quillpost::cli {

// Exit statuses.
inline constexpr int kExitSuccess = 0;
// SendMail, GetBodyTextFromFile or an Add... method answered false, or
// --compose could not compose the message.
inline constexpr int kExitFalse = 1;
// A usage error, or a member that failed with an automation error.
inline constexpr int kExitError = 2;

struct TConsole {
    std::ostream& out;           // printed values and the help text
    std::ostream& err;           // error messages and the progress bar
    TStream& outBytes;           // standard output for "--compose -": bytes as they are
    bool errIsTerminal = false;  // draw the progress bar on Err
};

// Runs Args (without the program name) on Mailer; returns the exit status.
int RunCommandLine(TLateBoundMailer& mailer, std::span<const std::string> args, TConsole& console);

// The text of --help.
std::string HelpText();

}  // namespace quillpost::cli
