#include "link/RegKey.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/AtomicFile.h"
#include "common/MathError.h"
#include "common/WinError.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kNumbers = "numbers";
constexpr const char* kStrings = "strings";

// One access at a time within the program; the lock file below keeps other
// programs out during a write.
std::mutex g_fileMutex;
std::string g_location;  // set by SetFileLocation; guarded by g_fileMutex

std::string DefaultLocation() {
    if (const char* path = std::getenv("RVSERVICE_SETTINGS"); path && *path) return path;
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* user = ::getpwuid(::getuid());
            home = user ? user->pw_dir : "/tmp";
        }
        config = fs::path(home) / ".config";
    }
    return (config / "Соврель" / "Сервис.json").string();
}

std::string LocationLocked() {
    return g_location.empty() ? DefaultLocation() : g_location;
}

struct Store {
    json root = json::object();
    bool damaged = false;
};

// The whole file. Missing: empty. Unreadable: win_error. Not a settings
// file: empty and marked damaged.
Store Load(const std::string& location) {
    Store store;
    std::string text;
    try {
        text = ReadWholeFile(location);
    } catch (const win_error& e) {
        if (e.ErrorCode == ENOENT || e.ErrorCode == ENOTDIR) return store;
        throw;
    }
    json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        store.damaged = true;
        return store;
    }
    store.root = std::move(root);
    return store;
}

// Replaces the file as a whole, so that a failure at any point leaves the
// old file whole. A new file is for the user alone.
void Save(const std::string& location, const Store& store) {
    const fs::path target(location);
    std::error_code error;
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), error);
        if (error) throw win_error(static_cast<std::uint32_t>(error.value()));
    }
    if (store.damaged) {
        // Keep what could not be read for the user to look at; the file
        // itself stays in place until its replacement has been written.
        fs::copy_file(target, location + ".damaged", fs::copy_options::overwrite_existing, error);
    }
    ReplaceFile(location, store.root.dump(2) + "\n", 0600);
}

// Held for one read-modify-write of the file: an exclusive flock on
// "<file>.lock" beside it. Every writer of the file (this program or another
// instance) takes it, so a write never starts from a state that another
// writer is about to replace, and no value written by either is lost.
// Readers need no lock: the file is only ever replaced whole.
class WriteLock {
public:
    explicit WriteLock(const std::string& location) {
        const fs::path target(location);
        std::error_code error;
        if (target.has_parent_path()) {
            fs::create_directories(target.parent_path(), error);
            if (error) throw win_error(static_cast<std::uint32_t>(error.value()));
        }
        const std::string path = location + ".lock";
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) comprt::ThrowLastError();
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(m_fd);
            throw win_error(static_cast<std::uint32_t>(code));
        }
    }
    // Closing the descriptor releases the lock.
    ~WriteLock() { ::close(m_fd); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    int m_fd = -1;
};

// The values of `name` of one kind in key `path`, or null.
const json* Find(const Store& store, const std::string& path, const char* kind, std::string_view name) {
    const auto key = store.root.find(path);
    if (key == store.root.end() || !key->is_object()) return nullptr;
    const auto values = key->find(kind);
    if (values == key->end() || !values->is_object()) return nullptr;
    const auto value = values->find(std::string(name));
    return value == values->end() ? nullptr : &*value;
}

// Key `path` of the store as an object with both kinds of values, replacing
// whatever of another shape stood there.
json& KeyOf(Store& store, const std::string& path) {
    json& key = store.root[path];
    if (!key.is_object()) key = json::object();
    for (const char* kind : {kNumbers, kStrings}) {
        if (!key.contains(kind) || !key[kind].is_object()) key[kind] = json::object();
    }
    return key;
}

bool IsUtf8(std::string_view text) {
    try {
        (void)json(text).dump();
        return true;
    } catch (const json::type_error&) {
        return false;
    }
}

}  // namespace

void RegKey::SetFileLocation(std::string path) {
    std::lock_guard lock(g_fileMutex);
    g_location = std::move(path);
}

std::string RegKey::FileLocation() {
    std::lock_guard lock(g_fileMutex);
    return LocationLocked();
}

void RegKey::CheckOpen() const {
    if (!m_open) throw UserError(kRegistryNotOpened);
}

void RegKey::Open(std::string_view path) {
    Close();
    std::lock_guard lock(g_fileMutex);
    const std::string location = LocationLocked();
    const std::string keyPath(path);
    const auto hasKey = [&](const Store& store) {
        const auto key = store.root.find(keyPath);
        return key != store.root.end() && key->is_object();
    };
    // A key that exists needs no write, so a settings folder the user may
    // not write to still opens.
    if (!hasKey(Load(location))) {
        const WriteLock fileLock(location);
        Store store = Load(location);
        if (!hasKey(store)) {
            KeyOf(store, keyPath);
            Save(location, store);
        }
    }
    m_path = keyPath;
    m_open = true;
}

std::int32_t RegKey::ReadInt(std::string_view name, std::int32_t defaultValue) const {
    CheckOpen();
    std::lock_guard lock(g_fileMutex);
    const Store store = Load(LocationLocked());
    const json* value = Find(store, m_path, kNumbers, name);
    if (!value || !value->is_number_integer()) return defaultValue;
    // A 32-bit value: written unsigned, accepted signed when set by hand.
    if (value->is_number_unsigned()) {
        const auto number = value->get<std::uint64_t>();
        if (number > std::numeric_limits<std::uint32_t>::max()) return defaultValue;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
    }
    const auto number = value->get<std::int64_t>();
    if (number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max())
        return defaultValue;
    return static_cast<std::int32_t>(number);
}

void RegKey::WriteInt(std::string_view name, std::int32_t value) {
    CheckOpen();
    std::lock_guard lock(g_fileMutex);
    const std::string location = LocationLocked();
    const WriteLock fileLock(location);
    Store store = Load(location);
    json& key = KeyOf(store, m_path);
    const std::string valueName(name);
    key[kStrings].erase(valueName);
    key[kNumbers][valueName] = static_cast<std::uint32_t>(value);
    Save(location, store);
}

std::string RegKey::ReadString(std::string_view name, const char* defaultValue) const {
    CheckOpen();
    const std::string fallback = defaultValue ? defaultValue : "";
    std::lock_guard lock(g_fileMutex);
    const Store store = Load(LocationLocked());
    const json* value = Find(store, m_path, kStrings, name);
    if (!value) return fallback;
    if (value->is_string()) return value->get<std::string>();
    // Bytes that are not UTF-8 text are kept as a list of byte values.
    if (!value->is_array()) return fallback;
    std::string bytes;
    for (const json& byte : *value) {
        if (!byte.is_number_unsigned() || byte.get<std::uint64_t>() > 255) return fallback;
        bytes.push_back(static_cast<char>(byte.get<std::uint64_t>()));
    }
    return bytes;
}

void RegKey::WriteString(std::string_view name, std::string_view text) {
    CheckOpen();
    // The string ends at its first zero, as a stored zero-terminated text does.
    text = text.substr(0, text.find('\0'));
    std::lock_guard lock(g_fileMutex);
    const std::string location = LocationLocked();
    const WriteLock fileLock(location);
    Store store = Load(location);
    json& key = KeyOf(store, m_path);
    const std::string valueName(name);
    key[kNumbers].erase(valueName);
    if (IsUtf8(text)) {
        key[kStrings][valueName] = std::string(text);
    } else {
        json bytes = json::array();
        for (const char c : text) bytes.push_back(static_cast<unsigned char>(c));
        key[kStrings][valueName] = std::move(bytes);
    }
    Save(location, store);
}
