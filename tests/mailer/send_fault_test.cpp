// Faults at every step of a whole send: the body file read, the attachment
// read, the temporary file and every socket call, failed one at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "encoding/boundary.h"
#include "mailer/mailer.h"
#include "message/test_files.h"
#include "platform/failing_operations.h"
#include "platform/loopback_listener.h"
#include "platform/temp_file.h"

namespace quillpost {
namespace {

using platform::FaultPoint;
using Clock = std::chrono::steady_clock;

// An SMTP peer that records each session: its commands, the messages it
// accepted, whether the client left data unfinished and whether the client
// closed the connection (rather than the peer giving up on it).
class RecordingServer {
public:
    struct Session {
        std::vector<std::string> commands;
        std::vector<std::string> accepted;
        bool clientClosed = false;
    };

    RecordingServer() {
        thread_ = std::thread([this] {
            while (!stop_)
                if (listener_.Accept(50)) Serve();
        });
    }
    ~RecordingServer() {
        stop_ = true;
        thread_.join();
    }
    std::string Server() const { return "127.0.0.1:" + std::to_string(listener_.Port()); }

    // The sessions so far, once the peer has been idle for a while: a
    // connection the client made is accepted within that time.
    std::vector<Session> Sessions() {
        auto quiet = Clock::now();
        const auto limit = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (busy_) quiet = Clock::now();
            if (Clock::now() - quiet > std::chrono::milliseconds(300)) break;
        }
        std::lock_guard lock(mutex_);
        return sessions_;
    }

private:
    // False when the client closed or 10 s passed; Closed tells which.
    bool Fill(std::string& pending, bool& closed) {
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < limit) {
            pending += listener_.Receive(100, &closed);
            if (closed) return false;
            if (!pending.empty()) return true;
        }
        return false;
    }

    void Serve() {
        busy_ = true;
        Session s;
        std::string pending;
        bool closed = false;
        listener_.Send("220 ready\r\n");
        for (;;) {
            const std::size_t eol = pending.find("\r\n");
            if (eol == std::string::npos) {
                if (!Fill(pending, closed)) break;
                continue;
            }
            const std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 2);
            s.commands.push_back(line);
            if (line == "DATA") {
                listener_.Send("354 go ahead\r\n");
                std::size_t end;
                while ((end = pending.find("\r\n.\r\n")) == std::string::npos)
                    if (!Fill(pending, closed)) break;
                if (end == std::string::npos) break;
                s.accepted.push_back(pending.substr(0, end + 2));
                pending.erase(0, end + 5);
                listener_.Send("250 queued\r\n");
            } else if (line == "QUIT") {
                listener_.Send("221 bye\r\n");
            } else {
                listener_.Send("250 ok\r\n");
            }
        }
        s.clientClosed = closed;
        listener_.CloseConnection();
        {
            std::lock_guard lock(mutex_);
            sessions_.push_back(std::move(s));
        }
        busy_ = false;
    }

    platform::LoopbackListener listener_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> busy_{false};
    std::mutex mutex_;
    std::vector<Session> sessions_;
    std::thread thread_;
};

// What Response must hold after each kind of failure.
std::vector<std::string> Named(FaultPoint point) {
    switch (point) {
        case FaultPoint::SocketCall:
            return {"not found"};
        case FaultPoint::TempFileCreate:
            return {"Cannot create file"};
        case FaultPoint::TempFileWrite:
            return {"Stream write error"};
        case FaultPoint::TempFileRead:
            return {"Stream read error"};
        case FaultPoint::TempFileSeek:
            return {"Stream seek error"};
        case FaultPoint::InputFileOpen:
            return {"Cannot open file", "Error opening Input file"};
        case FaultPoint::InputFileRead:
            return {"Cannot read file", "occurred during file read"};
    }
    return {};
}

bool Names(const std::string& response, FaultPoint point) {
    for (const std::string& text : Named(point))
        if (response.find(text) != std::string::npos) return true;
    return false;
}

// A prefix of the whole dialogue, then at most QUIT. A bare HELO after a
// failed one is the client's fallback for servers that refuse a name.
bool OnlyWhatCameBefore(std::vector<std::string> got, const std::vector<std::string>& whole) {
    if (!got.empty() && got.back() == "QUIT") got.pop_back();
    std::erase(got, "HELO");
    if (!got.empty() && got.front() != whole.front()) got.insert(got.begin(), whole.front());
    if (got.size() > whole.size()) return false;
    return std::equal(got.begin(), got.end(), whole.begin());
}

