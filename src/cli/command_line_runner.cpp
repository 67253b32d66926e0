#include "cli/command_line_runner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/console_text.h"
#include "cli/progress_bar.h"
#include "cli/stdio_stream.h"
#include "encoding/temp_file_stream.h"
#include "mailer/com/member_table.h"
#include "platform/console.h"
#include "util/errors.h"

namespace quillpost::cli {
namespace {

using com::HResult;
using com::TMemberInfo;
using com::TMemberKind;
using com::TVariant;

constexpr std::string_view kProgram = "quillpost";
constexpr std::string_view kObjectName = "Quillpost.Mailer";

// A command line this program cannot run; the text says why.
class EUsage : public std::runtime_error {
public:
    explicit EUsage(const std::string& text) : std::runtime_error(text) {}
};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool SameAscii(std::string_view a, std::string_view b) {
    return com::SameName(platform::ConsoleToWide(a), b);
}

const TMemberInfo* FindRow(std::string_view name, TMemberKind kind) {
    const std::u16string wide = platform::ConsoleToWide(name);
    for (const TMemberInfo& row : com::MailerMembers())
        if (row.kind == kind && com::SameName(wide, row.name)) return &row;
    return nullptr;
}

bool IsOption(std::string_view arg) { return arg.size() >= 2 && arg.substr(0, 2) == "--"; }

// ---- values ----

// As a script converts a number: any integer but zero is true.
TVariant ParseBoolean(std::string_view option, std::string_view text) {
    if (SameAscii(text, "true")) return TVariant::Bool(kWordTrue);
    if (SameAscii(text, "false")) return TVariant::Bool(kWordFalse);
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        throw EUsage(std::string(option) + ": " + Quoted(text) +
                     " is not a Boolean (true, false or an integer)");
    const bool zero = digits.find_first_not_of('0') == std::string_view::npos;
    return TVariant::Bool(zero ? kWordFalse : kWordTrue);
}

TVariant ParseInteger(std::string_view option, std::string_view text, com::VarType type) {
    // An optional sign, then decimal digits only: no blanks, radix forms or grouping.
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    const bool allDigits =
        !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!allDigits)
        throw EUsage(std::string(option) + ": " + Quoted(text) + " is not a decimal integer");
    long long value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (text.front() == '-') value = -value;

    const bool wide = type == com::kVtI4;
    const long long low =
        wide ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int16_t>::min();
    const long long high =
        wide ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int16_t>::max();
    if (ec == std::errc::result_out_of_range || value < low || value > high)
        throw EUsage(std::string(option) + ": " + std::string(text) + " is out of range (" +
                     std::to_string(low) + " to " + std::to_string(high) + ")");
    return wide ? TVariant::I4(static_cast<std::int32_t>(value))
                : TVariant::I2(static_cast<std::int16_t>(value));
}

TVariant ParseValue(std::string_view option, std::string_view text, com::VarType type) {
    switch (type) {
        case com::kVtBool:
            return ParseBoolean(option, text);
        case com::kVtI2:
        case com::kVtI4:
            return ParseInteger(option, text, type);
        default:
            return TVariant::Bstr(platform::ConsoleToWide(text));
    }
}

std::string ValueText(const TVariant& v) {
    switch (v.Type()) {
        case com::kVtBstr:
            return platform::WideToConsole(v.AsBstr());
        case com::kVtBool:
            return IsTrue(v.AsBool()) ? "true" : "false";
        case com::kVtI2:
            return std::to_string(v.AsI2());
        case com::kVtI4:
            return std::to_string(v.AsI4());
        case com::kVtUi1:
            return std::to_string(v.AsUi1());
        default:
            return "";
    }
}

// ---- parsing ----

struct TStep {
    enum class TKind { Call, Put, Get, Compose };
    TKind kind;
    const TMemberInfo* member = nullptr;
    std::vector<TVariant> args;
    std::string file;
};

struct TCommand {
    bool help = false;
    std::vector<TStep> steps;
};

class TParser {
public:
    explicit TParser(std::span<const std::string> args) : args_(args) {}

