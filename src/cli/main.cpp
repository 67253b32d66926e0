// quillpost: sends mail from the command line through the Mailer object.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line_runner.h"
#include "cli/in_process_mailer.h"
#include "cli/stdio_stream.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    using namespace quillpost;
    try {
        // A composed message must reach standard output with its CR LF intact.
        platform::SetBinaryMode(platform::kStandardOutput);
        const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        cli::TInProcessMailer mailer;
        cli::TStdioStream out(stdout);
        cli::TConsole console{std::cout, std::cerr, out,
                              platform::IsTerminal(platform::kStandardError)};
        int status = cli::RunCommandLine(mailer, args, console);
        std::cout.flush();
        if (std::fflush(stdout) != 0 && status == cli::kExitSuccess) {
            std::cerr << "quillpost: cannot write to standard output\n";
            status = cli::kExitError;
        }
        return status;
    } catch (const std::exception& e) {
        std::cerr << "quillpost: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "quillpost: unexpected failure\n";
    }
    return cli::kExitError;
}
