#include "cli/decode_command.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "base/ascii.h"
#include "cli/safe_file_name.h"
#include "cli/stdio_stream.h"
#include "decoding/custom_decoder.h"
#include "message/message.h"
#include "platform/console.h"
#include "util/errors.h"

namespace quillpost::cli {
namespace {

constexpr std::string_view kUsage = "Usage: quillpost --decode FILE|- [--to DIR]";
// Past this many taken names for one attachment, the folder is not one to
// keep numbering in.
constexpr unsigned kNumberedNamesMax = 10000;

class EDecodeUsage : public std::runtime_error {
public:
    explicit EDecodeUsage(const std::string& text) : std::runtime_error(text) {}
};

struct TDecodeOptions {
    std::string file;
    std::optional<std::string> folder;
};

// The value of Option Name at Args[At], as "--name VALUE" or "--name=VALUE";
// nullopt when Args[At] is another option.
std::optional<std::string> OptionValue(std::span<const std::string> args, std::size_t& at,
                                       std::string_view name) {
    const std::string_view arg = args[at];
    const std::size_t eq = arg.find('=');
    if (!SameTextIgnoringCase(arg.substr(0, eq), name)) return std::nullopt;
    ++at;
    if (eq != std::string_view::npos) return std::string(arg.substr(eq + 1));
    if (at >= args.size() || args[at].starts_with("--"))
        throw EDecodeUsage("missing value for " + std::string(name));
    return args[at++];
}

TDecodeOptions ParseDecodeOptions(std::span<const std::string> args) {
    TDecodeOptions options;
    bool haveFile = false;
    for (std::size_t at = 0; at < args.size();) {
        if (auto file = OptionValue(args, at, "--decode")) {
            if (haveFile) throw EDecodeUsage("--decode is given twice");
            options.file = *file;
            haveFile = true;
        } else if (auto folder = OptionValue(args, at, "--to")) {
            if (options.folder) throw EDecodeUsage("--to is given twice");
            options.folder = *folder;
        } else {
            throw EDecodeUsage("--decode takes only --to beside it, not \"" + args[at] + "\"");
        }
    }
    if (options.file.empty())
        throw EDecodeUsage("--decode needs a file name, or - for standard input");
    if (options.folder && options.folder->empty()) throw EDecodeUsage("--to needs a folder");
    return options;
}

std::string ReadStandardInput() {
    platform::SetBinaryMode(platform::kStandardInput);
    std::string bytes;
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;)
        bytes.append(chunk, n);
    if (std::ferror(stdin)) throw EInOutError("Cannot read standard input");
    return bytes;
}

// A name as it is shown: quoted, with quotes, backslashes, control
// characters and bytes that are not UTF-8 escaped, so a sender's name can
// neither break the line nor reach the terminal as a command.
std::string Shown(std::string_view name) {
    const auto escaped = [](std::string& out, unsigned char c) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out.append(escape);
        } else {
            out.push_back(static_cast<char>(c));
        }
    };
    return "\"" + MapSingleBytes(name, escaped) + "\"";
}

void PrintPart(std::ostream& out, std::string_view type, std::size_t size,
               std::string_view encoding, std::string_view name) {
    char columns[128];
    std::snprintf(columns, sizeof columns, "%-26.*s  %10zu  %-16.*s  ",
                  static_cast<int>(type.size()), type.data(), size,
                  static_cast<int>(encoding.size()), encoding.data());
    out << columns << name << '\n';
}

// The body's line, as far as the message's own header block tells: the
// decoder keeps no header block of a multipart message's first part.
void PrintBody(std::ostream& out, const TmsMessage& message) {
    std::size_t size = 0;
    for (const std::string& line : message.Body()) size += line.size() + 2;
    if (size == 0) return;
    const std::string type = AsciiLowerText(GetHeaderValue(message.Headers(), "Content-Type"));
    if (type.find("multipart") != std::string::npos) {
        PrintPart(out, "text", size, "-", "(body)");
        return;
    }
    const std::string encoding =
        AsciiLowerText(GetHeaderValue(message.Headers(), "Content-Transfer-Encoding"));
    PrintPart(out, type.empty() ? "text/plain" : FirstToken(type), size,
              encoding.empty() ? "7bit" : encoding, "(body)");
}

