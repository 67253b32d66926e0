#include "net/winsock_binding.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/socket_errors.h"
#include "raised.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {
namespace {

using testing::Raised;

TEST(WinsockBinding, UnloadedBindingRefusesEveryCall) {
    TagWinsock w;
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(Raised([&] { w.GetProc("recv"); }), "dll: Winsock is not loaded");
    w.SetWinsockLoaded(false);  // nothing loaded: nothing happens
    w.Unload();
    EXPECT_FALSE(w.WinsockLoaded());
}

TEST(WinsockBinding, MissingLibraryStaysUnloadedAndCanBeRetried) {
    TagWinsock w("quillpost-no-such-socket-library.dll");
    EXPECT_EQ(Raised([&] { w.Load(); }), "dll: Winsock not found");
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(Raised([&] { w.SetWinsockLoaded(true); }), "dll: Winsock not found");
    EXPECT_EQ(Raised([&] { w.AddUser(); }), "dll: Winsock not found");
    EXPECT_EQ(w.Users(), 0);
    EXPECT_EQ(Raised([&] { w.GetProc("recv"); }), "dll: Winsock is not loaded");
}

TEST(WinsockBinding, LoadsOnceAndFindsEntryPointsByName) {
    TagWinsock w;
    w.SetWinsockLoaded(true);
    void* first = w.GetProc("recv");
    w.SetWinsockLoaded(true);  // a second request keeps the one library
    EXPECT_TRUE(w.WinsockLoaded());
    EXPECT_EQ(w.GetProc("recv"), first);
    EXPECT_NE(w.GetProc("send"), nullptr);
    EXPECT_EQ(Raised([&] { w.GetProc("recvNoSuchEntry"); }),
              "dll: Function recvNoSuchEntry not found");

    w.SetWinsockLoaded(false);
    EXPECT_FALSE(w.WinsockLoaded());
    w.Load();  // load and unload may alternate
    EXPECT_TRUE(w.WinsockLoaded());
    w.Unload();
    EXPECT_FALSE(w.WinsockLoaded());
}

TEST(WinsockBinding, StaysLoadedWhileAComponentUsesIt) {
    TagWinsock w;
    w.AddUser();
    w.AddUser();
    EXPECT_TRUE(w.WinsockLoaded());
    w.SetWinsockLoaded(false);  // another component's construction, say
    w.Unload();
    EXPECT_TRUE(w.WinsockLoaded());
    w.ReleaseUser();
    w.SetWinsockLoaded(false);
    EXPECT_TRUE(w.WinsockLoaded());
    w.ReleaseUser();
    w.ReleaseUser();  // an extra release does not go below zero
    EXPECT_EQ(w.Users(), 0);
    w.SetWinsockLoaded(false);
    EXPECT_FALSE(w.WinsockLoaded());
}

// The C library's error numbers reach scripts as the Winsock texts.
TEST(SocketErrors, ErrnoValuesGiveTheWinsockTexts) {
    struct Case {
        int errnoValue;
        const char* text;
    };
    const Case cases[] = {
        {ECONNREFUSED, "[10061] Connection refused"},
        {ECONNRESET, "[10054] Connection reset by peer"},
        {ETIMEDOUT, "[10060] Connection timed out"},
        {ENETUNREACH, "[10051] Network is unreachable"},
        {EHOSTUNREACH, "[10065] No Route to Host"},
        {EADDRINUSE, "[10048] Address already in use"},
        {EADDRNOTAVAIL, "[10049] Cannot assign requested address"},
        {ECONNABORTED, "[10053] Software caused connection abort"},
        {ENOTCONN, "[10057] Socket is not connected"},
        {EACCES, "[10013] Permission denied."},
        {EWOULDBLOCK, "[10035] Resource temporarily not available"},
        {EAGAIN, "[10035] Resource temporarily not available"},
        {EINPROGRESS, "[10035] Resource temporarily not available"},
        {EMFILE, "[10024] Too many open files"},
        {EPIPE, "[10054] Connection reset by peer"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadMessage(platform::WinsockCodeForErrno(c.errnoValue)), c.text) << c.errnoValue;
    }
    EXPECT_EQ(platform::WinsockCodeForErrno(0), 0);
}

TEST(SocketErrors, ErrnoWithoutSocketMeaningNeverBorrowsAText) {
    // ENOENT and EDOM have no Winsock counterpart.
    for (int e : {ENOENT, EDOM, E2BIG}) {
        std::uint16_t code = platform::WinsockCodeForErrno(e);
        EXPECT_FALSE(HasMessage(code)) << e;
        EXPECT_EQ(LoadMessage(code), "Error #" + std::to_string(code));
    }
}

}  // namespace
}  // namespace quillpost
