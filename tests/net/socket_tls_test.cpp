// TLS on the socket component against peers built on Python's ssl module
// (tests/servers/tls_line_server.py), with certificates the openssl command
// made for the run. tests/scripts/smtp_real_servers.sh starts them and passes where
// they are in the environment; without them these tests skip.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "environment.h"
#include "net/socket.h"
#include "test_socket.h"

namespace quillpost {
namespace {

using platform::TlsFailure;
using platform::TlsSettings;

using testing::Env;

using LineSocket = testing::TestSocket;

class SocketTls : public ::testing::Test {
protected:
    void SetUp() override {
        ca_ = Env("QP_TLS_CA");
        std::istringstream peers(Env("QP_TLS_PEERS"));
        for (std::string item; peers >> item;) {
            auto eq = item.find('=');
            if (eq != std::string::npos) ports_[item.substr(0, eq)] = item.substr(eq + 1);
        }
        if (ca_.empty() || ports_.size() < 6) GTEST_SKIP() << "the TLS peers are not running";
    }

    std::string Server(const std::string& host, const std::string& peer) {
        return host + ":" + ports_[peer];
    }

    std::string InCertFolder(const std::string& name) const {
        return ca_.substr(0, ca_.size() - std::string("ca.pem").size()) + name;
    }

    std::string ca_;
    std::string log_ = (std::filesystem::temp_directory_path() / "qp_tls_test.log").string();
    std::map<std::string, std::string> ports_;
};

TEST_F(SocketTls, LinesRoundTripOverAVerifiedOrUncheckedSession) {
    struct Case {
        const char* peer;
        const char* host;
        bool verify;
    } cases[] = {
        {"good", "127.0.0.1", true},  // checked against the address entry
        {"good", "localhost", true},  // a DNS name: SNI and the name check
        {"expired", "127.0.0.1", false},
        {"wronghost", "127.0.0.1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.peer) + " " + c.host);
        LineSocket socket;
        socket.LogFileName = log_;
        socket.Open(Server(c.host, c.peer));
        socket.StartTls(TlsSettings{c.host, c.verify, c.verify ? ca_ : ""});
        ASSERT_TRUE(socket.TlsActive());
        EXPECT_EQ(socket.TlsDescription().rfind("TLSv1.", 0), 0u) << socket.TlsDescription();
        EXPECT_EQ(socket.LogLines()[0].rfind("TLS established: TLSv1.", 0), 0u);
        // Many records in one write and one read: lines must come back whole and in order.
        socket.HoldWrites();
        std::vector<std::string> lines;
        for (int i = 0; i < 300; ++i) {
            lines.push_back("line " + std::to_string(i) + " " + std::string(150, 'a' + i % 26));
            socket.SendLine(lines.back());
        }
        socket.ReleaseWrites();
        for (const std::string& line : lines) ASSERT_EQ(socket.Read(), line);
        EXPECT_EQ(socket.received, lines);
    }
    std::filesystem::remove(log_);
}

TEST_F(SocketTls, FailuresNameTheirCauseAndCloseTheSocket) {
    struct Case {
        const char* peer;
        const char* host;
        bool trustCa;
        const char* caFile;  // in the test CA's folder, instead of it
        TlsFailure cause;
        const char* text;
    } cases[] = {
        {"good", "127.0.0.1", false, nullptr, TlsFailure::Untrusted, "certificate is not trusted"},
        // Roots given that did not sign it, nor does the system's store.
        {"good", "127.0.0.1", true, "other_ca.pem", TlsFailure::Untrusted,
         "certificate is not trusted"},
        {"wronghost", "127.0.0.1", true, nullptr, TlsFailure::HostMismatch,
         "does not match the host name 127.0.0.1"},
        {"wronghost", "localhost", true, nullptr, TlsFailure::HostMismatch,
         "does not match the host name localhost"},
        {"expired", "127.0.0.1", true, nullptr, TlsFailure::Expired, "has expired"},
        // Its CN names the host, but only a subjectAltName counts.
        {"cnonly", "localhost", true, nullptr, TlsFailure::HostMismatch,
         "does not match the host name localhost"},
        {"plain", "127.0.0.1", true, nullptr, TlsFailure::PlainText,
         "TLS expected on this port, the server spoke plain SMTP"},
        {"good", "127.0.0.1", true, "no_such_ca.pem", TlsFailure::CaFile,
         "The CA file cannot be used"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.peer) + " " + c.host);
        LineSocket socket;
        socket.Open(Server(c.host, c.peer));
        std::string ca = !c.trustCa ? "" : c.caFile == nullptr ? ca_ : InCertFolder(c.caFile);
        auto start = std::chrono::steady_clock::now();
        try {
            socket.StartTls(TlsSettings{c.host, true, ca});
            ADD_FAILURE() << "no failure raised";
        } catch (const ETlsError& e) {
            EXPECT_EQ(e.cause, c.cause) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
            EXPECT_EQ(socket.errors, std::vector<std::string>{e.what()});
        }
        // Each cause is known at once, without waiting for the time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(socket.TimeOut));
        EXPECT_FALSE(socket.Connected());
        EXPECT_FALSE(socket.TlsActive());
    }
}

TEST_F(SocketTls, AHandshakeThatGetsNoAnswerEndsAfterTimeOut) {
    LineSocket socket;
    socket.TimeOut = 1;
    socket.Open(Server("127.0.0.1", "silent"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(socket.StartTls(TlsSettings{"127.0.0.1", true, ca_}), ETimedOutError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(socket.Connected());
}

// Bytes the server sent with its "220" before the handshake (RFC 3207 response
// injection) must not surface as a reply inside the session.
TEST_F(SocketTls, BytesSentBeforeTheHandshakeAreDiscarded) {
    LineSocket socket;
    socket.Open(Server("127.0.0.1", "inject"));
    EXPECT_EQ(socket.Read(), "220 inject.example ESMTP");
    socket.SendLine("STARTTLS");
    EXPECT_EQ(socket.Read(), "220 ready");
    socket.StartTls(TlsSettings{"127.0.0.1", true, ca_});
    socket.SendLine("EHLO after");
    EXPECT_EQ(socket.Read(), "EHLO after");
}

// The name rule the Windows build applies to subjectAltName DNS entries.
TEST(TlsNames, DnsEntriesMatchWholeLabelsOnly) {
    struct Case {
        const char* pattern;
        const char* host;
        bool matches;
    } cases[] = {
        {"mail.example.com", "mail.example.com", true},
        {"MAIL.Example.com", "mail.example.COM", true},
        {"mail.example.com", "mail.example.com.", true},
        {"mail.example.com", "mail.example.co", false},
        {"mail.example.com", "xmail.example.com", false},
        {"*.example.com", "mail.example.com", true},
        {"*.example.com", "example.com", false},
        {"*.example.com", "a.mail.example.com", false},
        {"*.example.com", ".example.com", false},
        {"*.com", "example.com", false},
        {"m*.example.com", "mail.example.com", false},
        {"mail.*.com", "mail.example.com", false},
        {"*", "localhost", false},
        {"", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::DnsNameMatches(c.pattern, c.host), c.matches)
            << c.pattern << " " << c.host;
}

TEST(TlsNames, AnEmptyHostIsRefusedWhenTheCertificateIsChecked) {
    TlsFailure failure = TlsFailure::None;
    std::string detail;
    EXPECT_EQ(platform::TlsSession::CreateClient(TlsSettings{"", true, ""}, &failure, &detail),
              nullptr);
    EXPECT_EQ(failure, TlsFailure::HostMismatch) << detail;
    EXPECT_NE(platform::TlsSession::CreateClient(TlsSettings{"", false, ""}, nullptr, nullptr),
              nullptr);
}

}  // namespace
}  // namespace quillpost
