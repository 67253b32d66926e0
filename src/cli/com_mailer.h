#pragma once
// The Mailer object created through COM: every member call goes through
// IDispatch (GetIDsOfNames, then Invoke), so the command line drives the
// component exactly as a script does. The automation surface has neither a
// way to compose without sending nor a progress hook: this object keeps the
// base's ComposeMessage and SetSendProgress.
#include <memory>
#include <string>
#include <utility>

#include "cli/late_bound_mailer.h"
#include "platform/com.h"

namespace quillpost::cli {

class TComMailer final : public TLateBoundMailer {
public:
    explicit TComMailer(platform::TComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

    // Creates the object by its ProgID. When the class is not registered (no
    // ProgID, no class, or a registered library that is gone) and
    // ServerLibrary is not empty, registers that library through its
    // DllRegisterServer and tries once more. On failure Out stays empty and
    // the result is the last failure.
    static com::HResult Create(const std::string& serverLibrary, std::unique_ptr<TComMailer>& out);

    com::HResult Invoke(std::string_view name, std::uint16_t flags,
                        std::span<const com::TVariant> args, com::TVariant* result,
                        com::TExcepInfo* excep) override;

private:
    platform::TComPtr<IDispatch> dispatch_;
};

// Whether a command line needs what only the in-process object offers:
// "--compose" (composing without sending). Options compare without regard to
// case, as the runner reads them.
bool NeedsInProcessMailer(std::span<const std::string> args);

}  // namespace quillpost::cli
