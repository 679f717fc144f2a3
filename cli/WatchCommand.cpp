#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <ostream>
#include <thread>

#include "TavoriKit/saving/SavePlanner.h"
#include "TavoriKit/service/AnalysisService.h"
#include "TavoriKit/service/InboxLedger.h"
#include "TavoriKit/service/InboxWatcher.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/DuplicateReport.h"

namespace fs = std::filesystem;

namespace tavori::Commands {
namespace {

// Ctrl-C and SIGTERM become a request to stop, seen by a thread of our own rather than a handler, so that
// they can wake the loop below. Blocked before any worker starts, so no other thread receives them.
class StopSignals {
  public:
    template <class OnStop>
    explicit StopSignals(OnStop onStop) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        thread_ = std::thread([this, onStop] {
            int received = 0;
            ::sigwait(&signals_, &received);
            if (!ending_) onStop();
        });
    }
    ~StopSignals() {
        ending_ = true;
        ::pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
        // A signal that came while stopping is taken here rather than acted on after the command returned.
        timespec none{};
        while (::sigtimedwait(&signals_, nullptr, &none) > 0) {
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

  private:
    sigset_t signals_{};
    sigset_t previous_{};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

struct Arrival {
    FileAnalysis analysis;
    FileSignature signature;
};

}  // namespace

int watch(const WatchOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings settings = CommandSupport::loadSettings();
    if (!CommandSupport::applyMode(options.mode, settings, err)) return 2;
    std::error_code ec;
    if (!fs::is_directory(options.folder, ec)) {
        err << "受信フォルダが見つかりません (no such folder): " << options.folder.native() << '\n';
        return 1;
    }
    const fs::path inbox = fs::absolute(options.folder, ec).lexically_normal();

    // The chosen folder holds the ledger and is not watched, as in the window, also when renaming in place,
    // where a save leaves the documents and their book in their own folders.
    std::optional<fs::path> destination = settings.destinationFolder();
    SaveSettings saveSettings = settings.saveSettings();
    if (options.destination)
        saveSettings.destination = destination = CommandSupport::absolutePath(*options.destination);
    if (options.saveConfident) {
        try {
            SavePlanner::check({}, saveSettings);
        } catch (const RenameServiceError& error) {
            CommandSupport::reportSaveFailure(error.errorCase(), error.what(), err);
            return 1;
        }
    }
    // Copying leaves the saved files in the inbox and renaming keeps them there under their new names: the
    // ledger keeps a later start from saving them again.
    InboxLedger ledger(destination.value_or(inbox));
    std::mutex ledgerMutex;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Arrival> arrivals;
    bool stopRequested = false;
    StopSignals stopSignals([&] {
        std::lock_guard lock(mutex);
        stopRequested = true;
        changed.notify_all();
    });

    bool failed = false;
    {
        auto deliver = [&](Arrival arrival) {
            std::lock_guard lock(mutex);
            arrivals.push_back(std::move(arrival));
            changed.notify_all();
        };
        // After `deliver`, so that the workers are joined before it goes.
        AnalysisService service;
        const AnalyzerOptions analyzerOptions = settings.analyzerOptions();
        InboxWatcher::Configuration configuration;
        configuration.folder = inbox;
        if (destination) configuration.excluded = {*destination};
        configuration.settleTime = std::chrono::duration_cast<InboxWatcher::Clock::duration>(
            std::chrono::duration<double>(options.settleSeconds));
        InboxWatcher watcher(
            configuration,
            [&](const fs::path& path, const FileSignature& signature) {
                {
                    std::lock_guard lock(ledgerMutex);
                    if (ledger.contains(path, signature)) return;
                }
                service.analyze(
                    path, analyzerOptions,
                    [&, path, signature](AnalysisService::RequestId, AnalysisService::Outcome outcome) {
                        deliver(Arrival{CommandSupport::fileAnalysis(path, std::move(outcome)), signature});
                    });
            },
            [&](const fs::path& path, const std::string& message) {
                FileAnalysis failed;
                failed.source = path;
                failed.error = message;
                deliver(Arrival{std::move(failed), {}});
            });
        err << "受信フォルダを監視しています (watching) " << inbox.native() << "  Ctrl-C で終了 (to stop)"
            << std::endl;

        DuplicateReport duplicateReport(saveSettings, settings.aliases, err);
        while (true) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return stopRequested || !arrivals.empty(); });
            // What is read but not yet saved stays for the next start, which finds it in the inbox.
            if (stopRequested) break;
            Arrival arrival = std::move(arrivals.front());
            arrivals.pop_front();
            lock.unlock();

            const FileAnalysis& a = arrival.analysis;
            failed = failed || !a.ok();
            CommandSupport::printScanRow(a, settings.nameTemplate, duplicateReport.add(a), out);
            out.flush();
            if (!options.saveConfident || !a.ok() || asksForReview(*a.fields)) continue;

            // A stop asked for now waits for this save, file and row, to be complete.
            const SaveDocument document{a.source, *a.fields, std::nullopt};
            const SaveReport report = SavePlanner::save({&document, 1}, saveSettings);
            if (!report.succeeded()) {
                failed = true;
                err << a.source.native() << ": 保存に失敗しました: " << *report.failure << std::endl;
                continue;
            }
            const RenameResult& result = report.results.front();
            err << "保存しました (saved): " << result.source.native() << " -> " << result.destination.native()
                << std::endl;
            bool recorded = true;
            std::lock_guard ledgerLock(ledgerMutex);
            if (saveSettings.mode == RenameMode::copy) {
                recorded = ledger.record(result.source, arrival.signature);
            } else if (saveSettings.mode == RenameMode::renameInPlace) {
                const auto renamed = FileSignature::of(result.destination);
                recorded = renamed && ledger.record(result.destination, *renamed);
            }
            if (!recorded)
                err << ledger.path().native()
                    << ": 保存済みの記録を書けません。次の起動でもう一度保存されます (cannot record the save)"
                    << std::endl;
        }
        watcher.stop();
        service.cancelAll();
    }
    err << "監視を終了しました (stopped watching)" << std::endl;
    return failed ? 1 : 0;
}

}  // namespace tavori::Commands
