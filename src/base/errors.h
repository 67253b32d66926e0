#pragma once
// The one exception hierarchy of the component. Every class carries the final
// message text. It sits below every layer, the platform layer included, so
// that any layer may raise; the raisers whose texts come from the message
// table are in util/errors.h.
#include <stdexcept>
#include <string>

namespace quillpost {

class EQuillpostError : public std::runtime_error {
public:
    explicit EQuillpostError(const std::string& message) : std::runtime_error(message) {}
};

#define QP_DECLARE_ERROR(Name)                                                  \
    class Name : public EQuillpostError {                                       \
    public:                                                                     \
        explicit Name(const std::string& message) : EQuillpostError(message) {} \
    }

// Out-of-range values put into numeric properties and routines.
QP_DECLARE_ERROR(ERangeError);
// An index outside 0 .. Count - 1 of a list.
QP_DECLARE_ERROR(EListError);
// Assign between persistent objects of incompatible classes.
QP_DECLARE_ERROR(EConvertError);
// Input and output failures: files, codec input with a bad character.
QP_DECLARE_ERROR(EInOutError);
// A malformed component stream.
QP_DECLARE_ERROR(EReadError);
// A member whose behaviour this build does not provide.
QP_DECLARE_ERROR(ENotAvailable);
// Mail-level failures: validation, missing fields.
QP_DECLARE_ERROR(EMessageError);
// SendMail without a sender address.
QP_DECLARE_ERROR(EEmptyFromAddress);
// Failures while parsing a received message.
QP_DECLARE_ERROR(EMessageParserError);
// Socket layer and rejected server replies.
QP_DECLARE_ERROR(ESocketError);
// The run-time binding of the socket library.
QP_DECLARE_ERROR(EWinsockDLLError);

#undef QP_DECLARE_ERROR

}  // namespace quillpost
