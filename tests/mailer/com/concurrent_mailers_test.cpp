// Many Mailers on many threads of one process, as a web server or job runner
// uses the component: every thread prepares its apartment, creates its own
// object by ProgID and sends through a real server (aiosmtpd, started by
// tests/scripts/smtp_real_servers.sh, which passes its port and store folder
// in the environment; without them the test skips). Every message must arrive
// once and intact.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "environment.h"
#include "mailer/com/com_ids.h"
#include "mailer/com/imailer.h"
#include "message/message.h"
#include "platform/com.h"
#include "platform/module.h"
#include "platform/registry_sandbox.h"
#include "util/stream.h"

namespace quillpost::com {
namespace {

constexpr int kThreads = 8;
constexpr int kMessagesPerThread = 25;

using testing::Env;

std::string ServerLibrary() {
    return (std::filesystem::path(platform::ThisModulePath()).parent_path() /
            QP_SERVER_LIBRARY_NAME)
        .string();
}

std::string Subject(const std::string& run, int thread, int message) {
    return "Concurrent " + run + " t" + std::to_string(thread) + " m" + std::to_string(message);
}

std::vector<std::string> BodyLines(int thread, int message) {
    const std::string id = std::to_string(thread) + "/" + std::to_string(message);
    return {"Message " + id, ".a line that starts with a period", "", "Last line of " + id};
}

// Binary bytes of its own for each thread: a base64 part between boundaries.
std::string AttachmentBytes(int thread) {
    std::mt19937 random(static_cast<unsigned>(thread) + 1);
    std::string bytes(3000 + static_cast<std::size_t>(thread) * 7, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Owns one BSTR made from ASCII text.
struct TText {
    BSTR value;
    explicit TText(const std::string& text)
        : value(platform::ToBstr(std::u16string(text.begin(), text.end()))) {}
    ~TText() { SysFreeString(value); }
    TText(const TText&) = delete;
    TText& operator=(const TText&) = delete;
};

// One script's work on one thread; returns what went wrong, if anything.
std::string SendFromThread(const std::string& host, const std::string& run,
                           const std::string& attachment, int thread) {
    if (FAILED(platform::ComInitialize())) return "ComInitialize failed";
    std::string problem;
    IMailer* m = nullptr;
    if (FAILED(platform::CreateObject("Quillpost.Mailer", kIID_IMailer,
                                      reinterpret_cast<void**>(&m)))) {
        problem = "CreateObject failed";
    } else {
        VARIANT_BOOL ok = VARIANT_FALSE;
        m->put_RemoteHost(TText(host).value);
        m->put_FromAddress(TText("sender@example.com").value);
        m->put_TimeOut(30);
        m->AddRecipient(TText("Thread").value,
                        TText("t" + std::to_string(thread) + "@example.com").value, &ok);
        m->AddAttachment(TText(attachment).value, &ok);
        if (ok == VARIANT_FALSE) problem = "AddAttachment failed";
        for (int n = 0; n < kMessagesPerThread && problem.empty(); ++n) {
            m->put_Subject(TText(Subject(run, thread, n)).value);
            m->ClearBodyText();
            for (const std::string& line : BodyLines(thread, n)) m->put_BodyText(TText(line).value);
            if (FAILED(m->SendMail(&ok)) || ok == VARIANT_FALSE) {
                BSTR response = nullptr;
                m->get_Response(&response);
                const std::u16string text = platform::FromBstr(response);
                SysFreeString(response);
                problem = "message " + std::to_string(n) +
                          " failed: " + std::string(text.begin(), text.end());
            }
        }
        m->Release();
    }
    platform::ComUninitialize();
    return problem;
}

TEST(ConcurrentMailers, EveryThreadsMessagesArriveOnceAndIntact) {
    const std::string port = Env("QP_AIOSMTPD_PORT");
    const std::filesystem::path store = Env("QP_AIOSMTPD_DIR");
    if (port.empty() || store.empty()) GTEST_SKIP() << "aiosmtpd is not running";

    testing::RegistrySandbox sandbox;
    const std::string library = ServerLibrary();
    ASSERT_EQ(platform::CallServerExport(library, "DllRegisterServer"), S_OK);
    // Registered as a class any apartment may create directly, as a web
    // server's installer would.
    {
        ASSERT_TRUE(SUCCEEDED(platform::ComInitialize()));
        IMailer* mailer = nullptr;
        ASSERT_EQ(platform::CreateObject("Quillpost.Mailer", kIID_IMailer,
                                         reinterpret_cast<void**>(&mailer)),
                  S_OK);
        mailer->MarkRegistry(thdApartment);
        mailer->Release();
        platform::ComUninitialize();
    }

    const std::string run = std::to_string(std::random_device{}());
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("qp_concurrent_" + run);
    std::filesystem::create_directories(folder);
    std::vector<std::string> files;
    for (int t = 0; t < kThreads; ++t) {
        files.push_back((folder / ("part" + std::to_string(t) + ".bin")).string());
        TMemoryStream bytes;
        bytes.WriteText(AttachmentBytes(t));
        bytes.SaveToFile(files.back());
    }

    std::vector<std::string> problems(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t] { problems[t] = SendFromThread("127.0.0.1:" + port, run, files[t], t); });
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(problems[t], "") << "thread " << t;

    // What the server stored, by subject: each message once, as it was sent.
    std::map<std::pair<int, int>, int> arrived;
    for (const auto& entry : std::filesystem::directory_iterator(store)) {
        if (entry.path().extension() != ".eml") continue;
        TMemoryStream stored;
        stored.LoadFromFile(entry.path().string());
        if (stored.Bytes().find(" " + run + " t") == std::string::npos) continue;
        TmsMessage message;
        message.DecodeFromStream(stored);
        int t = -1, n = -1;
        const std::string prefix = "Concurrent " + run + " ";
        ASSERT_EQ(std::sscanf(message.Subject().c_str() + prefix.size(), "t%d m%d", &t, &n), 2)
            << message.Subject();
        SCOPED_TRACE(message.Subject());
        ++arrived[{t, n}];
        std::vector<std::string> body = BodyLines(t, n);
        body.push_back("");  // the empty line before the attachment's boundary
        EXPECT_EQ(message.Body().Lines(), body);
        ASSERT_EQ(message.Attachments().Count(), 1);
        EXPECT_EQ(message.Attachments().Items(0).Data().Bytes(), AttachmentBytes(t));
    }
    EXPECT_EQ(arrived.size(), static_cast<std::size_t>(kThreads * kMessagesPerThread));
    for (const auto& [id, count] : arrived)
        EXPECT_EQ(count, 1) << "thread " << id.first << " message " << id.second;

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    EXPECT_EQ(platform::CallServerExport(library, "DllUnregisterServer"), S_OK);
}

}  // namespace
}  // namespace quillpost::com
