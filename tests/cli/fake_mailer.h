#pragma once
// A Mailer object for the runner's tests: every call reaches a real in-process
// object and is written to a log, and the members that need a server or the
// composer today answer as the test tells them to.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/in_process_mailer.h"
#include "cli/late_bound_mailer.h"
#include "platform/console.h"
#include "util/errors.h"

namespace quillpost::cli {

class TFakeMailer : public TLateBoundMailer {
public:
    std::vector<std::string> log;
    // When set, SendMail and GetBodyTextFromFile answer this without running,
    // and Response reads `response` once one of them has answered.
    std::optional<bool> answer;
    std::string response;
    // What RefusedRecipients reads once SendMail has answered.
    std::string refused;
    // Progress reports SendMail makes while "sending".
    std::vector<std::pair<std::int64_t, std::int64_t>> progressSteps;
    // ComposeMessage writes this text with the current Subject in it, or
    // writes half of it and fails.
    bool composeFails = false;
    // A member whose every call fails as an automation error.
    std::string failing;

    com::HResult Invoke(std::string_view name, std::uint16_t flags,
                        std::span<const com::TVariant> args, com::TVariant* result,
                        com::TExcepInfo* excep) override {
        std::string entry = flags == com::kDispatchPropertyPut   ? "put "
                            : flags == com::kDispatchPropertyGet ? "get "
                                                                 : "call ";
        entry += name;
        for (const com::TVariant& a : args) entry += " " + Describe(a);
        log.push_back(entry);

        if (name == failing) {
            if (excep != nullptr)
                *excep = {0, {u"Test.Source", u"It broke", {}, 0}, com::kE_UNEXPECTED};
            return com::kDISP_E_EXCEPTION;
        }
        if (answer && (name == "SendMail" || name == "GetBodyTextFromFile")) {
            for (auto [sent, total] : progressSteps)
                if (progress_) progress_(sent, total);
            answered_ = true;
            *result = com::TVariant::Bool(ToWordBool(*answer));
            return com::kS_OK;
        }
        if (answer && (name == "Response" || name == "RefusedRecipients")) {
            const std::string& text = name == "Response" ? response : refused;
            *result = com::TVariant::Bstr(platform::ConsoleToWide(answered_ ? text : ""));
            return com::kS_OK;
        }
        return real_.Invoke(name, flags, args, result, excep);
    }

    void ComposeMessage(TStream& out) override {
        log.push_back("compose");
        com::TVariant subject;
        real_.Invoke("Subject", com::kDispatchPropertyGet, {}, &subject, nullptr);
        const std::string text =
            "Subject: " + platform::WideToConsole(subject.AsBstr()) + "\r\n\r\nBody\r\n";
        if (composeFails) {
            out.WriteText(text.substr(0, text.size() / 2));
            throw EMessageError("Composing failed");
        }
        out.WriteText(text);
    }

    void SetSendProgress(TProgressHandler handler) override { progress_ = std::move(handler); }

    static std::string Describe(const com::TVariant& v) {
        switch (v.Type()) {
            case com::kVtBstr:
                return "'" + platform::WideToConsole(v.AsBstr()) + "'";
            case com::kVtBool:
                return "bool:" + std::to_string(v.AsBool());
            case com::kVtI2:
                return "i2:" + std::to_string(v.AsI2());
            case com::kVtI4:
                return "i4:" + std::to_string(v.AsI4());
            default:
                return "type" + std::to_string(v.Type());
        }
    }

private:
    TInProcessMailer real_;
    TProgressHandler progress_;
    bool answered_ = false;
};

}  // namespace quillpost::cli
