#include "TavoriName/SettingsStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "TavoriKit/base/FileDescriptor.h"

namespace tavori {

namespace fs = std::filesystem;

namespace {

enum class ReadResult { ok, missing, failed };

ReadResult readFile(const fs::path& path, std::string& out) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT ? ReadResult::missing : ReadResult::failed;
    return FileIO::readAll(fd.get(), out) == 0 ? ReadResult::ok : ReadResult::failed;
}

// Written under a temporary name in the same folder, synced, and renamed over `target`, so that a reader sees
// either the old file or the new one, never a part.
bool replaceAtomically(const fs::path& target, std::string_view text) {
    std::error_code ec;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::create_directories(folder, ec);
    if (ec) return false;
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 0777) : 0600;
    return FileIO::replaceAtomically(target, text, mode) == 0;
}

}  // namespace

fs::path SettingsStore::locationFor(const char* xdgConfigHome, const char* home) {
    fs::path base;
    if (xdgConfigHome != nullptr && fs::path(xdgConfigHome).is_absolute())
        base = xdgConfigHome;
    else
        base = fs::path(home != nullptr ? home : "") / ".config";
    return base / "tavori-name" / "defaults.json";
}

fs::path SettingsStore::standardLocation() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return locationFor(std::getenv("XDG_CONFIG_HOME"), home);
}

std::optional<nlohmann::ordered_json> SettingsStore::value(std::string_view key) const {
    std::string text;
    if (readFile(file_, text) != ReadResult::ok) return std::nullopt;
    const auto store = nlohmann::ordered_json::parse(text, nullptr, false);
    if (!store.is_object()) return std::nullopt;
    const auto it = store.find(key);
    if (it == store.end()) return std::nullopt;
    return *it;
}

bool SettingsStore::setValue(std::string_view key, const nlohmann::ordered_json& value) {
    // A symbolic link (a managed dotfile) stays one: the file it points at is replaced.
    std::error_code ec;
    fs::path target = fs::canonical(file_, ec);
    if (ec) target = file_;

    std::string text;
    nlohmann::ordered_json store = nlohmann::ordered_json::object();
    switch (readFile(target, text)) {
        case ReadResult::missing:
            break;
        case ReadResult::failed:
            return false;
        case ReadResult::ok:
            store = nlohmann::ordered_json::parse(text, nullptr, false);
            if (!store.is_object()) {
                // Not ours to understand, but not ours to lose either.
                if (!replaceAtomically(fs::path(target.native() + ".unreadable"), text)) return false;
                store = nlohmann::ordered_json::object();
            }
            break;
    }
    store[std::string(key)] = value;
    std::string output;
    try {
        output = store.dump(2) + "\n";
    } catch (const nlohmann::ordered_json::exception&) {
        return false;  // text that is not UTF-8 cannot be stored
    }
    return replaceAtomically(target, output);
}

}  // namespace tavori
