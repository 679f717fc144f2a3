#include "TavoriKit/service/InboxWatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "TavoriKit/base/FileDescriptor.h"
#include "TavoriKit/reading/DocumentFiles.h"

namespace fs = std::filesystem;

namespace tavori {

std::optional<FileSignature> FileSignature::of(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileSignature{static_cast<std::uintmax_t>(st.st_dev), static_cast<std::uintmax_t>(st.st_ino),
                         static_cast<std::uintmax_t>(st.st_size),
                         std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_TO |
                                        IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF |
                                        IN_ONLYDIR | IN_DONT_FOLLOW;
// Deeper trees are not a scanner's inbox; the bound also ends any walk that a bind mount turns into a loop.
constexpr int kMaxDepth = 32;
// How many settle times a file still open for writing may stay unchanged before it is taken all the same.
constexpr int kOpenWriterPatience = 30;

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().native();
    return !name.empty() && name.front() == '.';
}

// The changed time counts too: a chmod that makes an unreadable file readable changes nothing else.
struct Observation {
    FileSignature signature;
    std::int64_t changedNanoseconds = 0;
    bool operator==(const Observation&) const = default;
};

std::optional<Observation> observe(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Observation{
        FileSignature{static_cast<std::uintmax_t>(st.st_dev), static_cast<std::uintmax_t>(st.st_ino),
                      static_cast<std::uintmax_t>(st.st_size),
                      std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec},
        std::int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}

std::string openFailure(int error) {
    if (error == EACCES || error == EPERM) return "ファイルを開けません（読み取りの権限がありません）";
    return std::string("ファイルを開けません（") + std::strerror(error) + "）";
}

}  // namespace

struct InboxWatcher::State {
    Configuration configuration;
    ArrivedCallback arrived;
    UnreadableCallback unreadable;

    FileDescriptor inotify;
    FileDescriptor wakeup;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> passes{0};
    std::atomic<bool> notified{false};
    std::mutex stopMutex;

    // Only the watcher's thread touches what follows.
    std::unordered_map<int, fs::path> folders;                            // watch descriptor -> folder
    std::map<fs::path, int> watches;                                      // folder -> watch descriptor
    std::set<std::pair<std::uintmax_t, std::uintmax_t>> excludedFolders;  // device, inode
    std::set<std::string> excludedPaths;
    struct Waiting {
        Observation seen;
        Clock::time_point since;
        // Written to and not closed since, as far as the notifications tell.
        bool open = false;
    };
    std::map<fs::path, Waiting> waiting;
    std::map<fs::path, FileSignature> handed;
    std::map<fs::path, Observation> reported;
    Clock::time_point nextRescan{};

    bool isExcluded(const fs::path& folder) const {
        if (excludedPaths.count(folder.native())) return true;
        struct stat st {};
        return ::stat(folder.c_str(), &st) == 0 &&
               excludedFolders.count({std::uintmax_t(st.st_dev), std::uintmax_t(st.st_ino)}) > 0;
    }

    void watchFolder(const fs::path& folder) {
        if (inotify.get() < 0 || watches.count(folder)) return;
        const int wd = ::inotify_add_watch(inotify.get(), folder.c_str(), kFolderEvents);
        if (wd < 0) {
            // Out of watches (or no such folder yet): the rescans still find what arrives there.
            notified = false;
            return;
        }
        // A folder moved inside the inbox keeps its descriptor under its new name.
        if (const auto old = folders.find(wd); old != folders.end()) watches.erase(old->second);
        folders[wd] = folder;
        watches[folder] = wd;
    }

    void unwatchBelow(const fs::path& folder) {
        const std::string prefix = folder.native() + "/";
        for (auto it = watches.begin(); it != watches.end();) {
            if (it->first == folder || it->first.native().starts_with(prefix)) {
                ::inotify_rm_watch(inotify.get(), it->second);
                folders.erase(it->second);
                it = watches.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Every file below `folder` that is not handed on yet becomes a waiting file; new folders are watched.
    void scan(const fs::path& folder, int depth) {
        if (depth > kMaxDepth || isExcluded(folder)) return;
        watchFolder(folder);
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            const fs::path& entry = it->path();
            if (isHidden(entry)) continue;
            std::error_code typeError;
            const fs::file_status status = it->symlink_status(typeError);
            if (fs::is_directory(status))
                scan(entry, depth + 1);
            else if (fs::is_regular_file(status))
                consider(entry);
        }
    }

    void rescan() {
        // What left the inbox since is forgotten, so that it is taken again should it come back.
        for (auto it = handed.begin(); it != handed.end();) {
            const auto now = FileSignature::of(it->first);
            if (!now || now->inode != it->second.inode || now->device != it->second.device)
                it = handed.erase(it);
            else
                ++it;
        }
        std::erase_if(reported,
                      [](const auto& entry) { return !fs::exists(fs::symlink_status(entry.first)); });
        scan(configuration.folder, 0);
        nextRescan = configuration.now() + configuration.rescanInterval;
    }

    void consider(const fs::path& path) {
        if (isHidden(path) || !DocumentFiles::isSupported(path)) return;
        const auto seen = observe(path);
        if (!seen) return;
        if (const auto it = handed.find(path); it != handed.end()) {
            if (it->second.inode == seen->signature.inode && it->second.device == seen->signature.device)
                return;
            handed.erase(it);
        }
        if (const auto it = reported.find(path); it != reported.end()) {
            if (it->second == *seen) return;
            reported.erase(it);
        }
        waiting.try_emplace(path, Waiting{*seen, configuration.now()});
    }

    void forget(const fs::path& path) {
        waiting.erase(path);
        handed.erase(path);
        reported.erase(path);
    }

    void readEvents(bool& overflowed) {
        alignas(struct inotify_event) char buffer[16384];
        while (true) {
            const ssize_t n = ::read(inotify.get(), buffer, sizeof buffer);
            if (n <= 0) return;  // EAGAIN: drained
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(p);
                p += sizeof(struct inotify_event) + event->len;
                if (event->mask & IN_Q_OVERFLOW) {
                    overflowed = true;
                    continue;
                }
                const auto folder = folders.find(event->wd);
                if (folder == folders.end()) continue;
                if (event->mask & IN_IGNORED) {
                    watches.erase(folder->second);
                    folders.erase(folder);
                    continue;
                }
                if (event->len == 0) continue;
                const fs::path path = folder->second / event->name;
                if (event->mask & (IN_MOVED_FROM | IN_DELETE)) {
                    if (event->mask & IN_ISDIR) {
                        // A folder that left takes its files with it.
                        unwatchBelow(path);
                        const std::string prefix = path.native() + "/";
                        std::erase_if(waiting,
                                      [&](const auto& e) { return e.first.native().starts_with(prefix); });
                        std::erase_if(handed,
                                      [&](const auto& e) { return e.first.native().starts_with(prefix); });
                        std::erase_if(reported,
                                      [&](const auto& e) { return e.first.native().starts_with(prefix); });
                    } else {
                        forget(path);
                    }
                } else if (event->mask & IN_ISDIR) {
                    // Files may already be in a folder that was just created or moved in.
                    if ((event->mask & (IN_CREATE | IN_MOVED_TO)) && !isHidden(path)) scan(path, 1);
                } else {
                    if (event->mask & IN_MOVED_TO) handed.erase(path);
                    consider(path);
                    const auto it = waiting.find(path);
                    if (it == waiting.end()) continue;
                    if (event->mask & (IN_CREATE | IN_MODIFY)) it->second.open = true;
                    // The writer is done: the settling counts from now.
                    if (event->mask & IN_CLOSE_WRITE)
                        it->second = Waiting{it->second.seen, configuration.now(), false};
                }
            }
        }
    }

    // Hands on the waiting files that have settled; returns the time until the next one may have.
    std::optional<Clock::duration> settle() {
        std::vector<std::pair<fs::path, FileSignature>> ready;
        std::vector<std::pair<fs::path, std::string>> failed;
        std::optional<Clock::duration> next;
        const auto now = configuration.now();
        for (auto it = waiting.begin(); it != waiting.end();) {
            const auto seen = observe(it->first);
            if (!seen) {
                it = waiting.erase(it);
                continue;
            }
            if (!(*seen == it->second.seen)) {
                it->second.seen = *seen;
                it->second.since = now;
            }
            // A scanner that pauses between pages keeps its file open; one that never closes it is
            // given up on after a while, and so are notifications that went missing.
            const auto settleTime =
                it->second.open ? configuration.settleTime * kOpenWriterPatience : configuration.settleTime;
            const auto left = it->second.since + settleTime - now;
            // An empty file is one the scanner has only just created.
            if (left > Clock::duration::zero() || seen->signature.size == 0) {
                if (seen->signature.size != 0) next = next ? std::min(*next, left) : left;
                ++it;
                continue;
            }
            const int fd = ::open(it->first.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) {
                failed.emplace_back(it->first, openFailure(errno));
                reported[it->first] = *seen;
            } else {
                ::close(fd);
                ready.emplace_back(it->first, seen->signature);
                handed[it->first] = seen->signature;
            }
            it = waiting.erase(it);
        }
        for (const auto& [path, signature] : ready) {
            if (stopping) break;
            arrived(path, signature);
        }
        for (const auto& [path, message] : failed) {
            if (stopping) break;
            if (unreadable) unreadable(path, message);
        }
        return next;
    }

    void run() {
        rescan();
        while (!stopping) {
            const auto untilSettled = settle();
            passes.fetch_add(1);
            const auto now = configuration.now();
            auto timeout = nextRescan - now;
            if (untilSettled) timeout = std::min(timeout, *untilSettled);
            const auto milliseconds = std::clamp<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(timeout).count(), 0, 60'000);
            struct pollfd fds[2] = {{wakeup.get(), POLLIN, 0}, {inotify.get(), POLLIN, 0}};
            const int count = inotify.get() >= 0 ? 2 : 1;
            if (::poll(fds, nfds_t(count), int(milliseconds)) < 0 && errno != EINTR) break;
            if (stopping) break;
            if (fds[0].revents & POLLIN) {
                std::uint64_t value = 0;
                [[maybe_unused]] const auto n = ::read(wakeup.get(), &value, sizeof value);
            }
            bool overflowed = false;
            if (count == 2 && (fds[1].revents & POLLIN)) readEvents(overflowed);
            if (overflowed || configuration.now() >= nextRescan) rescan();
        }
    }
};

namespace {

// Absolute, without "." or ".." and without a trailing separator, so that folders compare as paths.
fs::path normalFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path path = fs::absolute(folder, ec);
    if (ec) path = folder;
    path = path.lexically_normal();
    if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
    return path;
}

}  // namespace

InboxWatcher::InboxWatcher(Configuration configuration, ArrivedCallback arrived,
                           UnreadableCallback unreadable)
    : state_(std::make_unique<State>()) {
    configuration.folder = normalFolder(configuration.folder);
    for (const auto& excluded : configuration.excluded) {
        const fs::path path = normalFolder(excluded);
        state_->excludedPaths.insert(path.native());
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) state_->excludedFolders.insert({st.st_dev, st.st_ino});
    }
    state_->configuration = std::move(configuration);
    state_->arrived = std::move(arrived);
    state_->unreadable = std::move(unreadable);
    state_->inotify = FileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    state_->notified = state_->inotify.get() >= 0;
    state_->wakeup = FileDescriptor(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    state_->thread = std::thread([state = state_.get()] { state->run(); });
}

InboxWatcher::~InboxWatcher() {
    stop();
}

void InboxWatcher::stop() {
    std::lock_guard lock(state_->stopMutex);
    if (!state_->thread.joinable()) return;
    state_->stopping = true;
    wake();
    state_->thread.join();
}

void InboxWatcher::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(state_->wakeup.get(), &one, sizeof one);
}

std::uint64_t InboxWatcher::passes() const {
    return state_->passes.load();
}

bool InboxWatcher::notified() const {
    return state_->notified.load();
}

}  // namespace tavori
