#pragma once
// The mail-protocol client between the socket component and the SMTP client:
// log-on and log-off steps, and opening and closing a whole session around
// them.
#include "net/socket.h"

namespace quillpost {

class TmsMailBase : public TagSocket {
public:
    explicit TmsMailBase(TagWinsock* binding = nullptr) : TagSocket(binding) {}

    // Connect, then Login, unless the socket is connected already.
    void OpenSession();
    // Logout, then Close, if the socket is connected (no Logout when the
    // connection was never made or the server has closed its side). The
    // socket is closed also when Logout raises; that failure then propagates.
    void CloseSession();

protected:
    virtual void Login() = 0;
    virtual void Logout() = 0;

    // Set once the TCP connection of the current session is made; a socket
    // whose connection failed has nobody to say goodbye to.
    bool established_ = false;
};

}  // namespace quillpost