// Sends with a body read from a file and an attachment large enough to pass
// through the temporary file, failing the Nth operation for N = 1, 2, ...
// until a send completes. Each failed send must leave no half-sent message,
// no connection and no file, and the same Mailer must then send.
TEST(SendFaults, EveryOperationOfASendFailsCleanly) {
    testing::TempDir files;
    testing::TempDir temp;
    platform::SetTempDirectoryOverride(
        temp.Path() + static_cast<char>(std::filesystem::path::preferred_separator));
    ScopedBoundarySequence boundaries(std::vector<std::string>(1000, "=_matrix"));
    const std::string body = files.Write("body.txt", "Line one\r\nLine two\r\n");
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    const std::string attachment = files.Write("data.bin", bytes);

    RecordingServer server;
    TMailer m;
    m.SetRemoteHost(server.Server());
    m.SetFromAddress("ann@example.test");
    m.AddRecipient("Bob", "bob@example.test");
    m.SetSubject("Faults");
    m.SetDateTime("Tue, 08 Dec 2026 10:00:00 +0000");
    m.SetTimeOut(2);
    m.AddAttachment(attachment);
    auto send = [&] {
        m.ClearBodyText();
        return m.GetBodyTextFromFile(body, kWordFalse, kWordFalse) && m.SendMail();
    };

    ASSERT_TRUE(send()) << m.Response();
    const std::vector<RecordingServer::Session> first = server.Sessions();
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(first[0].accepted.size(), 1u);
    const std::string message = first[0].accepted[0];
    const std::vector<std::string> dialogue = first[0].commands;

    std::set<FaultPoint> points;
    std::size_t seen = first.size();
    // Fails the Nth operation (of one kind when Only is set); true when
    // there were fewer and the send went through untouched.
    auto attempt = [&](int n, std::optional<FaultPoint> only) {
        SCOPED_TRACE("operation " + std::to_string(n));
        bool sent = false;
        std::optional<FaultPoint> failed;
        {
            testing::NthOperationFails fault(n, only);
            sent = send();
            failed = fault.failed;
        }
        const std::string response = m.Response();
        SCOPED_TRACE("failed " + std::to_string(failed ? static_cast<int>(*failed) : -1) + ": " +
                     response);
        EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
        // The same object sends after a failure.
        const bool again = failed && send();
        const std::string againResponse = m.Response();
        std::vector<RecordingServer::Session> sessions = server.Sessions();
        if (failed) {
            points.insert(*failed);
            EXPECT_TRUE(again) << againResponse;
            EXPECT_GT(sessions.size(), seen);
            if (sessions.size() <= seen) return true;
            EXPECT_EQ(sessions.back().accepted.size(), 1u);
            EXPECT_TRUE(sessions.back().accepted.size() == 1 &&
                        sessions.back().accepted[0] == message);
        }
        const auto attemptEnd = sessions.end() - (failed ? 1 : 0);
        std::size_t delivered = 0;
        for (auto s = sessions.begin() + static_cast<std::ptrdiff_t>(seen); s != attemptEnd; ++s) {
            delivered += s->accepted.size();
            for (const std::string& text : s->accepted) EXPECT_EQ(text, message);
            EXPECT_TRUE(s->clientClosed);
            EXPECT_TRUE(OnlyWhatCameBefore(s->commands, dialogue))
                << ::testing::PrintToString(s->commands);
        }
        seen = sessions.size();
        if (!failed) {
            EXPECT_TRUE(sent) << response;
            EXPECT_EQ(delivered, 1u);
            return true;
        }
        EXPECT_LE(delivered, 1u);
        // The one delivery the client cannot know of: the reply to the final
        // period could not be read.
        EXPECT_TRUE(sent == (delivered == 1) || (!sent && *failed == FaultPoint::SocketCall))
            << response;
        if (!sent) {
            EXPECT_TRUE(Names(response, *failed)) << static_cast<int>(*failed) << ": " << response;
        }
        return false;
    };
    bool completed = false;
    for (int n = 1; n <= 400 && !completed; ++n) completed = attempt(n, std::nullopt);
    EXPECT_TRUE(completed);
    // The number of socket calls varies with timing (a read that finds
    // nothing yet), so a kind that happens once can fall between two runs
    // of the count: such a kind is failed on its own.
    for (int kind = 0; kind <= static_cast<int>(FaultPoint::InputFileRead); ++kind)
        if (!points.count(static_cast<FaultPoint>(kind))) attempt(1, static_cast<FaultPoint>(kind));
    // Every kind of operation was among those failed.
    std::string kinds;
    for (FaultPoint p : points) kinds += std::to_string(static_cast<int>(p)) + " ";
    EXPECT_EQ(points.size(), 7u) << kinds;
    platform::SetTempDirectoryOverride({});
}

}  // namespace
}  // namespace quillpost