    TCommand Parse() {
        TCommand command;
        while (next_ < args_.size()) {
            const std::string& arg = args_[next_++];
            if (arg == "-h" || arg == "-?") {
                command.help = true;
                return command;
            }
            if (!IsOption(arg) || arg.size() == 2)
                throw EUsage("unexpected argument " + Quoted(arg) + " (see --help)");

            const std::string_view body = std::string_view(arg).substr(2);
            const std::size_t eq = body.find('=');
            name_ = body.substr(0, eq);
            option_ = "--" + std::string(name_);
            inline_.reset();
            if (eq != std::string_view::npos) inline_ = std::string(body.substr(eq + 1));

            if (SameAscii(name_, "help")) {
                command.help = true;
                return command;
            }
            command.steps.push_back(ParseOption());
        }
        return command;
    }

private:
    TStep ParseOption() {
        if (SameAscii(name_, "get")) {
            const std::string member = Values(1, {})[0];
            return GetStep(member);
        }
        if (SameAscii(name_, "compose")) {
            TStep step{TStep::TKind::Compose};
            step.file = Values(1, {})[0];
            if (step.file.empty())
                throw EUsage("--compose needs a file name, or - for standard output");
            return step;
        }
        if (const std::optional<TStep> step = IndirectStep()) return *step;
        if (const TMemberInfo* row = FindRow(name_, TMemberKind::Method))
            return MemberStep(TStep::TKind::Call, *row);
        if (const TMemberInfo* row = FindRow(name_, TMemberKind::PropertyPut))
            return MemberStep(TStep::TKind::Put, *row);
        // A read-only property named alone prints itself: "--Version".
        if (FindRow(name_, TMemberKind::PropertyGet)) {
            if (inline_) throw EUsage(std::string(name_) + " is read-only");
            return GetStep(std::string(name_));
        }
        throw EUsage("unknown member " + Quoted(name_) + " (see --help)");
    }

    // "--Member-env VARIABLE" and "--Member-file FILE": a String property's
    // value from outside the arguments, which every local user can read.
    // Read now, so a missing file stops the line before anything runs.
    std::optional<TStep> IndirectStep() {
        const std::size_t dash = name_.rfind('-');
        if (dash == std::string_view::npos || FindRow(name_, TMemberKind::PropertyPut)) return {};
        const std::string_view source = name_.substr(dash + 1);
        const bool fromFile = SameAscii(source, "file");
        if (!fromFile && !SameAscii(source, "env")) return {};
        const TMemberInfo* row = FindRow(name_.substr(0, dash), TMemberKind::PropertyPut);
        if (row == nullptr) return {};
        if (row->params[0].type != com::kVtBstr)
            throw EUsage(option_ + ": " + std::string(row->name) + " is not a text property");
        const std::string where = Values(1, {})[0];
        if (fromFile && where == "-" && std::exchange(readInput_, true))
            throw EUsage(option_ + ": standard input is already read by an earlier option");
        TStep step{TStep::TKind::Put, row};
        try {
            const std::string value =
                fromFile ? ValueFromFile(where, stdin) : ValueFromEnvironment(where);
            step.args.push_back(TVariant::Bstr(platform::ConsoleToWide(value)));
        } catch (const std::runtime_error& e) {
            throw EUsage(option_ + ": " + e.what());
        }
        return step;
    }

    TStep MemberStep(TStep::TKind kind, const TMemberInfo& row) {
        TStep step{kind, &row};
        const std::vector<std::string> values = Values(row.params.size(), row.params);
        for (std::size_t i = 0; i < values.size(); ++i)
            step.args.push_back(ParseValue(option_, values[i], row.params[i].type));
        return step;
    }

    TStep GetStep(const std::string& name) {
        TStep step{TStep::TKind::Get};
        step.member = FindRow(name, TMemberKind::PropertyGet);
        if (step.member != nullptr) return step;
        if (FindRow(name, TMemberKind::PropertyPut))
            throw EUsage(Canonical(name) + " is write-only; it cannot be read");
        if (FindRow(name, TMemberKind::Method))
            throw EUsage(Canonical(name) + " is a method; run it as --" + Canonical(name));
        throw EUsage("unknown member " + Quoted(name) + " (see --help)");
    }

    static std::string Canonical(const std::string& name) {
        for (TMemberKind kind : {TMemberKind::PropertyPut, TMemberKind::Method})
            if (const TMemberInfo* row = FindRow(name, kind)) return std::string(row->name);
        return name;
    }

    // The Count values that follow the option, or the one given after "=".
    std::vector<std::string> Values(std::size_t count, std::span<const com::TParamInfo> params) {
        if (inline_) {
            if (count == 1) return {*inline_};
            throw EUsage(option_ + (count == 0 ? " takes no value"
                                               : " takes " + std::to_string(count) +
                                                     " values; write them after it"));
        }
        std::vector<std::string> values;
        while (values.size() < count) {
            if (next_ >= args_.size() || IsOption(args_[next_])) {
                std::string text = "missing value for " + option_;
                if (count > 1) {
                    text += " (it takes";
                    for (const com::TParamInfo& p : params) text += " " + std::string(p.name);
                    text += ")";
                }
                if (next_ < args_.size() && count == 1)
                    text += "; a value that begins with \"--\" is written " + option_ + "=VALUE";
                throw EUsage(text);
            }
            values.push_back(args_[next_++]);
        }
        return values;
    }

