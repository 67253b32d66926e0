#include "smtp/mail_base.h"

namespace quillpost {

void TmsMailBase::OpenSession() {
    if (Connected()) return;
    Connect();
    Login();
}

void TmsMailBase::CloseSession() {
    if (!Connected()) return;
    try {
        // A server that was never reached or has hung up can take no
        // log-off; trying would only replace the failure that ended the
        // dialogue.
        if (established_ && !PeerClosed()) Logout();
    } catch (...) {
        // A failed log-off must not leave the connection open behind it.
        established_ = false;
        Close();
        throw;
    }
    established_ = false;
    Close();
}

}  // namespace quillpost
