#pragma once
// The TCP client socket component: connect to host or host:port, send and
// read text lines, send a whole stream, close, cancel; each wait bounded by a
// one-second count-down from TimeOut. The mail client derives from it.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/secret.h"
#include "platform/socket_events.h"
#include "platform/tls.h"
#include "util/errors.h"
#include "util/string_vector.h"

namespace quillpost {

class TStream;
class TagWinsock;
class TagSocket;

// TLS that could not start or broke; Cause tells why (the text names it too).
class ETlsError : public ESocketError {
public:
    ETlsError(platform::TlsFailure cause, const std::string& message)
        : ESocketError(message), cause(cause) {}
    platform::TlsFailure cause;
};

// The peer reset the connection, or it broke under a write.
class EConnectionReset : public ESocketError {
public:
    using ESocketError::ESocketError;
};

using TNotifyEvent = std::function<void(TagSocket& sender)>;
using TmsProgressEvent = std::function<void(TagSocket& sender, std::int32_t Perc)>;
// The handler may change Msg: a socket error is raised with the changed text;
// a time-out or a cancel is raised with its own text whatever the handler did.
using TmsErrorEvent = std::function<void(TagSocket& sender, std::string& Msg)>;
using TmsLineEvent = std::function<void(TagSocket& sender, const std::string& Line)>;

class TagSocket : private platform::SocketEventSink {
public:
    // Binding: the socket library to use; null means the process-wide one.
    explicit TagSocket(TagWinsock* binding = nullptr);
    TagSocket(const TagSocket&) = delete;
    TagSocket& operator=(const TagSocket&) = delete;
    // Balances this component's start-ups and writes the transaction log; a
    // log that cannot be written is lost here (call WriteLog first to hear
    // of it).
    virtual ~TagSocket();

    // Host, or host:port.
    std::string Server;
    // Seconds one wait may last; 0 or less sets no limit.
    std::int32_t TimeOut = 60;
    // Transaction log file; empty means no log.
    std::string LogFileName;
    std::uint16_t DefaultPort = 0;
    std::string ServiceName;

    TNotifyEvent OnOpen;
    TNotifyEvent OnConnected;
    TNotifyEvent OnClosing;
    TNotifyEvent OnClosed;
    TNotifyEvent OnCancel;
    TmsProgressEvent OnProgress;
    TmsErrorEvent OnError;
    TmsLineEvent OnLineSent;
    TmsLineEvent OnLineReceived;

    // Whether the socket library is loaded. True makes this component a user
    // of the library (loading it when needed); false ends this component's
    // use and unloads only when no component uses it any more.
    bool WinsockLoaded() const;
    void SetWinsockLoaded(bool value);

    const std::string& RemoteAddress() const { return remoteAddress_; }
    const std::string& LocalHost() const { return localHost_; }
    std::uint16_t Port() const { return port_; }
    bool PeerClosed() const { return phase_ == Phase::PeerClosed; }
    bool Connected() const;

    virtual void ResetState();
    // Start-up, local host name, host and port resolution, socket creation.
    virtual void Connect();
    virtual void Close();
    virtual void Cancel();

    void EstablishConnection();
    // One line without its line end; the next call starts at the next line.
    void ReadLine(std::string& Line);
    // Line followed by CR LF.
    void SendLine(const std::string& Line);

    // From now on every line read or sent has Secret masked ("****") before
    // anything sees it: the reply check and so any error text, the events
    // and the log. A received line keeps its reply code. Kept until the
    // component is destroyed, then wiped.
    void AddSecret(std::string_view Secret);
    // The whole stream from its start, unchanged, in blocks of 2047 bytes.
    void SendStream(TStream& Stream);
    // Count bytes as they are (no line end), as SendStream sends a block:
    // each byte taken restarts the time-out; gathered while writes are held.
    void SendBlock(const char* Data, std::size_t Count);
    // Fires OnProgress with Position of Size in percent (an empty whole is
    // 100).
    void ReportProgress(std::int64_t Position, std::int64_t Size);
    // A line of the log that was neither sent nor received: a note on the
    // dialogue (e.g. what was left out of it).
    void LogNote(const std::string& Line);
    // While held, what SendLine, SendBlock and SendStream hand over gathers into large
    // writes (lines are reported once they are out); ReleaseWrites sends the
    // rest and ends the hold, DropHeldWrites ends it and discards what has
    // not gone out (after a failure). A read releases a hold first.
    void HoldWrites();
    void ReleaseWrites();
    void DropHeldWrites();

    // From BeginTimeOutSpan to EndTimeOutSpan every wait shares one TimeOut,
    // counted from the beginning: a peer that keeps sending a little at a
    // time cannot stretch a reply past it. With QueueCounts, each second in
    // which the system's send queue shrank starts the count again: the peer
    // is still taking what was sent.
    void BeginTimeOutSpan(bool queueCounts = false);
    void EndTimeOutSpan();
    class TimeOutSpan {
    public:
        explicit TimeOutSpan(TagSocket& socket, bool queueCounts = false) : socket_(socket) {
            socket_.BeginTimeOutSpan(queueCounts);
        }
        ~TimeOutSpan() { socket_.EndTimeOutSpan(); }
        TimeOutSpan(const TimeOutSpan&) = delete;
        TimeOutSpan& operator=(const TimeOutSpan&) = delete;

    private:
        TagSocket& socket_;
    };

