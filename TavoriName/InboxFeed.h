#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QSet>
#include <QUuid>

#include "TavoriKit/service/InboxWatcher.h"

namespace tavori {

class AppModel;

// Feeds the model with what arrives in the settings' inbox folder while the window runs: each complete
// document is added to the list as if dropped (files there at the start too), and, with autoSaveConfident,
// saved by the settings' mode and destination as soon as it is read, when it asks for no review. Another
// folder in the settings, or none, restarts or ends the watching.
//
// The watcher's thread only posts to the GUI thread; saved inbox files are recorded in the inbox ledger on
// a pool thread, so that a restart in copy or rename mode does not add them again.
class InboxFeed : public QObject {
    Q_OBJECT

  public:
    // `watching` gives the settle and rescan times (tests shorten them); the folder is the settings'.
    explicit InboxFeed(AppModel& model, InboxWatcher::Configuration watching = {}, QObject* parent = nullptr);
    ~InboxFeed() override;

    // The folder being watched, when there is one.
    const std::optional<std::filesystem::path>& folder() const { return folder_; }

  private:
    struct Shared;
    void followSettings();
    void takeArrivals();
    void itemChanged(int row);
    void saveWaiting();

    AppModel& model_;
    InboxWatcher::Configuration watching_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<InboxWatcher> watcher_;
    std::optional<std::filesystem::path> folder_;
    std::optional<std::filesystem::path> ledgerFolder_;
    std::map<std::string, FileSignature> fromInbox_;  // inbox items not saved yet, by source path
    QSet<QUuid> toSave_;                              // read, asking for no review, waiting for a save to end
};

}  // namespace tavori
