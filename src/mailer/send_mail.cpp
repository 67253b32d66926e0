// Sending: one live attempt through the first host, one retry through the
// second, or the messenger of the test mode.
#include <exception>
#include <memory>
#include <new>
#include <string>

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

bool TMailer::SendMail() {
    if (!IsTrue(live_)) {
        platform::RunMessenger(MessengerCommandLine(), kMessengerWaitMs);
        return true;
    }
    bool result = true;
    connectionInfo_.clear();
    try {
        auto smtp = std::make_unique<TmsSMTP>();
        smtp->SetWinsockLoaded(true);
        auto message = std::make_unique<TmsMessage>();
        BuildMessage(*message);
        if (OnSendProgress)
            smtp->OnProgress = [this](TagSocket&, std::int32_t perc) { OnSendProgress(perc, 100); };
        smtp->Server = GetHost(0);
        smtp->TimeOut = timeOut_;
        smtp->LogFileName = smtpLog_;
        smtp->Settings = session_;
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
        // Written here so a log that cannot be written is reported; once the
        // message is delivered that failure no longer makes the send fail.
        try {
            smtp->WriteLog();
        } catch (const EQuillpostError& e) {
            response_ = e.what();
            if (!smtp->MessageAccepted()) result = false;
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
