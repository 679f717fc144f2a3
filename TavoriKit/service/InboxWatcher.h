#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavori {

// What tells one arrived file from another at the same path: a file replaced by a new one with the same name
// is a new arrival, the same file seen again is not.
struct FileSignature {
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    std::uintmax_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileSignature&) const = default;

    // The signature of a regular file (links are not followed), when it is one.
    static std::optional<FileSignature> of(const std::filesystem::path& path);
};

// Watches a folder and its sub-folders (the scanner's inbox) and hands on each supported document once it is
// complete: its size and modification time unchanged for the settle time counted from its last change or
// from when its writer closed it (and, while it is still open for writing, for thirty times as long), and
// it opens. Notifications come
// from inotify; a rescan at every rescan interval, and one after the kernel's queue overflowed, finds what
// they missed. Files present at the start are handed on as well. Hidden files and folders (where many tools
// write before renaming into place), links and empty files are never taken.
//
// Each file is handed on once while it stays; one that leaves and comes back, or is replaced by another
// file of the same name, is handed on again. A complete file that does not open is reported once, and
// again only after it changes (its permissions, say).
//
// The callbacks run on the watcher's own thread, one at a time; a caller that needs them elsewhere posts them
// on. None runs after stop() returns.
class InboxWatcher {
  public:
    using Clock = std::chrono::steady_clock;
    using ArrivedCallback = std::function<void(const std::filesystem::path&, const FileSignature&)>;
    using UnreadableCallback = std::function<void(const std::filesystem::path&, const std::string& message)>;

    struct Configuration {
        std::filesystem::path folder;
        // Folders never looked into, such as a destination inside the inbox, whose saved copies would
        // otherwise come back as new arrivals.
        std::vector<std::filesystem::path> excluded;
        Clock::duration settleTime = std::chrono::seconds(1);
        Clock::duration rescanInterval = std::chrono::seconds(10);
        // The time the settling is measured in; tests move it by hand and call wake().
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
    };

    InboxWatcher(Configuration configuration, ArrivedCallback arrived, UnreadableCallback unreadable = {});
    ~InboxWatcher();
    InboxWatcher(const InboxWatcher&) = delete;
    InboxWatcher& operator=(const InboxWatcher&) = delete;

    // Ends the watching and joins its thread; no callback runs after it returns.
    void stop();
    // Looks at the waiting files now rather than at their next deadline.
    void wake();
    // How many times the watcher has looked at its files: a file written before a wake() has been seen once
    // this number has grown past its value at the wake().
    std::uint64_t passes() const;
    // Whether the folder is watched by notification (false: rescans alone, e.g. when inotify is exhausted).
    bool notified() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavori
