#include "net/winsock_binding.h"

#include "platform/socket_library.h"
#include "util/errors.h"
#include "util/message_table.h"

namespace quillpost {

TagWinsock::TagWinsock(std::string libraryName)
    : libraryName_(libraryName.empty() ? platform::DefaultSocketLibraryName()
                                       : std::move(libraryName)) {}

TagWinsock::~TagWinsock() {
    std::lock_guard lock(mutex_);
    UnloadLocked();
}

void TagWinsock::SetWinsockLoaded(bool value) {
    std::lock_guard lock(mutex_);
    if (value) {
        if (handle_.load() == nullptr) LoadLocked();
    } else if (users_ == 0) {
        UnloadLocked();
    }
}

void TagWinsock::Load() {
    std::lock_guard lock(mutex_);
    LoadLocked();
}

void TagWinsock::Unload() {
    std::lock_guard lock(mutex_);
    if (users_ == 0) UnloadLocked();
}

void TagWinsock::LoadLocked() {
    // A second Load keeps the first handle: the library is loaded once.
    if (handle_.load() != nullptr) return;
    platform::LibraryHandle handle = platform::LoadSocketLibrary(libraryName_);
    if (handle == nullptr) throw EWinsockDLLError(LoadMessage(msgWinsockNotFound));
    handle_.store(handle);
}

void TagWinsock::UnloadLocked() {
    platform::LibraryHandle handle = handle_.exchange(nullptr);
    if (handle != nullptr) platform::FreeSocketLibrary(handle);
}

void* TagWinsock::GetProc(const char* name) {
    void* handle = handle_.load();
    if (handle == nullptr) throw EWinsockDLLError(LoadMessage(msgWinsockNotLoaded));
    void* proc = platform::FindLibraryProc(handle, name);
    if (proc == nullptr) throw EWinsockDLLError(FormatMessage(msgFunctionNotFound, name));
    return proc;
}

void TagWinsock::AddUser() {
    std::lock_guard lock(mutex_);
    LoadLocked();
    ++users_;
}

void TagWinsock::ReleaseUser() {
    std::lock_guard lock(mutex_);
    if (users_ > 0) --users_;
}

int TagWinsock::Users() const {
    std::lock_guard lock(mutex_);
    return users_;
}

int TagWinsock::Startup(platform::SocketEvents& events) {
    std::lock_guard lock(startupMutex_);
    return events.Startup();
}

void TagWinsock::Cleanup(platform::SocketEvents& events) {
    std::lock_guard lock(startupMutex_);
    events.Cleanup();
}

TagWinsock& Winsock() {
    static TagWinsock instance;
    return instance;
}

}  // namespace quillpost
