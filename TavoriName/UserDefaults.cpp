#include "TavoriName/UserDefaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>

namespace tavori {

namespace fs = std::filesystem;

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

enum class ReadResult { ok, missing, failed };

ReadResult readFile(const fs::path& path, std::string& out) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT ? ReadResult::missing : ReadResult::failed;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return ReadResult::failed;
        }
        if (got == 0) return ReadResult::ok;
        out.append(buffer, static_cast<std::size_t>(got));
    }
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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
    thread_local std::mt19937_64 random{std::random_device{}()};
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".tavori-%016llx.tmp", static_cast<unsigned long long>(random()));
        temporary = folder / name;
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    FileDescriptor file(fd);
    ::fchmod(file.get(), mode);  // the umask must not narrow or widen what the old file had
    const bool written = writeAll(file.get(), text) && ::fsync(file.get()) == 0 && file.close() &&
                         std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) ::fsync(folderFd.get());
    return true;
}

}  // namespace

fs::path UserDefaults::locationFor(const char* xdgConfigHome, const char* home) {
    fs::path base;
    if (xdgConfigHome != nullptr && fs::path(xdgConfigHome).is_absolute())
        base = xdgConfigHome;
    else
        base = fs::path(home != nullptr ? home : "") / ".config";
    return base / "tavori-name" / "defaults.json";
}

fs::path UserDefaults::standardLocation() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return locationFor(std::getenv("XDG_CONFIG_HOME"), home);
}

std::optional<nlohmann::ordered_json> UserDefaults::value(std::string_view key) const {
    std::string text;
    if (readFile(file_, text) != ReadResult::ok) return std::nullopt;
    const auto store = nlohmann::ordered_json::parse(text, nullptr, false);
    if (!store.is_object()) return std::nullopt;
    const auto it = store.find(key);
    if (it == store.end()) return std::nullopt;
    return *it;
}

bool UserDefaults::setValue(std::string_view key, const nlohmann::ordered_json& value) {
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