    // Starts TLS on the connected socket. Whatever the server sent before
    // this is discarded (after "220" to STARTTLS nothing may come before the
    // server's handshake), then the handshake runs under one TimeOut. From
    // then on every read and write goes through TLS, until Close. Raises
    // ETlsError naming the cause, and closes the socket, when TLS cannot start.
    void StartTls(const platform::TlsSettings& Settings);
    bool TlsActive() const { return tls_ != nullptr; }
    // Protocol and cipher suite of the running session; empty without one.
    const std::string& TlsDescription() const { return tlsDescription_; }

    // Raises ESocketError with the text of a message number or Winsock code
    // after OnError has seen it; 0 raises nothing.
    void RaiseError(std::uint16_t Code);
    // Fires OnError with Msg (for failures a subclass raises itself).
    void DoError(std::string& Msg);

    // Writes the log lines to LogFileName now (raises EInOutError); the
    // destructor then writes again only if lines were added since.
    void WriteLog();
    // Starts the log afresh, so that a connection kept over several sends
    // logs each send on its own.
    void ClearLog();
    // The log so far. Past kLogPartLimit bytes of head and as many of tail,
    // lines in between are left out, with one line saying how many.
    StringVector LogLines() const;

    // Splitting of Server.
    std::string HostFromServer() const;
    std::uint16_t PortFromServer() const;

    static constexpr std::size_t kLineLimit = 4097;
    static constexpr std::size_t kStreamBlock = 2047;
    static constexpr std::size_t kHoldLimit = 64 * 1024;
    static constexpr std::size_t kLogPartLimit = 256 * 1024;

protected:
    // Called by ReadLine with each complete line before it returns.
    virtual void HandleLine(const std::string& Line) = 0;

private:
    // Notifications: lookups finished, socket events, the one-second tick.
    void HostLookupDone(std::uint16_t error) override;
    void ServiceLookupDone(std::uint16_t error) override;
    void SocketEvent(std::uint16_t event, std::uint16_t error) override;
    void Tick() override;

    void StartTimer();
    void StopTimer();
    template <typename Done>
    void WaitUntil(Done done, bool wantWrite = false);
    [[noreturn]] void RaiseTimedOut();
    [[noreturn]] void RaiseCanceled();
    // Reading, phase one: waits (within TimeOut) until there is something to
    // read or a whole line is already here; raises a cancel, time-out or error.
    void WaitForInput();
    // Phase two: reads until a line is whole (true, Line set) or the
    // connection stops giving (false); raises on an overlong line.
    bool GatherLine(std::string& Line);
    void ResolveHost();
    void ResolvePort();
    void CreateSocket();
    // Moves Count bytes; ends early on time-out or cancel (the caller raises).
    void SendBytes(const char* data, std::size_t count, bool restartOnProgress);
    void SendRaw(const char* data, std::size_t count, bool restartOnProgress);
    // One read from the connection (through TLS when it runs) appended to
    // Out: bytes added, 0 at the end of the stream, -1 with Code set.
    long ReceiveInto(std::string& out, int& code);
    // The bytes the socket holds now, taken without waiting.
    std::string TakeWaitingBytes();
    // Sends a close_notify if it can go out at once, then ends the session.
    void EndTls();
    [[noreturn]] void RaiseTls(platform::TlsFailure cause, const std::string& detail);
    // Sends what a hold has gathered; true when it all went out.
    bool SendHeld();
    void RaiseIfStopped();
    // The one place every line sent or read passes through.
    void RecordLine(bool sent, const std::string& line);
    // Line with every secret masked; its first Keep bytes stay as they are.
    std::string Masked(std::string_view line, std::size_t keep) const;
    void AddLogLine(const std::string& line);
    void Fire(const TNotifyEvent& event);

    TagWinsock& binding_;
    std::unique_ptr<platform::SocketEvents> events_;
    bool usesLibrary_ = false;
    std::uint32_t address_ = 0;
    std::string remoteAddress_;
    std::string localHost_;
    std::uint16_t port_ = 0;
    std::int32_t countDown_ = 0;
    bool spanning_ = false;  // within a time-out span
    bool queueCounts_ = false;
    long queued_ = -1;  // the send queue at the last tick
    std::int32_t startupCount_ = 0;
    StringVector logHead_;
    std::deque<std::string> logTail_;
    std::size_t logHeadBytes_ = 0;
    std::size_t logTailBytes_ = 0;
    std::size_t logLeftOut_ = 0;
    std::size_t logRecorded_ = 0;  // lines ever added
    std::size_t linesWritten_ = 0;
    bool logWritten_ = false;
    std::string received_;   // bytes read past the last line returned
    bool owesRecv_ = false;  // a read notification was used without a recv since
    bool holding_ = false;
    std::string held_;                    // bytes a hold has gathered
    std::vector<std::string> heldLines_;  // lines among them, reported once sent
    std::vector<TSecret> secrets_;
    std::unique_ptr<platform::TlsSession> tls_;
    std::string tlsDescription_;
    std::string tlsHost_;
    bool tlsClosed_ = false;  // the peer's close_notify has arrived
    bool readAny_ = false;    // a read of this connection has asked the socket
    bool timedOut_ = false;
    bool canceled_ = false;
    // How far the connection has come. A lookup moves LookingUp on to
    // LookedUp; the socket's notifications move Connecting on to Connected
    // and then PeerClosed, never back (a close noticed first stays).
    enum class Phase : std::uint8_t {
        Idle,
        LookingUp,
        LookedUp,
        Connecting,
        Connected,
        PeerClosed
    };
    Phase phase_ = Phase::Idle;
    bool readable_ = false;  // a read notification not yet used
    // The last notification's error (a lookup's or the socket's); 0 for none.
    std::uint16_t errorCode_ = 0;
};

}  // namespace quillpost