    std::span<const std::string> args_;
    std::size_t next_ = 0;
    std::string_view name_;
    std::string option_;
    std::optional<std::string> inline_;
    bool readInput_ = false;
};

// ---- running ----

class TRunner {
public:
    TRunner(TLateBoundMailer& mailer, TConsole& console) : mailer_(mailer), console_(console) {}

    int Run(const std::vector<TStep>& steps) {
        if (console_.errIsTerminal) {
            bar_.emplace(console_.err);
            mailer_.SetSendProgress(
                [this](std::int64_t sent, std::int64_t total) { bar_->Update(sent, total); });
        }
        int status = kExitSuccess;
        for (const TStep& step : steps) {
            try {
                status = RunStep(step);
            } catch (const std::exception& e) {
                status = Fail(step, e.what());
            }
            if (status != kExitSuccess) break;
        }
        if (bar_) mailer_.SetSendProgress({});
        if (status == kExitSuccess && !console_.out.flush()) {
            console_.err << kProgram << ": cannot write to standard output\n";
            status = kExitError;
        }
        return status;
    }

private:
    int RunStep(const TStep& step) {
        switch (step.kind) {
            case TStep::TKind::Put:
                if (step.member->name == "PGPTimeOut") pgpTimeOut_ = step.args[0].AsI4();
                return Invoke(step, com::kDispatchPropertyPut, nullptr);
            case TStep::TKind::Get: {
                TVariant value;
                const int status = Invoke(step, com::kDispatchPropertyGet, &value);
                if (status == kExitSuccess) console_.out << VisibleText(ValueText(value)) << '\n';
                return status;
            }
            case TStep::TKind::Call: {
                const std::string before = AnswersInResponse(*step.member) ? Get("Response") : "";
                TVariant result;
                const int status = Invoke(step, com::kDispatchMethod, &result);
                if (status != kExitSuccess || result.Type() != com::kVtBool) return status;
                if (!IsTrue(result.AsBool())) return Answered(step, before);
                if (step.member->name == "SendMail") NoteRefusedRecipients();
                return status;
            }
            case TStep::TKind::Compose:
                return Compose(step);
        }
        return kExitSuccess;
    }

