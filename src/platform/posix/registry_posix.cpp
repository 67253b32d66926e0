// The registry as a text file: one line per key ("K" TAB path) and one per
// string value ("V" TAB path TAB name TAB value), with "%", TAB, CR and LF
// written as %25, %09, %0D, %0A. Every change rewrites the file through a
// temporary file and a rename, under an exclusive lock, so concurrent
// registrations do not lose each other's keys.
//
// The store names the libraries a host loads, so it is trusted as ssh trusts
// its files: the file and its folder must belong to this user or root and be
// writable by no one else. The temporary file is made exclusively and never
// through a link, so nothing planted at its name is followed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "base/ascii.h"
#include "platform/registry.h"

namespace quillpost::platform {
namespace {

std::string Fold(std::string_view s) { return AsciiUpperText(s); }

std::string Escape(std::string_view s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '%':
                r += "%25";
                break;
            case '\t':
                r += "%09";
                break;
            case '\r':
                r += "%0D";
                break;
            case '\n':
                r += "%0A";
                break;
            default:
                r += c;
        }
    }
    return r;
}

std::string Unescape(std::string_view s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const std::string hex(s.substr(i + 1, 2));
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                r += static_cast<char>(v);
                i += 2;
                continue;
            }
        }
        r += s[i];
    }
    return r;
}

// Trailing and doubled separators are not part of a key's name.
std::string Normalize(std::string_view key) {
    std::string r;
    for (char c : key) {
        if (c == '\\' && (r.empty() || r.back() == '\\')) continue;
        r += c;
    }
    while (!r.empty() && r.back() == '\\') r.pop_back();
    return r;
}

struct TKey {
    std::string path;  // as first written
    std::map<std::string, std::pair<std::string, std::string>>
        values;  // folded name -> name, value
};

// Keys by folded path, in a stable order.
using TStore = std::map<std::string, TKey>;

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why What (the file or its folder, Info from stat) is not to be trusted;
// empty when it is.
std::string Distrust(const std::string& what, const std::string& name, const struct stat& info) {
    if (info.st_uid != geteuid() && info.st_uid != 0)
        return "the registry " + what + " " + name + " belongs to user " +
               std::to_string(info.st_uid) + ", neither this user nor root";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "the registry " + what + " " + name + " is writable by group or others (mode " +
               ModeText(info.st_mode) + ")";
    return {};
}

std::string FolderOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// Why the folder of File cannot be trusted; empty when it can or is missing
// (it is then made, as this user's).
std::string FolderDistrust(const std::string& file) {
    const std::string folder = FolderOf(file);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return {};
    return Distrust("folder", folder, info);
}

// The store's text, read from the descriptor that was checked, so the file
// cannot be swapped between the check and the read. Nothing when File is
// missing; Fault says why when it is not to be trusted.
std::optional<std::string> ReadTrusted(const std::string& file, std::string& fault) {
    fault = FolderDistrust(file);
    if (!fault.empty()) return std::nullopt;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        // Only a missing store (or a path that cannot hold one) is empty: a
        // store that cannot be opened (no descriptor left, no permission)
        // would lose every key when rewritten as empty.
        if (errno == ENOENT || errno == ENOTDIR) return std::string();
        fault = "the registry file " + file + " cannot be opened: " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::string text;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        fault = "the registry file " + file + " is no regular file";
    } else {
        fault = Distrust("file", file, info);
    }
    char chunk[4096];
    ssize_t n = 0;
    while (fault.empty() && ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)))
        if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
    // A store cut short by a failed read would lose keys at the next rewrite.
    if (fault.empty() && n < 0)
        fault = "the registry file " + file + " cannot be read: " + std::strerror(errno);
    close(fd);
    if (!fault.empty()) return std::nullopt;
    return text;
}

// The store in File; nothing when it cannot be trusted.
std::optional<TStore> Load(const std::string& file) {
    std::string fault;
    const std::optional<std::string> text = ReadTrusted(file, fault);
    if (!text) return std::nullopt;
    TStore store;
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(Unescape(line.substr(start, tab - start)));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields.size() == 2 && fields[0] == "K") {
            TKey& key = store[Fold(fields[1])];
            key.path = fields[1];
        } else if (fields.size() == 4 && fields[0] == "V") {
            TKey& key = store[Fold(fields[1])];
            if (key.path.empty()) key.path = fields[1];
            key.values[Fold(fields[2])] = {fields[2], fields[3]};
        }
    }
    return store;
}

