#include "net/socket.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <exception>

#include "base/winsock_codes.h"
#include "net/winsock_binding.h"
#include "util/errors.h"
#include "util/message_table.h"
#include "util/stream.h"

namespace quillpost {
namespace {

constexpr std::size_t kHostNameLimit = 127;
constexpr std::size_t kServiceNameLimit = 63;
const char kBodySuppressed[] = "Suppressing the message body.";

// A reply line's code and the character after it; a secret never hides them.
std::size_t ReplyCodeLength(std::string_view line) {
    auto digit = [&](std::size_t i) { return i < line.size() && line[i] >= '0' && line[i] <= '9'; };
    if (!digit(0) || !digit(1) || !digit(2)) return 0;
    return std::min<std::size_t>(line.size(), 4);
}

// Position * 100 / Size to the nearest integer, halves to even.
std::int32_t Percent(std::int64_t position, std::int64_t size) {
    // An empty stream has been sent whole once its only (empty) block is out.
    if (size <= 0) return 100;
    std::int64_t scaled = position * 100;
    std::int64_t q = scaled / size;
    std::int64_t r2 = (scaled % size) * 2;
    if (r2 > size || (r2 == size && (q % 2) != 0)) ++q;
    return static_cast<std::int32_t>(q);
}

}  // namespace

TagSocket::TagSocket(TagWinsock* binding)
    : binding_(binding != nullptr ? *binding : Winsock()),
      events_(platform::SocketEvents::Create(binding_, *this)) {
    // Construction gives up the library only if no component is using it.
    SetWinsockLoaded(false);
}

TagSocket::~TagSocket() {
    // The owner closes the connection first; a socket still open here goes
    // away quietly, before the start-ups that carry it are balanced.
    try {
        events_->CancelLookup();
        events_->CloseSocket();
    } catch (...) {
    }
    for (; startupCount_ > 0; --startupCount_) {
        try {
            binding_.Cleanup(*events_);
        } catch (...) {
        }
    }
    events_.reset();
    if (!LogFileName.empty() && (!logWritten_ || linesWritten_ != logRecorded_)) {
        try {
            WriteLog();
        } catch (...) {
        }
    }
    if (usesLibrary_) binding_.ReleaseUser();
}

bool TagSocket::WinsockLoaded() const { return binding_.WinsockLoaded(); }

void TagSocket::SetWinsockLoaded(bool value) {
    if (value) {
        if (!usesLibrary_) {
            binding_.AddUser();
            usesLibrary_ = true;
        }
        return;
    }
    if (usesLibrary_) {
        binding_.ReleaseUser();
        usesLibrary_ = false;
    }
    binding_.SetWinsockLoaded(false);
}

bool TagSocket::Connected() const { return events_->SocketValid(); }

void TagSocket::ResetState() {
    canceled_ = timedOut_ = readable_ = false;
    phase_ = Phase::Idle;
    errorCode_ = 0;
    events_->CancelLookup();
}

// ---- notifications ----

void TagSocket::HostLookupDone(std::uint16_t error) {
    if (phase_ == Phase::LookingUp) phase_ = Phase::LookedUp;
    errorCode_ = error;
}

void TagSocket::ServiceLookupDone(std::uint16_t error) { HostLookupDone(error); }

void TagSocket::SocketEvent(std::uint16_t event, std::uint16_t error) {
    errorCode_ = error;
    if (error != 0) return;
    if (event == platform::kFdRead) {
        readable_ = true;
    } else if (event == platform::kFdConnect) {
        // A close seen first is not undone.
        if (phase_ < Phase::Connected) phase_ = Phase::Connected;
    } else if (event == platform::kFdClose) {
        phase_ = Phase::PeerClosed;
    }
}

void TagSocket::Tick() {
    if (queueCounts_) {
        const long queued = events_->QueuedBytes();
        const bool shrank = queued >= 0 && queued < queued_;
        queued_ = queued;
        if (shrank) {
            countDown_ = TimeOut;
            return;
        }
    }
    --countDown_;
    if (countDown_ != 0) return;
    // The time-out must be recorded even if the library fails us here.
    try {
        events_->CancelLookup();
        events_->CancelBlockingCall();
    } catch (...) {
    }
    events_->StopTimer();
    timedOut_ = true;
}

void TagSocket::StartTimer() {
    if (spanning_) return;
    countDown_ = TimeOut;
    events_->StartTimer();
}

void TagSocket::StopTimer() {
    if (!spanning_) events_->StopTimer();
}

void TagSocket::BeginTimeOutSpan(bool queueCounts) {
    spanning_ = false;
    StartTimer();
    spanning_ = true;
    queueCounts_ = queueCounts;
    if (queueCounts_) queued_ = events_->QueuedBytes();
}

void TagSocket::EndTimeOutSpan() {
    spanning_ = queueCounts_ = false;
    StopTimer();
}

template <typename Done>
void TagSocket::WaitUntil(Done done, bool wantWrite) {
    for (;;) {
        events_->DispatchPending();
        if (done()) return;
        events_->WaitForActivity(wantWrite);
    }
}

// ---- raising ----

void TagSocket::DoError(std::string& Msg) {
    if (OnError) OnError(*this, Msg);
}

void TagSocket::RaiseError(std::uint16_t Code) {
    if (Code == 0) return;
    StopTimer();
    std::string msg = LoadMessage(Code);
    DoError(msg);
    if (Code == winsock::kConnectionReset) throw EConnectionReset(msg);
    throw ESocketError(msg);
}

void TagSocket::RaiseTimedOut() {
    StopTimer();
    std::string msg = LoadMessage(msgTimedOut);
    DoError(msg);
    Close();
    throw ETimedOutError();
}

void TagSocket::RaiseCanceled() {
    StopTimer();
    std::string msg = LoadMessage(msgCanceled);
    DoError(msg);
    throw ECanceledError();
}

void TagSocket::Fire(const TNotifyEvent& event) {
    if (event) event(*this);
}

// ---- connecting ----

std::string TagSocket::HostFromServer() const { return Server.substr(0, Server.find(':')); }

std::uint16_t TagSocket::PortFromServer() const {
    auto colon = Server.find(':');
    if (colon == std::string::npos) return 0;
    std::string text = Server.substr(colon + 1);
    // A decimal integer (optionally signed) and nothing else, within 0..65535.
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return 0;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        value = value * 10 + (text[i] - '0');
        if (value > 65535) return 0;
    }
    if (negative) return 0;
    return static_cast<std::uint16_t>(value);
}