    int Invoke(const TStep& step, std::uint16_t flags, TVariant* result) {
        com::TExcepInfo excep;
        const HResult hr = mailer_.Invoke(step.member->name, flags, step.args, result, &excep);
        EndBar();
        if (hr == com::kDISP_E_EXCEPTION)
            return Fail(step, platform::WideToConsole(excep.record.source) + ": " +
                                  platform::WideToConsole(excep.record.description));
        // The object behind COM may be older than this program's member table.
        if (hr == com::kDISP_E_UNKNOWNNAME)
            return Fail(step, "unknown member of " + std::string(kObjectName) + " (see --help)");
        if (com::Failed(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
            return Fail(step, std::string("automation error ") + code);
        }
        return kExitSuccess;
    }

    static bool AnswersInResponse(const TMemberInfo& member) {
        return member.name == "SendMail" || member.name == "GetBodyTextFromFile";
    }

    // Methods whose false always comes with a new Response: a value refused.
    static bool RefusesInResponse(const TMemberInfo& member) {
        for (std::string_view name :
             {"AddRecipient", "AddCC", "AddBCC", "AddExtraHeader", "AddEmbeddedImage"})
            if (member.name == name) return true;
        return false;
    }

    // A property's value as text; empty when it cannot be read.
    std::string Get(std::string_view name) {
        TVariant value;
        const HResult hr = mailer_.Invoke(name, com::kDispatchPropertyGet, {}, &value, nullptr);
        return com::Failed(hr) ? std::string() : ValueText(value);
    }

    // A send that went out though the server refused some recipients says
    // so on standard error, one line for each; the send still succeeded.
    void NoteRefusedRecipients() {
        const std::string refused = Get("RefusedRecipients");
        if (refused.empty()) return;
        console_.err << kProgram << ": SendMail: " << VisibleText(Get("Response")) << '\n';
        for (std::size_t start = 0; start < refused.size();) {
            std::size_t end = refused.find("\r\n", start);
            if (end == std::string::npos) end = refused.size();
            std::string line = refused.substr(start, end - start);
            std::ranges::replace(line, '\t', ' ');
            console_.err << kProgram << ": refused: " << VisibleText(line) << '\n';
            start = end + 2;
        }
    }

    // A method answered false: a mail-level failure, not an error. Response
    // before the call tells a new reason from an old one.
    int Answered(const TStep& step, const std::string& before) {
        const TMemberInfo& member = *step.member;
        console_.err << kProgram << ": " << member.name;
        if (!AnswersInResponse(member)) {
            const std::string text = RefusesInResponse(member) ? Get("Response") : "";
            console_.err << (text.empty() ? " returned false" : " failed: " + VisibleText(text))
                         << '\n';
            return kExitFalse;
        }
        const std::string text = Get("Response");
        console_.err << " failed: "
                     << VisibleText(text.empty() || text == before ? Unexplained(step) : text)
                     << '\n';
        return kExitFalse;
    }

    // Why a method failed without writing Response: GetBodyTextFromFile does
    // so only when it cannot enter the folder of PGPPath or PGPTimeOut does
    // not give a wait in milliseconds.
    std::string Unexplained(const TStep& step) {
        if (step.member->name != "GetBodyTextFromFile")
            return "no reason given (Response is unchanged)";
        std::string text = "nothing read from " + Quoted(ValueText(step.args[0])) +
                           ": the folder of PGPPath " + Quoted(Get("PGPPath")) +
                           " could not be made current";
        const std::int64_t ms = std::int64_t{pgpTimeOut_} * 100;
        const bool runsProgram = !Get("PGPPath").empty() && !Get("PGPParams").empty();
        if (runsProgram && (ms < 0 || ms > std::numeric_limits<std::int32_t>::max()))
            text += ", or PGPTimeOut " + std::to_string(pgpTimeOut_) +
                    " is out of range (0 to 21474836 tenths of a second)";
        return text;
    }

    // The message is composed in full before the destination is touched: a
    // failure leaves no half-written file, and an existing file as it was.
    // A message that cannot be composed (an attachment that cannot be read,
    // say) is the failure for which SendMail answers false: status 1.
    int Compose(const TStep& step) {
        const std::string& file = step.file;
        TTempFileStream composed;
        try {
            mailer_.ComposeMessage(composed);
        } catch (const EQuillpostError& e) {
            Fail(step, e.what());
            return kExitFalse;
        }
        if (file == "-") {
            console_.outBytes.CopyFrom(composed, 0);
            return kExitSuccess;
        }
        std::unique_ptr<TStdioStream> out = TStdioStream::Create(file);
        try {
            out->CopyFrom(composed, 0);
            out->Finish();
        } catch (...) {
            out.reset();
            std::remove(file.c_str());
            throw;
        }
        return kExitSuccess;
    }

    // A bar left standing by a send that stopped early must not run into
    // the next message.
    void EndBar() {
        if (bar_) bar_->Finish();
    }

    int Fail(const TStep& step, const std::string& text) {
        EndBar();
        console_.err << kProgram << ": ";
        if (step.member != nullptr)
            console_.err << step.member->name << ": ";
        else if (step.kind == TStep::TKind::Compose)
            console_.err << "--compose: ";
        console_.err << VisibleText(text) << '\n';
        return kExitError;
    }

    TLateBoundMailer& mailer_;
    TConsole& console_;
    std::optional<TProgressBar> bar_;
    // PGPTimeOut cannot be read back: the last value put, or the object's default.
    std::int32_t pgpTimeOut_ = 45;
};

// ---- help ----

std::string ArgumentText(com::VarType type) {
    switch (type) {
        case com::kVtBool:
            return "true|false";
        case com::kVtI2:
        case com::kVtI4:
            return "NUMBER";
        default:
            return "TEXT";
    }
}

void AppendWrapped(std::string& out, std::string_view text, std::size_t indent, std::size_t width) {
    std::size_t column = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        const std::string_view word = text.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) continue;
        if (column == 0) {
            out.append(indent, ' ');
            column = indent;
        } else if (column + 1 + word.size() > width) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    if (column != 0) out += '\n';
}

}  // namespace