// A new file beside File, made exclusively: a name already taken, by a link
// or anything else, is passed over, never opened. -1 when none can be made.
int CreateTemporary(const std::string& file, std::string& name) {
    const std::string stem = file + ".tmp" + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = attempt == 0 ? stem : stem + "." + std::to_string(attempt);
        const int fd =
            open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Save(const std::string& file, const TStore& store) {
    std::ostringstream out;
    for (const auto& [folded, key] : store) {
        out << "K\t" << Escape(key.path) << '\n';
        for (const auto& [n, value] : key.values)
            out << "V\t" << Escape(key.path) << '\t' << Escape(value.first) << '\t'
                << Escape(value.second) << '\n';
    }
    std::string temp;
    const int fd = CreateTemporary(file, temp);
    if (fd < 0) return false;
    const std::string text = out.str();
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    if (close(fd) != 0 || !written) {
        unlink(temp.c_str());
        return false;
    }
    if (rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool MakeParents(const std::string& file) {
    for (std::size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1)) {
        const std::string dir = file.substr(0, at);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Runs Change on the store under an exclusive lock of a companion lock file;
// saves when Change answers true.
bool Update(const std::function<bool(TStore&)>& change) {
    const std::string file = RegistryStorePath();
    if (file.empty() || !MakeParents(file) || !FolderDistrust(file).empty()) return false;
    const std::string lockName = file + ".lock";
    const int lock = open(lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0) return false;
    bool ok = false;
    if (flock(lock, LOCK_EX) == 0) {
        std::optional<TStore> store = Load(file);
        ok = store && change(*store) && Save(file, *store);
        flock(lock, LOCK_UN);
    }
    close(lock);
    return ok;
}

}  // namespace

std::string RegistryStorePath() {
    if (const char* path = std::getenv("QUILLPOST_REGISTRY"); path != nullptr && *path != '\0')
        return path;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        return std::string(config) + "/quillpost/registry";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.config/quillpost/registry";
    return {};
}

std::string RegistryStoreFault() {
    const std::string file = RegistryStorePath();
    std::string fault;
    if (!file.empty()) ReadTrusted(file, fault);
    return fault;
}

bool RegistryWriteString(std::string_view key, std::string_view name, std::string_view value) {
    const std::string path = Normalize(key);
    if (path.empty()) return false;
    return Update([&](TStore& store) {
        // Parents exist whenever a child does, as in the system's registry.
        for (std::size_t at = 0;; ++at) {
            at = path.find('\\', at);
            const std::string part = path.substr(0, at);
            TKey& k = store[Fold(part)];
            if (k.path.empty()) k.path = part;
            if (at == std::string::npos) break;
        }
        store[Fold(path)].values[Fold(name)] = {std::string(name), std::string(value)};
        return true;
    });
}

bool RegistryDeleteKey(std::string_view key) {
    const std::string path = Fold(Normalize(key));
    if (path.empty()) return false;
    return Update([&](TStore& store) {
        const auto it = store.find(path);
        if (it == store.end()) return false;
        const std::string prefix = path + "\\";
        const auto child = store.lower_bound(prefix);
        if (child != store.end() && child->first.compare(0, prefix.size(), prefix) == 0)
            return false;
        store.erase(it);
        return true;
    });
}

bool RegistryKeyExists(std::string_view key) {
    const std::string file = RegistryStorePath();
    if (file.empty()) return false;
    const std::optional<TStore> store = Load(file);
    return store && store->count(Fold(Normalize(key))) != 0;
}

bool RegistryKeyExistsInOtherView(std::string_view) { return false; }

std::optional<std::string> RegistryReadString(std::string_view key, std::string_view name) {
    const std::string file = RegistryStorePath();
    if (file.empty()) return std::nullopt;
    const std::optional<TStore> loaded = Load(file);
    if (!loaded) return std::nullopt;
    const TStore& store = *loaded;
    const auto k = store.find(Fold(Normalize(key)));
    if (k == store.end()) return std::nullopt;
    const auto v = k->second.values.find(Fold(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second.second;
}

}  // namespace quillpost::platform
