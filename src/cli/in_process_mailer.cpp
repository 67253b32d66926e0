#include "cli/in_process_mailer.h"

#include <utility>

namespace quillpost::cli {

com::HResult TInProcessMailer::Invoke(std::string_view name, std::uint16_t flags,
                                      std::span<const com::TVariant> args, com::TVariant* result,
                                      com::TExcepInfo* excep) {
    return dispatcher_.InvokeByName(name, flags, args, result, excep);
}

void TInProcessMailer::ComposeMessage(TStream& out) { mailer_.ComposeMessage(out); }

void TInProcessMailer::SetSendProgress(TProgressHandler handler) {
    mailer_.OnSendProgress = std::move(handler);
}

}  // namespace quillpost::cli
