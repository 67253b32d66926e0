// quillpost: sends mail from the command line through the Mailer object.
//
// The object is created through COM by its ProgID, so the command line drives
// the component exactly as a script would. When the class is not registered,
// the server library beside this program is registered and creation tried
// once more. Composing without sending (--compose) is not on the automation
// surface: such lines run on the in-process object (the same dispatcher over
// the same core), as do lines for which COM creation fails (with a note on
// stderr). SendMail goes through COM at a terminal too, so that a line tried
// there behaves as it will in a script; the progress bar, which needs the
// in-process object's hook, is drawn only when that object is in use.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/com_mailer.h"
#include "cli/command_line_runner.h"
#include "cli/decode_command.h"
#include "cli/dkim_record_command.h"
#include "cli/in_process_mailer.h"
#include "cli/stdio_stream.h"
#include "platform/com.h"
#include "platform/console.h"
#include "platform/module.h"
#include "platform/registry.h"

namespace {

using namespace quillpost;

std::string ServerLibraryBesideProgram() {
    const std::string program = platform::ThisModulePath();
    if (program.empty()) return {};
    return (std::filesystem::path(program).parent_path() / QP_SERVER_LIBRARY_NAME).string();
}

std::unique_ptr<cli::TLateBoundMailer> CreateMailer(const std::vector<std::string>& args) {
    if (!cli::NeedsInProcessMailer(args)) {
        std::unique_ptr<cli::TComMailer> mailer;
        const com::HResult hr = cli::TComMailer::Create(ServerLibraryBesideProgram(), mailer);
        if (!com::Failed(hr)) return mailer;
        // The same object is built in: nothing named by an untrusted registry
        // is loaded, and the run goes on.
        if (const std::string fault = platform::RegistryStoreFault(); !fault.empty()) {
            std::cerr << "quillpost: " << fault
                      << ", so it is not used; using the built-in object\n";
            return std::make_unique<cli::TInProcessMailer>();
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        std::cerr << "quillpost: cannot create " << com::kMailerProgId << " through COM (" << code
                  << "); using the built-in object\n";
    }
    return std::make_unique<cli::TInProcessMailer>();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        // A composed message must reach standard output with its CR LF intact.
        platform::SetBinaryMode(platform::kStandardOutput);
        const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
        if (cli::IsDecodeCommand(args)) {
            // Decoding needs no Mailer object and no COM.
            cli::TStdioStream out(stdout);
            cli::TConsole console{std::cout, std::cerr, out, false};
            const int status = cli::RunDecodeCommand(args, console);
            return std::fflush(stdout) == 0 ? status : cli::kExitError;
        }
        if (cli::IsDkimRecordCommand(args)) {
            cli::TStdioStream out(stdout);
            cli::TConsole console{std::cout, std::cerr, out, false};
            return cli::RunDkimRecordCommand(args, console);
        }
        const bool progressBar = platform::IsTerminal(platform::kStandardError);
        const bool comReady = SUCCEEDED(platform::ComInitialize());
        int status = cli::kExitError;
        {
            // The object goes before COM is left.
            std::unique_ptr<cli::TLateBoundMailer> mailer =
                comReady ? CreateMailer(args) : std::make_unique<cli::TInProcessMailer>();
            cli::TStdioStream out(stdout);
            cli::TConsole console{std::cout, std::cerr, out, progressBar};
            status = cli::RunCommandLine(*mailer, args, console);
        }
        if (comReady) platform::ComUninitialize();
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
