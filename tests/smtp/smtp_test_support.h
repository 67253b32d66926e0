#pragma once
// Shared pieces of the SMTP client tests: a message whose composed text is
// fixed, and a client that records what its events saw.
#include <string>
#include <vector>

#include "message/message.h"
#include "raised.h"
#include "smtp/smtp_client.h"
#include "util/errors.h"
#include "util/stream.h"

namespace quillpost::testing {

// Composes to Text as it stands (already period-stuffed, CR LF line ends).
class FixedMessage : public TmsMessage {
public:
    FixedMessage() {
        Sender().SetAddress("sender@example.test");
        Recipients().AddAddress("rcpt@example.test", "");
    }
    void EncodeToStream(TStream& stream) override { stream.WriteText(text); }
    std::string text = "Subject: fixed\r\n\r\nHello.\r\n..dot line\r\n";
};

class RecordingSMTP : public TmsSMTP {
public:
    RecordingSMTP() {
        SetWinsockLoaded(true);
        TimeOut = 5;
        OnError = [this](TagSocket&, std::string& msg) { errors.push_back(msg); };
        OnPrepare = [this](TagSocket&) { events.push_back("prepare"); };
        OnSending = [this](TagSocket&) { events.push_back("sending"); };
        OnMailSent = [this](TagSocket&) { events.push_back("sent"); };
        OnProgress = [this](TagSocket&, std::int32_t perc) {
            events.push_back("progress " + std::to_string(perc));
        };
    }
    ~RecordingSMTP() override { OnClosing = OnClosed = nullptr; }

    // Send, reporting what it raised as "class: text" ("" for nothing).
    std::string TrySend() {
        return Raised([this] { Send(); }, "");
    }

    std::vector<std::string> errors, events;
};

}  // namespace quillpost::testing
