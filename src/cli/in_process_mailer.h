#pragma once
// The Mailer object in this process: a TMailer reached through the same
// dispatcher that serves scripts, so that the command line sees exactly the
// conversions and errors a script sees.
#include "cli/late_bound_mailer.h"
#include "mailer/com/dispatcher.h"
#include "mailer/mailer.h"

namespace quillpost::cli {

class TInProcessMailer final : public TLateBoundMailer {
public:
    com::HResult Invoke(std::string_view name, std::uint16_t flags,
                        std::span<const com::TVariant> args, com::TVariant* result,
                        com::TExcepInfo* excep) override;
    void ComposeMessage(TStream& out) override;
    void SetSendProgress(TProgressHandler handler) override;

private:
    TMailer mailer_;
    com::TMailerDispatcher dispatcher_{mailer_};
};

}  // namespace quillpost::cli
