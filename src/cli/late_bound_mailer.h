#pragma once
// The Mailer object as the command line drives it: late-bound calls by member
// name with automation values, as a script makes them. Written against this
// small interface, the front end runs the same whether the object lives in
// this process (the dispatcher over TMailer) or is created through COM.
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "base/non_copyable.h"
#include "mailer/com/dispatcher.h"
#include "mailer/com/variant.h"
#include "util/errors.h"
#include "util/stream.h"

namespace quillpost::cli {

class TLateBoundMailer : private TNonCopyable {
public:
    using TProgressHandler = std::function<void(std::int64_t sent, std::int64_t total)>;

    virtual ~TLateBoundMailer() = default;

    // As IDispatch::Invoke after a name lookup: Args in natural order (first
    // argument first); DISP_E_EXCEPTION with Excep filled when the member
    // raised.
    virtual com::HResult Invoke(std::string_view name, std::uint16_t flags,
                                std::span<const com::TVariant> args, com::TVariant* result,
                                com::TExcepInfo* excep) = 0;

    // Writes the text that SendMail would send after DATA, without
    // connecting; raises on failure. Not on the automation surface: an object
    // reached through COM raises ENotAvailable, and the front end composes
    // with the in-process object instead.
    virtual void ComposeMessage(TStream&) {
        throw ENotAvailable("ComposeMessage is not available through COM");
    }

    // Called with the bytes sent so far and the total while a message is
    // sent; an empty handler removes it. Not on the automation surface
    // either: an object reached through COM accepts a handler and never calls it.
    virtual void SetSendProgress(TProgressHandler) {}
};

}  // namespace quillpost::cli
