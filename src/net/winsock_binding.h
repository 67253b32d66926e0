#pragma once
// The run-time binding of the socket library: one per process, loaded on
// request, every entry point looked up by name at each call.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/socket_events.h"

namespace quillpost {

class TagWinsock : public platform::SocketProcSource {
public:
    // LibraryName empty means the system's socket library.
    explicit TagWinsock(std::string libraryName = {});
    TagWinsock(const TagWinsock&) = delete;
    TagWinsock& operator=(const TagWinsock&) = delete;
    virtual ~TagWinsock();

    bool WinsockLoaded() const { return handle_.load() != nullptr; }
    // True loads when nothing is loaded; false unloads.
    void SetWinsockLoaded(bool value);

    // Raises EWinsockDLLError "Winsock not found" when the library cannot be
    // loaded; the binding then stays unloaded.
    void Load();
    // Frees the library if one is loaded, whoever else uses it.
    void Unload();

    // The entry point called Name; raises EWinsockDLLError when nothing is
    // loaded or the library lacks the name.
    void* GetProc(const char* name) override;

    // Counted use by components: the first user loads the library (raising
    // as Load does), and SetWinsockLoaded(false) or Unload never frees it
    // while a user is left; the last release leaves it loaded for the next.
    void AddUser();
    void ReleaseUser();
    int Users() const;

    // The library's start-up and clean-up for one component, one at a time
    // in the process: some implementations count them without a lock, and a
    // count lost that way ends every socket of the process.
    int Startup(platform::SocketEvents& events);
    void Cleanup(platform::SocketEvents& events);

    const std::string& LibraryName() const { return libraryName_; }

private:
    void LoadLocked();
    void UnloadLocked();

    std::string libraryName_;
    std::atomic<void*> handle_{nullptr};
    mutable std::mutex mutex_;
    int users_ = 0;
    std::mutex startupMutex_;
};

// The process-wide binding (not loaded until asked).
TagWinsock& Winsock();

}  // namespace quillpost
