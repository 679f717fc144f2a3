#include "TavoriName/InboxFeed.h"

#include <mutex>
#include <set>
#include <vector>

#include <QMetaObject>
#include <QThreadPool>

#include "TavoriKit/service/InboxLedger.h"
#include "TavoriName/AppModel.h"

namespace fs = std::filesystem;

namespace tavori {

// The arrivals and the ledger have a lock each, so that the GUI thread never waits for a ledger being
// written.
struct InboxFeed::Shared {
    std::mutex mutex;
    std::vector<std::pair<fs::path, FileSignature>> arrived;
    bool posted = false;
    std::mutex ledgerMutex;
    std::optional<fs::path> ledgerFolder;
    std::unique_ptr<InboxLedger> ledger;  // read on first use, away from the GUI thread

    InboxLedger* openLedger() {
        if (!ledger && ledgerFolder) ledger = std::make_unique<InboxLedger>(*ledgerFolder);
        return ledger.get();
    }
};

InboxFeed::InboxFeed(AppModel& model, InboxWatcher::Configuration watching, QObject* parent)
    : QObject(parent), model_(model), watching_(std::move(watching)), shared_(std::make_shared<Shared>()) {
    connect(&model_, &AppModel::settingsChanged, this, &InboxFeed::followSettings);
    connect(&model_, &AppModel::itemChanged, this, &InboxFeed::itemChanged);
    connect(&model_, &AppModel::savingChanged, this, [this](bool saving) {
        if (!saving) saveWaiting();
    });
    followSettings();
}

InboxFeed::~InboxFeed() {
    // Joins the watcher's thread; what it already posted is dropped with this object.
    watcher_.reset();
}

void InboxFeed::followSettings() {
    const AppSettings& settings = model_.settings();
    const std::optional<fs::path> folder = settings.inboxFolder();
    const std::optional<fs::path> destination = settings.destinationFolder();
    const std::optional<fs::path> ledgerFolder = destination ? destination : folder;
    if (folder == folder_ && ledgerFolder == ledgerFolder_) return;

    watcher_.reset();
    folder_ = folder;
    ledgerFolder_ = ledgerFolder;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->arrived.clear();
    }
    {
        std::lock_guard lock(shared_->ledgerMutex);
        shared_->ledgerFolder = ledgerFolder;
        shared_->ledger.reset();
    }
    if (!folder_) return;
    InboxWatcher::Configuration configuration = watching_;
    configuration.folder = *folder_;
    // Copies saved into a destination inside the inbox are not arrivals.
    if (destination) configuration.excluded.push_back(*destination);
    watcher_ = std::make_unique<InboxWatcher>(
        configuration, [this, shared = shared_](const fs::path& path, const FileSignature& signature) {
            std::lock_guard lock(shared->mutex);
            if (InboxLedger* ledger = shared->openLedger(); ledger && ledger->contains(path, signature))
                return;
            shared->arrived.emplace_back(path, signature);
            if (shared->posted) return;
            shared->posted = true;
            QMetaObject::invokeMethod(this, &InboxFeed::takeArrivals, Qt::QueuedConnection);
        });
}

void InboxFeed::takeArrivals() {
    std::vector<std::pair<fs::path, FileSignature>> arrived;
    {
        std::lock_guard lock(shared_->mutex);
        arrived.swap(shared_->arrived);
        shared_->posted = false;
    }
    std::set<std::string> listed;
    for (const DocumentItem* item : model_.items()) listed.insert(item->sourcePath().native());
    std::vector<fs::path> paths;
    for (const auto& [path, signature] : arrived) {
        // A file already listed (dropped by hand, say) keeps its item and is not added twice.
        if (listed.count(path.native())) continue;
        fromInbox_[path.native()] = signature;
        paths.push_back(path);
    }
    model_.addFiles(paths);
}

void InboxFeed::itemChanged(int row) {
    if (row < 0 || row >= model_.itemCount()) return;
    const DocumentItem& item = model_.itemAt(row);
    const auto inbox = fromInbox_.find(item.sourcePath().native());
    if (inbox == fromInbox_.end()) return;

    if (item.status() == DocumentItem::Status::saved && item.outputPath()) {
        const RenameMode mode = model_.settings().mode;
        const fs::path source = item.sourcePath(), output = *item.outputPath();
        const FileSignature signature = inbox->second;
        fromInbox_.erase(inbox);
        if (mode == RenameMode::move) return;  // gone from the inbox
        QThreadPool::globalInstance()->start([shared = shared_, mode, source, output, signature] {
            std::lock_guard lock(shared->ledgerMutex);
            InboxLedger* ledger = shared->openLedger();
            if (!ledger) return;
            if (mode == RenameMode::copy)
                ledger->record(source, signature);
            else if (const auto renamed = FileSignature::of(output))
                ledger->record(output, *renamed);
        });
        return;
    }
    // Only as read: an item the user has begun to correct is saved when the user says so.
    if (item.status() == DocumentItem::Status::ready && model_.settings().autoSaveConfident &&
        !item.userEdited() && !item.confirmed() && !asksForReview(item.fields())) {
        toSave_.insert(item.id());
        saveWaiting();
    }
}

void InboxFeed::saveWaiting() {
    if (toSave_.isEmpty() || model_.isSaving()) return;
    const QSet<QUuid> ids = std::exchange(toSave_, {});
    model_.saveItems(ids);
}

}  // namespace tavori
