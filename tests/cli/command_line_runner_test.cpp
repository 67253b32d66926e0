#include "cli/command_line_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/fake_mailer.h"
#include "cli/in_process_mailer.h"
#include "mailer/com/member_table.h"
#include "platform/temp_file.h"
#include "util/stream.h"

namespace quillpost::cli {
namespace {

using Args = std::vector<std::string>;

struct TResult {
    int status;
    std::string out;
    std::string err;
    std::string bytes;  // what went to standard output as raw bytes
};

TResult RunLine(TLateBoundMailer& mailer, const Args& args, bool terminal = false) {
    std::ostringstream out, err;
    TMemoryStream bytes;
    TConsole console{out, err, bytes, terminal};
    const int status = RunCommandLine(mailer, args, console);
    return {status, out.str(), err.str(), bytes.Bytes()};
}

TResult RunLine(const Args& args) {
    TInProcessMailer mailer;
    return RunLine(mailer, args);
}

bool FileExists(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f != nullptr) std::fclose(f);
    return f != nullptr;
}

// A file name in the temporary directory that nothing else uses.
std::string ScratchName(const char* tag) {
    return platform::TempDirectory() + "quillpost_cli_" + tag + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
}

TEST(CommandLineRunner, RunsMembersInCommandLineOrderWhateverTheirCase) {
    TFakeMailer m;
    m.answer = true;  // no server is contacted
    const TResult r = RunLine(m, {"--remotehost",
                                  "mail.example.com:2525",
                                  "--FROMADDRESS",
                                  "a@example.com",
                                  "--AddRecipient",
                                  "Ann Lee",
                                  "ann@example.com",
                                  "--subject",
                                  "One",
                                  "--bodytext",
                                  "Hi",
                                  "--ClearBodyText",
                                  "--BodyText",
                                  "Hello",
                                  "--Priority",
                                  "1",
                                  "--urgent",
                                  "TRUE",
                                  "--PGPTimeOut",
                                  "-7",
                                  "--AddAttachment",
                                  "report.pdf",
                                  "--get",
                                  "SUBJECT",
                                  "--SendMail"});
    EXPECT_EQ(r.status, kExitSuccess) << r.err;
    const std::vector<std::string> want = {
        "put RemoteHost 'mail.example.com:2525'",
        "put FromAddress 'a@example.com'",
        "call AddRecipient 'Ann Lee' 'ann@example.com'",
        "put Subject 'One'",
        "put BodyText 'Hi'",
        "call ClearBodyText",
        "put BodyText 'Hello'",
        "put Priority i2:1",
        "put Urgent bool:-1",
        "put PGPTimeOut i4:-7",
        "call AddAttachment 'report.pdf'",
        "get Subject",
        "get Response",  // to tell a new reason for a failure from an old one
        "call SendMail",
        "get RefusedRecipients",
    };
    EXPECT_EQ(m.log, want);
    EXPECT_EQ(r.out, "One\n");
}

TEST(CommandLineRunner, PrintsValuesOfEveryKind) {
    struct Case {
        Args args;
        std::string out;
    };
    const Case cases[] = {
        {{"--get", "Version"}, "2.2\n"},
        {{"--version"}, "2.2\n"},  // a read-only property named alone prints itself
        {{"--get", "Response"}, "\n"},
        {{"--get", "Urgent"}, "false\n"},
        {{"--Urgent", "true", "--get", "Urgent"}, "true\n"},
        {{"--Urgent", "-1", "--get", "Urgent", "--Urgent", "False", "--get", "Urgent"},
         "true\nfalse\n"},
        // Any integer but zero is true, as in a script.
        {{"--Live", "0", "--get", "live", "--Live", "1", "--get", "live", "--Urgent", "-7", "--get",
          "Urgent", "--Urgent", "+00", "--get", "Urgent"},
         "false\ntrue\ntrue\nfalse\n"},
        {{"--get", "UseMSMailHeaders"}, "true\n"},
        {{"--get", "Encoding", "--Encoding", "1", "--get", "Encoding"}, "0\n1\n"},
        {{"--Priority", "+5", "--get", "Priority"}, "5\n"},
        {{"--TimeOut", "-32768", "--get", "TimeOut"}, "-32768\n"},
        {{"--WordWrapLen", "32767", "--get", "WordWrapLen"}, "32767\n"},
        {{"--Subject", "a", "--get", "Subject", "--subject", "b", "--GET", "subject"}, "a\nb\n"},
        {{"--Subject=--dashes --", "--get=Subject"}, "--dashes --\n"},
        {{"--Subject=a=b", "--get", "Subject"}, "a=b\n"},
        {{"--Subject", "", "--get", "Subject"}, "\n"},
        {{"--Subject", "-", "--get", "Subject"}, "-\n"},
        {{"--Subject",
          "Gr\xC3\xBC\xC3\x9F"
          "e",
          "--get", "Subject"},
         "Gr\xC3\xBC\xC3\x9F"
         "e\n"},
    };
    for (const Case& c : cases) {
        const TResult r = RunLine(c.args);
        EXPECT_EQ(r.status, kExitSuccess) << c.args[0] << " " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_EQ(r.err, "") << c.args[0];
    }
}

TEST(CommandLineRunner, RefusesAnUnusableLineBeforeRunningAnything) {
    struct Case {
        Args args;
        std::string err;
    };
    const Case cases[] = {
        {{"--Bogus"}, "unknown member \"Bogus\""},
        {{"--Subject", "x", "--SendMail", "--Sendmial"}, "unknown member \"Sendmial\""},
        {{"--Subject"}, "missing value for --Subject\n"},
        {{"--Subject", "--SendMail"},
         "missing value for --Subject; a value that begins with \"--\" is written --Subject=VALUE"},
        {{"--AddRecipient", "Ann"},
         "missing value for --AddRecipient (it takes strName strAddress)"},
        {{"--GetBodyTextFromFile", "body.txt", "true"},
         "(it takes strInputFile bolEraseInputFile bolShowWindow)"},
        {{"--Urgent", "yes"}, "--Urgent: \"yes\" is not a Boolean (true, false or an integer)"},
        {{"--Live", "1.0"}, "--Live: \"1.0\" is not a Boolean"},
        {{"--GetBodyTextFromFile", "b.txt", "true", "maybe"},
         "--GetBodyTextFromFile: \"maybe\" is not a Boolean"},
        {{"--Priority", "x"}, "--Priority: \"x\" is not a decimal integer"},
        {{"--Priority", " 5"}, "is not a decimal integer"},
        {{"--Priority", "&H10"}, "is not a decimal integer"},
        {{"--Priority", "1,000"}, "is not a decimal integer"},
        {{"--Priority", "+-5"}, "is not a decimal integer"},
        {{"--Priority", "-"}, "is not a decimal integer"},
        {{"--Priority", "5.0"}, "is not a decimal integer"},
        {{"--Priority", "32768"}, "--Priority: 32768 is out of range (-32768 to 32767)"},
        {{"--TimeOut", "-32769"}, "out of range"},
        {{"--PGPTimeOut", "2147483648"},
         "--PGPTimeOut: 2147483648 is out of range (-2147483648 to 2147483647)"},
        {{"--MarkRegistry", "99999999999999999999999"}, "out of range"},
        {{"--get"}, "missing value for --get"},
        {{"--get", "BodyText"}, "BodyText is write-only"},
        {{"--get", "pgptimeout"}, "PGPTimeOut is write-only"},
        {{"--get", "sendmail"}, "SendMail is a method; run it as --SendMail"},
        {{"--get", "Nothing"}, "unknown member \"Nothing\""},
        {{"--compose"}, "missing value for --compose"},
        {{"--compose="}, "--compose needs a file name"},
        {{"--SendMail=yes"}, "--SendMail takes no value"},
        {{"--AddRecipient=Ann"}, "--AddRecipient takes 2 values"},
        {{"--Version=3"}, "Version is read-only"},
        {{"stray"}, "unexpected argument \"stray\""},
        {{"--Subject", "a", "b"}, "unexpected argument \"b\""},
        {{"--"}, "unexpected argument \"--\""},
        {{}, "Usage: quillpost"},
    };
    for (const Case& c : cases) {
        TFakeMailer m;
        const TResult r = RunLine(m, c.args);
        const std::string label = c.args.empty() ? "(none)" : c.args.back();
        EXPECT_EQ(r.status, kExitError) << label;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << label << ": " << r.err;
        EXPECT_TRUE(m.log.empty()) << label;
        EXPECT_EQ(r.out, "") << label;
    }
}

TEST(CommandLineRunner, AnAutomationErrorStopsTheRunWithItsSourceAndText) {
    TFakeMailer m;
    m.failing = "Urgent";
    const TResult r = RunLine(m, {"--Subject", "a", "--Urgent", "true", "--get", "Subject"});
    EXPECT_EQ(r.status, kExitError);
    EXPECT_EQ(r.err, "quillpost: Urgent: Test.Source: It broke\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(m.log.back(), "put Urgent bool:-1");
}

TEST(CommandLineRunner, AFalseAnswerIsExitStatusOneWithTheResponse) {
    struct Case {
        Args args;
        bool answer;
        std::string response;
        int status;
        std::string err;
        std::string refused = "";
    };
    const Case cases[] = {
        {{"--SendMail", "--get", "Subject"},
         false,
         "550 No such user here",
         kExitFalse,
         "quillpost: SendMail failed: 550 No such user here\n"},
        {{"--SendMail"},
         false,
         "",
         kExitFalse,
         "quillpost: SendMail failed: no reason given (Response is unchanged)\n"},
        {{"--GetBodyTextFromFile", "body.txt", "false", "0", "--SendMail"},
         false,
         "Input file not found",
         kExitFalse,
         "quillpost: GetBodyTextFromFile failed: Input file not found\n"},
        {{"--SendMail", "--get", "Subject"}, true, "old text", kExitSuccess, ""},
        // Sent, though not to everyone: each refused address on a line of its own.
        {{"--SendMail", "--get", "Subject"},
         true,
         "2 of 3 recipients refused",
         kExitSuccess,
         "quillpost: SendMail: 2 of 3 recipients refused\n"
         "quillpost: refused: a@example.com 550 No such user\n"
         "quillpost: refused: b@example.com 451 \\x1b[2J later\n",
         "a@example.com\t550 No such user\r\nb@example.com\t451 \x1b[2J later"},
    };
    for (const Case& c : cases) {
        TFakeMailer m;
        m.answer = c.answer;
        m.response = c.response;
        m.refused = c.refused;
        const TResult r = RunLine(m, c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        // Nothing after a false answer runs; after a true one the rest does.
        EXPECT_EQ(r.out, c.answer ? "\n" : "") << c.args[0];
        const std::string last = c.answer                 ? "get Subject"
                                 : c.status == kExitFalse ? "get Response"
                                                          : "";
        EXPECT_EQ(m.log.back(), last) << c.args[0];
    }
}

// GetBodyTextFromFile leaves Response as it was when it cannot enter the
// folder of PGPPath or PGPTimeOut gives no wait: the program says which.
TEST(CommandLineRunner, AFailureThatLeavesResponseAloneSaysWhatFailedAndWhy) {
    const std::string temp = platform::TempDirectory();
    const std::string pgp = temp + "no_such_dir_quillpost" + temp.back() + "pgp";
    const std::string failed =
        "quillpost: GetBodyTextFromFile failed: nothing read from "
        "\"body.txt\": the folder of PGPPath \"" +
        pgp + "\" could not be made current";
    struct Case {
        Args args;
        std::string err;
    } cases[] = {
        {{"--PGPPath", pgp}, failed + "\n"},
        {{"--PGPPath", pgp, "--PGPParams", "-e", "--PGPTimeOut", "30000000"},
         failed + ", or PGPTimeOut 30000000 is out of range (0 to 21474836 tenths of a second)\n"},
    };
    for (Case& c : cases) {
        for (const char* arg : {"--GetBodyTextFromFile", "body.txt", "false", "false"})
            c.args.push_back(arg);
        const TResult r = RunLine(c.args);
        EXPECT_EQ(r.status, kExitFalse);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(CommandLineRunner, AnAddMethodAnsweringFalseStopsTheRun) {
    // An address with a line break is refused by the object.
    TFakeMailer m;
    const TResult r =
        RunLine(m, {"--AddRecipient", "Ann", "ann@example.com\r\nRCPT TO:<x@y>", "--SendMail"});
    EXPECT_EQ(r.status, kExitFalse);
    EXPECT_EQ(r.err,
              "quillpost: AddRecipient failed: The address \"ann@example.com\\r\\nRCPT "
              "TO:<x@y>\" is not a valid mail address\n");
    EXPECT_EQ(m.log.size(), 2u) << "the call and the Response it left";
}

TEST(CommandLineRunner, HelpListsEveryMemberWithItsHelpAndRunsNothing) {
    TFakeMailer m;
    const TResult r = RunLine(m, {"--Subject", "x", "--HELP", "--Bogus"});
    EXPECT_EQ(r.status, kExitSuccess);
    EXPECT_TRUE(m.log.empty());
    EXPECT_EQ(r.out, HelpText());

    const std::string& help = r.out;
    EXPECT_EQ(help.rfind("Usage: quillpost ", 0), 0u);
    for (const char* part :
         {"Examples:", "Methods:", "Properties", "--get Member", "--compose FILE",
          "--AddRecipient strName strAddress\n",
          "--GetBodyTextFromFile strInputFile bolEraseInputFile bolShowWindow\n",
          "--MarkRegistry thdModel\n", "--Response  (read-only)\n",
          "--BodyText TEXT  (write-only)\n", "--Urgent true|false\n", "--Priority NUMBER\n"})
        EXPECT_NE(help.find(part), std::string::npos) << part;

    // The help strings are wrapped; compare them with the lines joined.
    std::string joined;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 79u) << line;
        const std::size_t text = line.find_first_not_of(' ');
        if (text != std::string::npos) joined += line.substr(text) + " ";
    }
    for (const com::TMemberInfo& row : com::MailerMembers()) {
        EXPECT_NE(help.find("  --" + std::string(row.name)), std::string::npos) << row.name;
        if (!row.help.empty()) {
            EXPECT_NE(joined.find(std::string(row.help)), std::string::npos) << row.name;
        }
    }
    // Each member once: a property's get and put rows share one entry.
    EXPECT_EQ(help.find("--Subject TEXT"), help.rfind("--Subject TEXT"));
}

TEST(CommandLineRunner, ComposeWritesTheExactTextAtItsPlaceInTheOrder) {
    const std::string first = ScratchName("first");
    TFakeMailer m;
    const TResult r =
        RunLine(m, {"--Subject", "One", "--compose", first, "--Subject", "Two", "--Compose", "-"});
    EXPECT_EQ(r.status, kExitSuccess) << r.err;
    EXPECT_EQ(ReadWholeFile(first), "Subject: One\r\n\r\nBody\r\n");
    EXPECT_EQ(r.bytes, "Subject: Two\r\n\r\nBody\r\n");
    EXPECT_EQ(r.out, "");
    std::remove(first.c_str());
}

TEST(CommandLineRunner, AFailedComposeLeavesTheDestinationAsItWas) {
    const std::string fresh = ScratchName("fresh");
    const std::string existing = ScratchName("existing");
    {
        TMemoryStream old;
        old.WriteText("kept");
        old.SaveToFile(existing);
    }
    for (const std::string& file : {fresh, existing, std::string("-")}) {
        TFakeMailer m;
        m.composeFails = true;
        const TResult r = RunLine(m, {"--Subject", "x", "--compose", file, "--get", "Subject"});
        EXPECT_EQ(r.status, kExitFalse) << file;  // as SendMail answering false
        EXPECT_EQ(r.err, "quillpost: --compose: Composing failed\n") << file;
        EXPECT_EQ(r.bytes, "") << file;
        EXPECT_EQ(r.out, "") << file;
    }
    EXPECT_FALSE(FileExists(fresh));
    EXPECT_EQ(ReadWholeFile(existing), "kept");
    std::remove(existing.c_str());

    // The real object, with an attachment that cannot be read: status 1, as
    // SendMail gives, and no file.
    const TResult real =
        RunLine({"--FromAddress", "a@example.com", "--AddRecipient", "B", "b@example.com",
                 "--AddAttachment", platform::TempDirectory() + "no_such_dir_quillpost/missing.bin",
                 "--compose", fresh});
    EXPECT_EQ(real.status, kExitFalse);
    EXPECT_EQ(real.err.rfind("quillpost: --compose: Cannot ", 0), 0u) << real.err;
    EXPECT_FALSE(FileExists(fresh));
}

TEST(CommandLineRunner, ComposeIntoAnUnwritablePlaceNamesTheFile) {
    TFakeMailer m;
    const std::string file = platform::TempDirectory() + "no_such_dir_quillpost/x.txt";
    const TResult r = RunLine(m, {"--compose", file});
    EXPECT_EQ(r.status, kExitError);
    EXPECT_NE(r.err.find("quillpost: --compose: Cannot create file \"" + file + "\": "),
              std::string::npos)
        << r.err;
}

TEST(CommandLineRunner, DrawsTheProgressBarOnlyOnATerminal) {
    for (bool terminal : {false, true}) {
        TFakeMailer m;
        m.answer = true;
        m.progressSteps = {{0, 200000}, {100000, 200000}, {200000, 200000}};
        const TResult r = RunLine(m, {"--SendMail"}, terminal);
        EXPECT_EQ(r.status, kExitSuccess);
        if (!terminal) {
            EXPECT_EQ(r.err, "");
            continue;
        }
        EXPECT_NE(r.err.find("\rSending [               "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("] 100% 195.3 KiB of 195.3 KiB\n"), std::string::npos) << r.err;
    }
}

TEST(CommandLineRunner, AnErrorAfterAPartialBarStartsOnItsOwnLine) {
    TFakeMailer m;
    m.answer = false;
    m.response = "Connection reset";
    m.progressSteps = {{0, 100000}, {50000, 100000}};
    const TResult r = RunLine(m, {"--SendMail"}, true);
    EXPECT_EQ(r.status, kExitFalse);
    EXPECT_NE(r.err.find("50%"), std::string::npos);
    EXPECT_NE(r.err.find("\nquillpost: SendMail failed: Connection reset\n"), std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace quillpost::cli

namespace quillpost::cli {
namespace {

// An object that knows none of the table's members, as an older server
// reached through COM might.
class TNamelessMailer final : public TLateBoundMailer {
public:
    com::HResult Invoke(std::string_view, std::uint16_t, std::span<const com::TVariant>,
                        com::TVariant*, com::TExcepInfo*) override {
        return com::kDISP_E_UNKNOWNNAME;
    }
    void ComposeMessage(TStream&) override {}
    void SetSendProgress(TProgressHandler) override {}
};

TEST(CommandLineRunner, AMemberTheObjectDoesNotKnowIsAUsageError) {
    TNamelessMailer m;
    const TResult r = RunLine(m, {"--Subject", "a", "--SendMail"});
    EXPECT_EQ(r.status, kExitError);
    EXPECT_EQ(r.err, "quillpost: Subject: unknown member of Quillpost.Mailer (see --help)\n");
}

}  // namespace
}  // namespace quillpost::cli
