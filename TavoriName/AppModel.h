#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include "TavoriKit/registry/RegistrySource.h"
#include "TavoriKit/saving/SavePlanner.h"
#include "TavoriKit/service/AnalysisService.h"
#include "TavoriName/AppSettings.h"
#include "TavoriName/DesktopServices.h"
#include "TavoriName/DocumentItem.h"
#include "TavoriName/IoWorker.h"
#include "TavoriName/SettingsStore.h"

namespace tavori {

// How far the reading of the current batch has come: `pending` items are queued or analysing out of `total`
// added since the list last had nothing to read (for "読み取り中 3/20": total - pending of total done).
struct ReadingProgress {
    int pending = 0;
    int total = 0;
    bool operator==(const ReadingProgress&) const = default;
};

// How far the running save has come: `done` files of `total` are in place.
struct SaveProgress {
    int done = 0;
    int total = 0;
    bool operator==(const SaveProgress&) const = default;
};

// The application's controller and the window's single source of truth: the list of items, the selection,
// the persisted settings and the running analyses. Lives on the GUI thread and never waits there: the
// analyses run on the service's workers, file work (saving, exports, writing the settings) on the I/O worker,
// and both come back by queued calls.
//
// Rows are indexes into the item list; they stay valid between two signals. Views never change items
// directly: field edits go through setVendor, editField and the like, so that itemChanged fires.
class AppModel : public QObject {
    Q_OBJECT

  public:
    // `defaults` is where every change of the settings is stored; `desktop` must outlive the model. Without a
    // service the model makes its own with the application's configuration.
    AppModel(AppSettings settings, SettingsStore defaults, DesktopServices& desktop,
             std::unique_ptr<AnalysisService> service = nullptr, QObject* parent = nullptr);
    // Stops the analyses first, so that none reports back afterwards.
    ~AppModel() override;

    // Items, in the order they were added.
    int itemCount() const { return static_cast<int>(items_.size()); }
    const DocumentItem& itemAt(int row) const { return *items_.at(static_cast<std::size_t>(row)); }
    const DocumentItem* item(const QUuid& id) const;
    // -1 when the item is not in the list.
    int rowOf(const QUuid& id) const;
    std::vector<const DocumentItem*> items() const;

    const QSet<QUuid>& selection() const { return selection_; }
    void setSelection(const QSet<QUuid>& ids);
    // The one selected item, when exactly one id is selected and it is still in the list.
    const DocumentItem* selectedItem() const;

    const AppSettings& settings() const { return settings_; }
    // Takes the whole settings at once; nothing happens when they are equal to the present ones. They are
    // written to the store after a short quiet time (typing in a field writes once), and always before the
    // model goes.
    void setSettings(const AppSettings& settings);
    // Writes changed settings now rather than after the quiet time.
    void flushSettings();
    // The book a save would append rows to now (when the settings write rows): the destination's, beside the
    // first ready document when renaming in place, nothing when there is neither.
    std::optional<std::filesystem::path> indexBookTarget() const;

    // Where the register is read from: the standard data folder unless a test says otherwise. Every item's
    // number is checked again against it.
    void setRegistryLocation(std::filesystem::path location);

    // The thread for the window's file work, shared by its views.
    IoWorker& io() { return *io_; }

    bool isSaving() const { return isSaving_; }
    SaveProgress saveProgress() const { return saveProgress_; }
    // Stops the running save after the file it is placing; the files before it stay saved.
    void cancelSave();
    // A problem the window shows in its alert (a folder or page that could not be opened).
    void showAlert(std::string message);
    const std::optional<std::string>& lastSaveSummary() const { return lastSaveSummary_; }
    const std::optional<std::string>& alertMessage() const { return alertMessage_; }
    // The window calls it when the alert is dismissed.
    void clearAlertMessage();
    ReadingProgress readingProgress() const { return progress_; }

    // Files and folders; folders give their supported files, unsupported and already listed files are
    // dropped silently. The new items start analysing right away; a large drop starts them over a few turns
    // of the event loop, and its items are queued until then.
    void addFiles(const std::vector<std::filesystem::path>& urls);
    // Folders replaced by their direct, non-hidden supported files sorted by name bytes; other paths kept.
    static std::vector<std::filesystem::path> expand(const std::vector<std::filesystem::path>& urls);
    // (Re)starts the item's analysis; an earlier one still running is forgotten.
    void analyze(const QUuid& id);
    void remove(const QSet<QUuid>& ids);
    void confirm(const QSet<QUuid>& ids);
    void clearSaved();
    void chooseDestination();
    // Lets the user pick the inbox folder to watch (see InboxFeed).
    void chooseInboxFolder();
    void saveReady();
    // Saves those of the given items that are ready, as saveReady() saves them all.
    void saveItems(const QSet<QUuid>& ids);
    void exportIndexBook();
    void revealInFileManager(const QUuid& id);