std::string EncodingOf(const TmsMessage& message, const TmsAttItem& item) {
    if (message.Encoding() == meUU) return "x-uuencode";
    return AsciiLowerText(TransferEncodingName(item.TransferEncoding()));
}

// The reason a text could not be parsed, when the decoder ended that way:
// its notice closes the body and the whole text is the last attachment.
std::optional<std::string> ParseFailure(const TmsMessage& message) {
    const auto& body = message.Body().Lines();
    const TmsAttList& attachments = message.Attachments();
    if (body.size() < 3 || attachments.Count() == 0) return std::nullopt;
    const TmsAttItem& last = attachments.Items(attachments.Count() - 1);
    const std::size_t n = body.size();
    if (body[n - 3] != kDecodeNoticeHead || body[n - 1] != kDecodeNoticeTail ||
        last.FileName() != kOriginalFileName)
        return std::nullopt;
    return body[n - 2];
}

// Writes Item into Folder under its name made safe, numbered past names
// already taken; returns the name used. The file is created exclusively, so
// nothing in the folder is ever written through, however it got there.
std::string WriteAttachment(const std::string& folder, const TmsAttItem& item) {
    std::string path = folder;
    if (path.back() != '/' && path.back() != '\\') path += '/';
    const std::string safe = SafeFileName(item.FileName());
    for (unsigned number = 1; number <= kNumberedNamesMax; ++number) {
        const std::string name = NumberedFileName(safe, number);
        std::unique_ptr<TStdioStream> out = TStdioStream::CreateNew(path + name);
        if (!out) continue;
        try {
            const std::string& bytes = item.Data().Bytes();
            if (out->Write(bytes.data(), bytes.size()) != bytes.size())
                throw EInOutError("Cannot write file \"" + path + name + "\"");
            out->Finish();
        } catch (...) {
            out.reset();
            std::remove((path + name).c_str());
            throw;
        }
        return name;
    }
    throw EInOutError("Cannot create a file for " + Shown(safe) + " in \"" + folder +
                      "\": every numbered name is taken");
}

int Decode(const TDecodeOptions& options, TConsole& console) {
    TMemoryStream text;
    if (options.file == "-")
        text.Assign(ReadStandardInput());
    else
        text.LoadFromFile(options.file);
    TmsMessage message;
    message.DecodeFromStream(text);

    PrintBody(console.out, message);
    const TmsAttList& attachments = message.Attachments();
    for (std::int32_t i = 0; i < attachments.Count(); ++i) {
        const TmsAttItem& item = attachments.Items(i);
        std::string name = Shown(item.FileName());
        if (options.folder) name += " -> " + Shown(WriteAttachment(*options.folder, item));
        PrintPart(console.out, item.ContentType(), item.Data().Bytes().size(),
                  EncodingOf(message, item), name);
    }
    if (const auto failure = ParseFailure(message)) {
        console.err << "quillpost: --decode: " << *failure << "; the whole text is kept as "
                    << kOriginalFileName << '\n';
        return kExitFalse;
    }
    return kExitSuccess;
}

}  // namespace

bool IsDecodeCommand(std::span<const std::string> args) {
    for (const std::string& arg : args) {
        const std::string_view name = std::string_view(arg).substr(0, arg.find('='));
        if (SameTextIgnoringCase(name, "--decode")) return true;
    }
    return false;
}

int RunDecodeCommand(std::span<const std::string> args, TConsole& console) {
    TDecodeOptions options;
    try {
        options = ParseDecodeOptions(args);
    } catch (const EDecodeUsage& e) {
        console.err << "quillpost: " << e.what() << '\n' << kUsage << '\n';
        return kExitError;
    }
    int status = kExitError;
    try {
        status = Decode(options, console);
    } catch (const std::exception& e) {
        console.err << "quillpost: --decode: " << e.what() << '\n';
        return kExitError;
    }
    if (!console.out.flush()) {
        console.err << "quillpost: cannot write to standard output\n";
        return kExitError;
    }
    return status;
}

}  // namespace quillpost::cli