std::string HelpText() {
    std::string text =
        "Usage: quillpost [--Member [VALUE...]]... [--get Member]... [--compose FILE|-]\n"
        "       quillpost --decode FILE|- [--to DIR]\n"
        "       quillpost --dkim-record KEYFILE SELECTOR DOMAIN\n"
        "       quillpost --help\n"
        "\n"
        "Runs the members of one Quillpost.Mailer object in the order given. Member\n"
        "names are matched without regard to case. A property takes one value, a\n"
        "method as many values as it has arguments. Booleans are true or false (or\n"
        "an integer, true unless 0), numbers decimal. A value that begins with \"--\"\n"
        "is written --Member=VALUE. Nothing runs unless the whole line is understood.\n"
        "\n"
        "Options:\n"
        "  --get Member      print the value of a property on standard output\n"
        "  --compose FILE    write the text that sending would transmit after DATA to\n"
        "                    FILE (- for standard output), without connecting\n"
        "  --decode FILE     read a received message from FILE (- for standard input)\n"
        "                    and list its parts: type, size, transfer encoding, name\n"
        "  --to DIR          with --decode: write each attachment into the folder DIR\n"
        "                    under its name made safe, never over an existing file\n"
        "  --dkim-record KEYFILE SELECTOR DOMAIN\n"
        "                    print the DNS TXT record that publishes the public half\n"
        "                    of the PEM key KEYFILE for DKIMSelector and DKIMDomain\n"
        "  --Name-env VAR    set the text property Name to the value of the environment\n"
        "                    variable VAR\n"
        "  --Name-file FILE  set the text property Name to the contents of FILE (- for\n"
        "                    standard input) without one trailing line end; with -env,\n"
        "                    keeps a Password or AccessToken out of the command line,\n"
        "                    which other users of the machine can read\n"
        "  --help            show this text\n"
        "\n"
        "Examples:\n"
        "  quillpost --RemoteHost mail.example.com:25 --FromAddress ann@example.com \\\n"
        "            --AddRecipient \"Bob Smith\" bob@example.com --Subject \"Report\" \\\n"
        "            --BodyText \"The report is attached.\" --AddAttachment report.pdf \\\n"
        "            --SendMail\n"
        "  quillpost --FromAddress ann@example.com --AddRecipient Bob bob@example.com \\\n"
        "            --Subject Hello --BodyText Hi --compose message.txt\n"
        "  quillpost --get Version\n"
        "\n"
        "Text the server sent is printed with its control characters as escapes\n"
        "(\\x1b).\n"
        "\n"
        "Exit status: 0 when every member succeeded; 1 when SendMail or\n"
        "GetBodyTextFromFile (whose Response is then printed), or an Add method,\n"
        "returned false; 2 for a usage error or a member that failed. --decode:\n"
        "0 when the message was parsed, 1 when it was not (the whole text is then\n"
        "its attachment original.eml), 2 for a usage error or a file that cannot be\n"
        "read or written.\n";

    text += "\nMethods:\n";
    for (const TMemberInfo& row : com::MailerMembers()) {
        if (row.kind != TMemberKind::Method) continue;
        text += "  --" + std::string(row.name);
        for (const com::TParamInfo& p : row.params) text += " " + std::string(p.name);
        text += '\n';
        AppendWrapped(text, row.help, 6, 79);
    }

    text += "\nProperties (--Name VALUE sets one, --get Name prints it):\n";
    const auto members = com::MailerMembers();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const TMemberInfo& row = members[i];
        if (row.kind == TMemberKind::Method) continue;
        // One entry per property: its get row, or its put row when it has none.
        const TMemberInfo* put = com::FindMember(row.dispId, TMemberKind::PropertyPut);
        const TMemberInfo* get = com::FindMember(row.dispId, TMemberKind::PropertyGet);
        if (row.kind == TMemberKind::PropertyPut && get != nullptr) continue;
        text += "  --" + std::string(row.name);
        if (put != nullptr) text += " " + ArgumentText(put->params[0].type);
        if (put == nullptr) text += "  (read-only)";
        if (get == nullptr) text += "  (write-only)";
        text += '\n';
        std::string_view help = get != nullptr ? get->help : put->help;
        if (help.empty() && put != nullptr) help = put->help;
        AppendWrapped(text, help, 6, 79);
    }
    return text;
}

int RunCommandLine(TLateBoundMailer& mailer, std::span<const std::string> args, TConsole& console) {
    TCommand command;
    try {
        command = TParser(args).Parse();
    } catch (const EUsage& e) {
        console.err << kProgram << ": " << VisibleText(e.what()) << '\n';
        return kExitError;
    }
    if (command.help) {
        console.out << HelpText() << std::flush;
        return console.out ? kExitSuccess : kExitError;
    }
    if (args.empty()) {
        console.err << "Usage: quillpost [--Member [VALUE...]]... [--get Member]... "
                       "[--compose FILE|-]\n"
                    << "Try quillpost --help for the members and examples.\n";
        return kExitError;
    }
    return TRunner(mailer, console).Run(command.steps);
}

}  // namespace quillpost::cli