void TagSocket::Connect() {
    // A new session masks only its own secrets: an old token kept here would
    // cost every line a search and could mask what the next server offers.
    secrets_.clear();
    Fire(OnOpen);
    if (Server.empty()) RaiseError(msgServerRequired);
    if (binding_.Startup(*events_) != 0) RaiseError(msgInvalidWinsockVersion);
    ++startupCount_;
    std::string name;
    localHost_ = events_->HostName(name) ? name : HostFromServer();
    ResolveHost();
    ResolvePort();
    CreateSocket();
}

void TagSocket::ResolveHost() {
    // A host part longer than the lookup's buffer is cut to what fits.
    std::string host = HostFromServer().substr(0, kHostNameLimit);
    host = host.substr(0, std::min(host.size(), std::strlen(host.c_str())));
    address_ = events_->InetAddr(host);
    if (address_ != platform::kAddressNone) return;

    phase_ = Phase::LookingUp;
    if (!events_->StartHostLookup(host)) {
        // The lookup could not start: report why rather than wait for nothing.
        int code = events_->LastError();
        RaiseError(static_cast<std::uint16_t>(
            code != 0 ? code : static_cast<int>(winsock::kHostNotFound)));
    }
    StartTimer();
    WaitUntil([this] { return phase_ == Phase::LookedUp || timedOut_ || canceled_; });
    StopTimer();
    events_->CancelLookup();
    if (errorCode_ != 0) {
        RaiseError(errorCode_);
    } else if (timedOut_) {
        RaiseTimedOut();
    } else if (canceled_) {
        RaiseCanceled();
    }
    events_->DispatchPending();
    auto bytes = events_->HostLookupAddress();
    remoteAddress_ = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                     std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
    address_ = events_->InetAddr(remoteAddress_);
    if (address_ == platform::kAddressNone) RaiseError(msgErrorResolvingHost);
}