    // The user's corrections: each writes one field of the item and marks it edited. False when there is no
    // such item or the value is unchanged.
    bool setDate(const QUuid& id, std::optional<DateComponentsValue> date);
    bool setVendor(const QUuid& id, const std::string& vendor);
    bool setAmount(const QUuid& id, std::optional<std::int64_t> amount);
    bool setDocumentType(const QUuid& id, DocumentType type);
    bool setRegistrationNumber(const QUuid& id, std::optional<std::string> number);
    bool setTaxBreakdown(const QUuid& id, std::vector<TaxRateAmount> breakdown);
    // Asks where to write a journal for the accounting package and writes one line per document (or per
    // rate) of every ready or saved document; a character the package's encoding lacks is named in an alert
    // and nothing is written.
    void exportJournal(JournalExport::Format format);
    // The date picker's value (see DocumentItem::dateBinding).
    bool setDateBinding(const QUuid& id, const QDateTime& date);
    // The same for any field: its value is taken from `values`.
    bool editField(const QUuid& id, DocumentItem::Field field, const ReceiptFields& values);

  signals:
    // Around appending rows first..last (inclusive), and around removing them, for a QAbstractTableModel's
    // begin/end calls. Removal of scattered rows comes as one pair per run of rows, last run first.
    void itemsAboutToBeInserted(int first, int last);
    void itemsInserted(int first, int last);
    void itemsAboutToBeRemoved(int first, int last);
    void itemsRemoved(int first, int last);
    // Anything of the item in `row` changed: status, fields, text, thumbnail, marks.
    void itemChanged(int row);
    void selectionChanged();
    // Another item is selected (or none), or the selected item itself changed.
    void selectedItemChanged();
    void settingsChanged();
    void alertMessageChanged();
    void savingChanged(bool saving);
    void lastSaveSummaryChanged();
    void saveProgressChanged(tavori::SaveProgress progress);
    // The settings reached the store (or could not be written, `ok` false).
    void settingsWritten(bool ok);
    // An export finished; the alert says why when it failed.
    void exportFinished(bool ok);
    void readingProgressChanged(tavori::ReadingProgress progress);

  private:
    DocumentItem* mutableItem(const QUuid& id);
    void itemDidChange(const QUuid& id);
    void startAnalysis(DocumentItem& target);
    void startWaitingAnalyses();
    void cancelTask(const QUuid& id);
    void setSaving(bool saving);
    void saveMatching(const std::function<bool(const DocumentItem&)>& chosen);
    void deliverAnalysis(const QUuid& id, std::uint64_t generation, AnalysisService::Outcome outcome);
    void deliverThumbnail(const QUuid& id, std::uint64_t generation, std::optional<RgbImage> thumbnail);
    void updateProgress();
    // Asks the register on the I/O worker about the item's present number and date, unless it is being
    // asked or, short of `again`, already knows; a changed answer comes back through itemChanged.
    void checkRegistration(const DocumentItem& target, bool again = false);
    void watchRegistry();
    void setAlert(std::optional<std::string> message);
    void rebuildRows();
    void writeSettings();
    void fileSaved(const QUuid& id, std::filesystem::path destination, int done);
    void finishSave(const SaveReport& report);

    struct Task {
        std::uint64_t generation = 0;
        AnalysisService::RequestId analysis = 0;
        AnalysisService::RequestId thumbnail = 0;
    };

    std::vector<std::unique_ptr<DocumentItem>> items_;
    QHash<QUuid, int> rows_;
    QSet<QUuid> selection_;
    AppSettings settings_;
    SettingsStore defaults_;
    DesktopServices& desktop_;
    bool isSaving_ = false;
    SaveProgress saveProgress_;
    std::shared_ptr<std::atomic<bool>> saveCancel_;
    QTimer settingsTimer_;
    bool settingsDirty_ = false;
    std::optional<std::string> lastSaveSummary_;
    std::optional<std::string> alertMessage_;
    ReadingProgress progress_;
    int batchDone_ = 0;  // analyses finished since nothing was left to read
    QHash<QUuid, Task> analysisTasks_;
    std::deque<QUuid> waitingToStart_;  // added, analysis not started yet
    bool startScheduled_ = false;
    std::uint64_t nextGeneration_ = 1;
    std::unique_ptr<AnalysisService> service_;
    // Shared with the look-ups on the I/O worker; replaced, never changed, when the location changes.
    std::shared_ptr<const RegistrySource> registry_;
    QSet<QUuid> registryAsked_;
    // An import into the register while the window is open is seen once its writing has gone quiet.
    QFileSystemWatcher registryWatch_;
    QTimer registryQuiet_;
    // Last, so that it goes first: its queue finishes before the state its answers go to.
    std::unique_ptr<IoWorker> io_;
};

}  // namespace tavori

Q_DECLARE_METATYPE(tavori::ReadingProgress)
Q_DECLARE_METATYPE(tavori::SaveProgress)
