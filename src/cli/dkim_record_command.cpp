#include "cli/dkim_record_command.h"

#include "base/ascii.h"
#include "base/errors.h"
#include "base/secret.h"
#include "encoding/dkim_signer.h"
#include "message/address_syntax.h"
#include "util/stream.h"

namespace quillpost::cli {

bool IsDkimRecordCommand(std::span<const std::string> args) {
    return !args.empty() && SameTextIgnoringCase(args[0], "--dkim-record");
}

int RunDkimRecordCommand(std::span<const std::string> args, TConsole& console) {
    if (args.size() != 4) {
        console.err << "quillpost: usage: quillpost --dkim-record KEYFILE SELECTOR DOMAIN\n";
        return kExitError;
    }
    const std::string& selector = args[2];
    const std::string& domain = args[3];
    for (const std::string* name : {&selector, &domain}) {
        if (!IsDnsName(*name)) {
            console.err << "quillpost: --dkim-record: " << QuotedForMessage(*name)
                        << " is not a DNS name\n";
            return kExitError;
        }
    }
    try {
        TSecret pem;  // wiped also when the key is refused
        pem.Buffer() = ReadWholeFile(args[1]);
        const TDkimSigner signer({domain, selector, {}, -1}, pem.Text());
        console.out << signer.DnsRecord() << '\n';
        return kExitSuccess;
    } catch (const EQuillpostError& e) {
        console.err << "quillpost: --dkim-record: " << e.what() << '\n';
        return kExitError;
    }
}

}  // namespace quillpost::cli
