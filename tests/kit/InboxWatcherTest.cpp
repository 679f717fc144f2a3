#include <gtest/gtest.h>

#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <future>
#include <map>
#include <mutex>

#include "../TestFiles.h"
#include "TavoriKit/service/InboxLedger.h"
#include "TavoriKit/service/InboxWatcher.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tavori::FileSignature;
using tavori::InboxWatcher;
using tavori::test::TestFolder;
using tavori::test::writeFile;

namespace {

// What the watcher handed on: each path with how often, and its size at that moment.
class Arrivals {
  public:
    InboxWatcher::ArrivedCallback callback() {
        return [this](const fs::path& path, const FileSignature&) {
            std::error_code ec;
            const auto size = fs::file_size(path, ec);
            std::lock_guard lock(mutex_);
            ++count_[path.filename().native()];
            sizes_[path.filename().native()] = size;
            changed_.notify_all();
        };
    }
    // Waits, within a bound, until `n` different files have arrived.
    bool waitForFiles(std::size_t n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 30s, [&] { return count_.size() >= n; });
    }
    std::map<std::string, int> counts() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    std::uintmax_t size(const std::string& name) {
        std::lock_guard lock(mutex_);
        return sizes_[name];
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, int> count_;
    std::map<std::string, std::uintmax_t> sizes_;
};

// Until the watcher has looked at the files once after this call: one pass may have begun before it.
void lookAgain(InboxWatcher& watcher) {
    const auto before = watcher.passes();
    watcher.wake();
    for (int i = 0; i < 30000 && watcher.passes() < before + 2; ++i) {
        watcher.wake();
        std::this_thread::yield();
        ::usleep(100);
    }
    ASSERT_GE(watcher.passes(), before + 2) << "the watcher did not look again";
}

InboxWatcher::Configuration quick(const fs::path& folder) {
    InboxWatcher::Configuration configuration;
    configuration.folder = folder;
    configuration.settleTime = 50ms;
    configuration.rescanInterval = 200ms;
    return configuration;
}

}  // namespace

TEST(InboxWatcherTest, AFileWrittenInPiecesIsHandedOnOnceAndWhole) {
    TestFolder dir;
    std::mutex clockMutex;
    auto now = InboxWatcher::Clock::time_point{} + 1h;
    InboxWatcher::Configuration configuration;
    configuration.folder = dir.path();
    configuration.settleTime = 2s;
    configuration.rescanInterval = 24h;
    configuration.now = [&] {
        std::lock_guard lock(clockMutex);
        return now;
    };
    auto advance = [&](auto by) {
        std::lock_guard lock(clockMutex);
        now += by;
    };
    Arrivals arrivals;
    InboxWatcher watcher(configuration, arrivals.callback());
    lookAgain(watcher);  // watching, so that it sees the file being written

    std::ofstream scan(dir / "scan.pdf", std::ios::binary);
    std::uintmax_t written = 0;
    for (int piece = 0; piece < 5; ++piece) {
        const std::string bytes(4096 + piece, char('a' + piece));
        scan << bytes << std::flush;
        written += bytes.size();
        lookAgain(watcher);
        // A scanner pausing between pages keeps the file open: however long the pause, it is not complete.
        advance(10s);
        lookAgain(watcher);
        EXPECT_TRUE(arrivals.counts().empty()) << "handed on after piece " << piece;
    }
    scan.close();
    lookAgain(watcher);
    advance(1s);
    lookAgain(watcher);
    EXPECT_TRUE(arrivals.counts().empty()) << "handed on before the settle time";
    advance(1s);
    ASSERT_TRUE((lookAgain(watcher), arrivals.waitForFiles(1)));
    EXPECT_EQ(arrivals.size("scan.pdf"), written);
    advance(1h);
    lookAgain(watcher);
    EXPECT_EQ(arrivals.counts(), (std::map<std::string, int>{{"scan.pdf", 1}}));
}

TEST(InboxWatcherTest, FilesPresentAtStartAndABurstArriveEachOnce) {
    TestFolder dir;
    for (int i = 0; i < 20; ++i) writeFile(dir / ("early" + std::to_string(i) + ".pdf"), "%PDF early");
    Arrivals arrivals;
    InboxWatcher watcher(quick(dir.path()), arrivals.callback());
    for (int i = 0; i < 200; ++i) writeFile(dir / ("burst" + std::to_string(i) + ".jpg"), "burst");
    ASSERT_TRUE(arrivals.waitForFiles(220)) << arrivals.counts().size();
    // Rescans and later events (the files are touched again) hand on nothing more.
    for (int i = 0; i < 200; i += 7)
        fs::last_write_time(dir / ("burst" + std::to_string(i) + ".jpg"), fs::file_time_type::clock::now());
    for (int pass = 0; pass < 3; ++pass) lookAgain(watcher);
    const auto counts = arrivals.counts();
    EXPECT_EQ(counts.size(), 220u);
    for (const auto& [name, count] : counts) EXPECT_EQ(count, 1) << name;
}

