// Sending: one live attempt through the first host, one retry through the
// second, or the messenger of the test mode.
#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "base/ascii.h"
#include "mailer/mailer.h"
#include "message/message.h"
#include "platform/messenger.h"
#include "smtp/smtp_client.h"
#include "util/errors.h"
#include "util/string_helpers.h"

namespace quillpost {
namespace {

// The messenger is given this long; its outcome is ignored.
constexpr unsigned kMessengerWaitMs = 18;

}  // namespace

std::string TMailer::GetHost(int n) const {
    return ExtractWord(n + 1, remoteHost_, kHostSeparators);
}

std::string TMailer::MessengerCommandLine() const {
    return "NET SEND " + fromName_ + " Subject: " + subject_ + "\r\n\r\n" + BuildBodyText();
}

TMailer::TMailer() = default;
TMailer::~TMailer() { CloseConnection(); }

void TMailer::CloseConnection() noexcept {
    std::unique_ptr<TmsSMTP> smtp = std::move(kept_);
    if (!smtp) return;
    // The reply to QUIT can be waited for only on the thread that opened the
    // session; elsewhere the connection is just closed.
    if (keptThread_ == std::this_thread::get_id()) {
        try {
            smtp->CloseSession();
        } catch (...) {
            // The messages went out already; a failed goodbye changes nothing.
        }
    }
}

std::unique_ptr<TmsSMTP> TMailer::TakeSession(const std::string& host) {
    if (kept_ && (kept_->Server != host || !(kept_->Settings == session_) ||
                  keptThread_ != std::this_thread::get_id()))
        CloseConnection();
    if (kept_) return std::move(kept_);
    auto smtp = std::make_unique<TmsSMTP>();
    smtp->SetWinsockLoaded(true);
    smtp->Server = host;
    smtp->Settings = session_;
    return smtp;
}

void TMailer::NoteRefusedRecipients(const TmsSMTP& smtp, bool delivered) {
    // One line per recipient whatever the server wrote: its control
    // characters (a CR LF above all) become blanks.
    auto oneLine = [](std::string text) {
        std::ranges::replace_if(text, IsAsciiControl, ' ');
        return text;
    };
    for (const TmsSMTP::TRefusedRecipient& refused : smtp.RefusedRecipients())
        refusedRecipients_ += (refusedRecipients_.empty() ? "" : "\r\n") +
                              oneLine(refused.address) + '\t' + oneLine(refused.reply);
    // A send that failed says why already; one that went out says it did not
    // reach everyone. A send that reached all says what it said before.
    if (delivered && !smtp.RefusedRecipients().empty()) {
        response_ = std::to_string(smtp.RefusedRecipients().size()) + " of " +
                    std::to_string(smtp.RecipientCount()) + " recipients refused";
        refusalNote_ = response_;
    }
}

bool TMailer::SendMail() {
    if (!IsTrue(live_)) {
        platform::RunMessenger(MessengerCommandLine(), kMessengerWaitMs);
        return true;
    }
    bool result = true;
    connectionInfo_.clear();
    refusedRecipients_.clear();
    // The count describes one send; a later one that reaches everyone must
    // not seem to have refused anyone. Any other text stays as it always has.
    if (!refusalNote_.empty() && response_ == refusalNote_) response_.clear();
    refusalNote_.clear();
    try {
        auto message = std::make_unique<TmsMessage>();
        BuildMessage(*message);
        std::unique_ptr<TmsSMTP> smtp = TakeSession(GetHost(0));
        smtp->KeepOpen = IsTrue(keepConnection_);
        smtp->OnProgress = nullptr;
        if (OnSendProgress)
            smtp->OnProgress = [this](TagSocket&, std::int32_t perc) { OnSendProgress(perc, 100); };
        smtp->TimeOut = timeOut_;
        smtp->ClearLog();
        smtp->LogFileName = smtpLog_;
        smtp->Envelope = envelope_;
        smtp->SetMailMessage(message.get());
        try {
            smtp->Send();
        } catch (const EQuillpostError& first) {
            response_ = first.what();
            // A message the server accepted went out: a retry would send it twice.
            if (!smtp->MessageAccepted()) {
                const std::string second = GetHost(1);
                if (TrimBlanksAndControls(second).empty()) {
                    result = false;
                } else {
                    smtp->Server = second;
                    try {
                        smtp->Send();
                    } catch (const EQuillpostError& again) {
                        response_ = again.what();
                        result = smtp->MessageAccepted();
                    }
                }
            }
        }
        connectionInfo_ = smtp->ConnectionInfo();
        NoteRefusedRecipients(*smtp, result);
        // Written here so a log that cannot be written is reported; once the
        // message is delivered that failure no longer makes the send fail.
        try {
            smtp->WriteLog();
        } catch (const EQuillpostError& e) {
            response_ = e.what();
            if (!smtp->MessageAccepted()) result = false;
        }
        smtp->SetMailMessage(nullptr);
        // Still open only when kept.
        if (smtp->Connected()) {
            kept_ = std::move(smtp);
            keptThread_ = std::this_thread::get_id();
        }
        smtp.reset();
        message.reset();
    } catch (const EQuillpostError& e) {
        response_ = e.what();
        result = false;
    } catch (const std::bad_alloc&) {
        response_ = "Out of memory";
        result = false;
    }
    return result;
}

}  // namespace quillpost