void TagSocket::ResolvePort() {
    if (std::uint16_t fromServer = PortFromServer(); fromServer != 0) {
        port_ = fromServer;
        return;
    }
    if (ServiceName.empty()) {
        RaiseError(msgServiceRequired);
    } else if (canceled_) {
        RaiseCanceled();
    }
    phase_ = Phase::LookingUp;
    if (!events_->StartServiceLookup(ServiceName.substr(0, kServiceNameLimit))) {
        port_ = DefaultPort;
        return;
    }
    StartTimer();
    WaitUntil([this] { return phase_ == Phase::LookedUp || canceled_ || timedOut_; });
    StopTimer();
    events_->CancelLookup();
    if (errorCode_ != 0 || timedOut_) {
        port_ = DefaultPort;
        // The failed lookup is answered by the default port; its error must
        // not end the first read of the connection.
        errorCode_ = 0;
    } else if (canceled_) {
        RaiseCanceled();
    } else {
        port_ = events_->ServiceLookupPort();
    }
}

void TagSocket::CreateSocket() {
    tls_.reset();
    readAny_ = false;
    received_.clear();
    owesRecv_ = false;
    if (!events_->CreateSocket()) RaiseError(static_cast<std::uint16_t>(events_->LastError()));
}

void TagSocket::EstablishConnection() {
    if (canceled_) RaiseCanceled();
    if (!events_->SelectEvents()) RaiseError(static_cast<std::uint16_t>(events_->LastError()));
    // Only this connection's own error may end the wait below.
    errorCode_ = 0;
    phase_ = Phase::Connecting;
    StartTimer();
    if (!events_->ConnectSocket(address_, port_)) {
        int code = events_->LastError();
        if (code != winsock::kWouldBlock) RaiseError(static_cast<std::uint16_t>(code));
    }
    // A refused or unreachable connection is reported as such, not as a
    // time-out after the full TimeOut.
    WaitUntil(
        [this] { return phase_ >= Phase::Connected || canceled_ || timedOut_ || errorCode_ != 0; });
    StopTimer();
    if (canceled_) {
        RaiseCanceled();
    } else if (timedOut_) {
        RaiseTimedOut();
    } else if (phase_ < Phase::Connected && errorCode_ != 0) {
        RaiseError(errorCode_);
    }
    Fire(OnConnected);
}

void TagSocket::Close() {
    if (!events_->SocketValid()) return;
    Fire(OnClosing);
    EndTls();
    events_->CloseSocket();
    received_.clear();
    owesRecv_ = false;
    DropHeldWrites();
    Fire(OnClosed);
}

void TagSocket::Cancel() {
    canceled_ = true;
    Fire(OnCancel);
    events_->CancelLookup();
    Close();
}

// ---- lines and streams ----

void TagSocket::AddSecret(std::string_view Secret) {
    if (Secret.empty()) return;
    for (const TSecret& known : secrets_)
        if (known.Text() == Secret) return;
    secrets_.emplace_back(Secret);
}

std::string TagSocket::Masked(std::string_view line, std::size_t keep) const {
    if (secrets_.empty()) return std::string(line);
    std::vector<bool> hidden(line.size(), false);
    for (const TSecret& secret : secrets_) {
        const std::string& text = secret.Text();
        for (std::size_t at = line.find(text); at != std::string_view::npos;
             at = line.find(text, at + 1))
            std::fill(
                hidden.begin() + static_cast<std::ptrdiff_t>(std::max(at, keep)),
                hidden.begin() + static_cast<std::ptrdiff_t>(std::max(at + text.size(), keep)),
                true);
    }
    // Built afresh rather than replaced in place, so no block holding the
    // secret is left behind by a reallocation.
    std::string out;
    out.reserve(line.size() + 4);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!hidden[i]) {
            out += line[i];
        } else if (i == 0 || !hidden[i - 1]) {
            out += "****";
        }
    }
    return out;
}

void TagSocket::RecordLine(bool sent, const std::string& line) {
    if (!LogFileName.empty()) AddLogLine(line);
    const TmsLineEvent& event = sent ? OnLineSent : OnLineReceived;
    if (event) event(*this, line);
}

void TagSocket::ReadLine(std::string& Line) {
    if (!Connected()) RaiseError(msgNotConnected);
    // An answer can only come to what has gone out.
    if (holding_) ReleaseWrites();
    WaitForInput();

    // Phase two: a fresh TimeOut for the line itself.
    StartTimer();
    // A read notification comes again only after the next recv call, so one
    // consumed here is a debt: the next read that finds no buffered line must
    // call recv before it may wait, or bytes already in the socket go unseen.
    owesRecv_ = owesRecv_ || readable_;
    readable_ = false;
    events_->DispatchPending();
    Line.clear();
    try {
        const bool whole = GatherLine(Line);
        if (!secrets_.empty()) {
            // A server that echoes a credential (in an error reply, say) must
            // not put it into Response, the events or the log.
            std::string masked = Masked(Line, ReplyCodeLength(Line));
            SecureWipe(Line);
            Line = std::move(masked);
        }
        if (whole) {
            while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.pop_back();
            HandleLine(Line);
        }
        if (timedOut_) {
            RaiseTimedOut();
        } else if (canceled_) {
            RaiseCanceled();
        }
    } catch (...) {
        StopTimer();
        RecordLine(false, Line);
        throw;
    }
    StopTimer();
    RecordLine(false, Line);
}

void TagSocket::WaitForInput() {
    auto haveLine = [this] { return received_.find('\n') != std::string::npos; };
    StartTimer();
    WaitUntil([&] {
        return readable_ || canceled_ || timedOut_ || errorCode_ != 0 || PeerClosed() ||
               haveLine() || owesRecv_;
    });
    StopTimer();
    if (canceled_) {
        RaiseCanceled();
    } else if (timedOut_) {
        RaiseTimedOut();
    } else if (errorCode_ != 0) {
        RaiseError(errorCode_);
    }
}

bool TagSocket::GatherLine(std::string& Line) {
    bool lastRecvEmpty = false;
    for (;;) {
        events_->DispatchPending();
        auto lf = received_.find('\n');
        if (lf != std::string::npos && lf < kLineLimit) {
            // A zero byte ends the text of the line, not the line.
            std::string raw = received_.substr(0, lf + 1);
            received_.erase(0, lf + 1);
            Line = raw.substr(0, std::strlen(raw.c_str()));
            return true;
        }
        if (received_.size() >= kLineLimit) {
            received_.erase(0, kLineLimit);
            RaiseRangeError();
        }
        if (canceled_ || timedOut_ || !Connected()) return false;
        if (PeerClosed() && lastRecvEmpty) return false;
        int code = 0;
        long n = ReceiveInto(received_, code);
        owesRecv_ = false;
        if (n < 0) {
            if (code != winsock::kWouldBlock && !canceled_)
                RaiseError(static_cast<std::uint16_t>(code));
            // Nothing yet: block until the socket or the tick has news.
            events_->WaitForActivity(false);
            continue;
        }
        lastRecvEmpty = n == 0;
        if (n == 0 && !PeerClosed()) events_->WaitForActivity(false);
    }
}

void TagSocket::SendRaw(const char* data, std::size_t count, bool restartOnProgress) {
    std::size_t p = 0;
    do {
        events_->DispatchPending();
        if (!Connected() && !canceled_) RaiseError(winsock::kNotASocket);
        long n = Connected() ? events_->Send(data + p, count - p) : -1;
        if (n < 0) {
            int code = Connected() ? events_->LastError() : static_cast<int>(winsock::kNotASocket);
            if (code != winsock::kWouldBlock && !canceled_)
                RaiseError(static_cast<std::uint16_t>(code));
            if (code == winsock::kWouldBlock) events_->WaitForActivity(true);
        } else {
            p += static_cast<std::size_t>(n);
            if (restartOnProgress && n > 0) {
                countDown_ = TimeOut;
                events_->StartTimer();
            }
        }
        events_->DispatchPending();
    } while (p < count && !timedOut_ && !canceled_);
}

void TagSocket::SendLine(const std::string& Line) {
    if (!Connected()) RaiseError(msgNotConnected);
    if (holding_) {
        held_ += Line;
        held_ += "\r\n";
        heldLines_.push_back(Masked(Line, 0));
        if (held_.size() >= kHoldLimit && !SendHeld()) RaiseIfStopped();
        return;
    }
    {
        // The copy may hold a credential (an AUTH line): wiped on every way out.
        TSecret data;
        data.Reserve(Line.size() + 2);
        data.Append(Line);
        data.Append("\r\n");
        StartTimer();
        SendBytes(data.Text().data(), data.Text().size(), false);
    }
    StopTimer();
    RaiseIfStopped();
    RecordLine(true, Masked(Line, 0));
}

void TagSocket::SendStream(TStream& Stream) {
    Stream.SetPosition(0);
    if (!LogFileName.empty()) AddLogLine(kBodySuppressed);
    char buffer[kStreamBlock + 1];
    bool last = false;
    do {
        std::memset(buffer, 0, sizeof buffer);
        std::size_t n = Stream.Read(buffer, kStreamBlock);
        if (holding_) {
            if (held_.size() + n > kHoldLimit) SendHeld();
            if (!timedOut_ && !canceled_) held_.append(buffer, n);
        } else {
            StartTimer();
            SendBytes(buffer, n, true);
            StopTimer();
        }
        last = n < kStreamBlock;
        ReportProgress(Stream.Position(), Stream.Size());
    } while (!last && !timedOut_ && !canceled_);
    RaiseIfStopped();
    if (OnProgress) OnProgress(*this, 0);
}

void TagSocket::SendBlock(const char* Data, std::size_t Count) {
    if (!Connected()) RaiseError(msgNotConnected);
    if (holding_) {
        if (held_.size() + Count > kHoldLimit && !SendHeld()) RaiseIfStopped();
        held_.append(Data, Count);
        return;
    }
    StartTimer();
    SendBytes(Data, Count, true);
    StopTimer();
    RaiseIfStopped();
}

void TagSocket::ReportProgress(std::int64_t Position, std::int64_t Size) {
    if (OnProgress) OnProgress(*this, Percent(Position, Size));
}

void TagSocket::LogNote(const std::string& Line) {
    if (!LogFileName.empty()) AddLogLine(Line);
}

void TagSocket::RaiseIfStopped() {
    if (timedOut_) {
        RaiseTimedOut();
    } else if (canceled_) {
        RaiseCanceled();
    }
}

void TagSocket::HoldWrites() { holding_ = true; }

bool TagSocket::SendHeld() {
    std::string data;
    data.swap(held_);
    std::vector<std::string> lines;
    lines.swap(heldLines_);
    if (!data.empty()) {
        StartTimer();
        SendBytes(data.data(), data.size(), true);
        StopTimer();
    }
    if (timedOut_ || canceled_) return false;
    for (const std::string& line : lines) RecordLine(true, line);
    return true;
}

void TagSocket::ReleaseWrites() {
    if (!holding_) return;
    holding_ = false;
    if (!SendHeld()) RaiseIfStopped();
}

void TagSocket::DropHeldWrites() {
    holding_ = false;
    held_.clear();
    heldLines_.clear();
}

void TagSocket::WriteLog() {
    if (LogFileName.empty()) return;  // no log asked for
    TMemoryStream out;
    for (const std::string& line : LogLines()) {
        out.WriteText(line);
        out.WriteText("\r\n");
    }
    out.SaveToPrivateFile(LogFileName);  // the dialogue and the addresses
    logWritten_ = true;
    linesWritten_ = logRecorded_;
}

void TagSocket::ClearLog() {
    logHead_.clear();
    logTail_.clear();
    logHeadBytes_ = logTailBytes_ = logLeftOut_ = 0;
    logRecorded_ = linesWritten_ = 0;
    logWritten_ = false;
}

void TagSocket::AddLogLine(const std::string& line) {
    ++logRecorded_;
    const std::size_t size = line.size() + 2;
    if (logTail_.empty() && logHeadBytes_ + size <= kLogPartLimit) {
        logHead_.push_back(line);
        logHeadBytes_ += size;
        return;
    }
    logTail_.push_back(line);
    logTailBytes_ += size;
    while (logTailBytes_ > kLogPartLimit && logTail_.size() > 1) {
        logTailBytes_ -= logTail_.front().size() + 2;
        logTail_.pop_front();
        ++logLeftOut_;
    }
}

StringVector TagSocket::LogLines() const {
    StringVector lines = logHead_;
    if (logLeftOut_ != 0) lines.push_back("[" + std::to_string(logLeftOut_) + " lines left out]");
    lines.insert(lines.end(), logTail_.begin(), logTail_.end());
    return lines;
}

}  // namespace quillpost