TEST(InboxWatcherTest, AfterTheKernelQueueOverflowsARescanFindsEveryFile) {
    TestFolder dir;
    auto configuration = quick(dir.path());
    configuration.rescanInterval = 24h;  // only the overflow may bring on a rescan
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    Arrivals arrivals;
    auto count = arrivals.callback();
    InboxWatcher watcher(configuration, [&](const fs::path& path, const FileSignature& signature) {
        count(path, signature);
        released.wait();  // the watcher reads no events while held here
    });
    writeFile(dir / "first.pdf", "x");
    ASSERT_TRUE(arrivals.waitForFiles(1));
    // Three events per file: more than the kernel queues by default.
    const int files = 7000;
    for (int i = 0; i < files; ++i) writeFile(dir / ("f" + std::to_string(i) + ".pdf"), "x");
    release.set_value();
    ASSERT_TRUE(arrivals.waitForFiles(files + 1)) << arrivals.counts().size();
}

TEST(InboxWatcherTest, TakesWhatIsMovedInOrAppearsInANewSubFolderAndNothingElse) {
    TestFolder dir;
    const fs::path inbox = dir / "inbox", destination = inbox / "saved";
    fs::create_directories(inbox);
    writeFile(dir / "elsewhere" / "moved.pdf", "%PDF moved");
    Arrivals arrivals;
    auto configuration = quick(inbox);
    configuration.excluded = {destination};
    InboxWatcher watcher(configuration, arrivals.callback());

    fs::rename(dir / "elsewhere" / "moved.pdf", inbox / "moved.pdf");
    writeFile(inbox / "2024" / "03" / "nested.png", "png");
    // Never taken: hidden files and folders, other types, links, the excluded destination.
    writeFile(inbox / ".partial.pdf", "x");
    writeFile(inbox / ".tmp" / "hidden.pdf", "x");
    writeFile(inbox / "notes.txt", "x");
    writeFile(destination / "saved.pdf", "x");
    fs::create_symlink(dir / "elsewhere", inbox / "link");
    writeFile(dir / "elsewhere" / "behind-link.pdf", "x");
    fs::create_symlink(inbox / "moved.pdf", inbox / "link.pdf");

    ASSERT_TRUE(arrivals.waitForFiles(2));
    for (int pass = 0; pass < 3; ++pass) lookAgain(watcher);
    EXPECT_EQ(arrivals.counts(), (std::map<std::string, int>{{"moved.pdf", 1}, {"nested.png", 1}}));

    // A file that leaves and another that takes its name later are two arrivals.
    fs::remove(inbox / "moved.pdf");
    lookAgain(watcher);
    writeFile(inbox / "moved.pdf", "%PDF again");
    ASSERT_TRUE(arrivals.waitForFiles(2));
    for (int i = 0; i < 300 && arrivals.counts()["moved.pdf"] < 2; ++i) lookAgain(watcher);
    EXPECT_EQ(arrivals.counts()["moved.pdf"], 2);
}

TEST(InboxWatcherTest, AFileThatDoesNotOpenIsReportedOnceUntilItChanges) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens any file";
    TestFolder dir;
    writeFile(dir / "locked.pdf", "%PDF");
    fs::permissions(dir / "locked.pdf", fs::perms::none);
    std::mutex mutex;
    std::vector<std::string> reports;
    Arrivals arrivals;
    InboxWatcher watcher(quick(dir.path()), arrivals.callback(),
                         [&](const fs::path&, const std::string& message) {
                             std::lock_guard lock(mutex);
                             reports.push_back(message);
                         });
    for (int i = 0; i < 500 && (std::lock_guard(mutex), reports.empty()); ++i) lookAgain(watcher);
    for (int pass = 0; pass < 5; ++pass) lookAgain(watcher);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0], "ファイルを開けません（読み取りの権限がありません）");
    }
    fs::permissions(dir / "locked.pdf", fs::perms::owner_read);
    EXPECT_TRUE(arrivals.waitForFiles(1));
}

TEST(InboxLedgerTest, RemembersSavedFilesAcrossInstancesByPathSizeAndTime) {
    TestFolder dir;
    const FileSignature first{1, 2, 300, 4000}, changed{1, 2, 301, 4000};
    const fs::path odd = dir / "name\twith\nbreaks%.pdf";
    {
        tavori::InboxLedger ledger(dir / "out");
        EXPECT_FALSE(ledger.contains(odd, first));
        ASSERT_TRUE(ledger.record(odd, first));
    }
    // A crash mid-line leaves a fragment that records nothing.
    std::ofstream(dir / "out" / tavori::InboxLedger::fileName, std::ios::app) << "12\t34\t/some/partial";
    {
        tavori::InboxLedger again(dir / "out");
        EXPECT_TRUE(again.contains(odd, first));
        EXPECT_FALSE(again.contains(odd, changed));
        EXPECT_FALSE(again.contains("/some/partial", FileSignature{0, 0, 12, 34}));
        ASSERT_TRUE(again.record(odd, changed));
    }
    tavori::InboxLedger third(dir / "out");
    EXPECT_TRUE(third.contains(odd, first));
    EXPECT_TRUE(third.contains(odd, changed));
}
