#include "TavoriName/AppModel.h"

#include <chrono>
#include <unordered_set>

#include <QMetaObject>
#include <QPointer>

#include "TavoriKit/model/LocalModelConfig.h"
#include "TavoriKit/reading/DocumentFiles.h"
#include "TavoriKit/saving/SavePlanner.h"
#include "TavoriName/DevLog.h"

namespace tavori {

namespace fs = std::filesystem;

namespace {

constexpr double thumbnailPixels = 320;

bool isPending(DocumentItem::Status status) {
    return status == DocumentItem::Status::queued || status == DocumentItem::Status::analyzing;
}

// A quiet time long enough for typing, short enough that a crash soon after loses nothing the user remembers.
constexpr int settingsQuietMs = 400;
constexpr int registryQuietMs = 500;

SaveDocument saveDocument(const DocumentItem& item) {
    return SaveDocument{item.currentPath(), item.fields(), item.outputPath()};
}

}  // namespace

AppModel::AppModel(AppSettings settings, SettingsStore defaults, DesktopServices& desktop,
                   std::unique_ptr<AnalysisService> service, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      defaults_(std::move(defaults)),
      desktop_(desktop),
      service_(service ? std::move(service) : std::make_unique<AnalysisService>()),
      registry_(std::make_shared<RegistrySource>(InvoiceRegistry::standardLocation())),
      io_(std::make_unique<IoWorker>()) {
    qRegisterMetaType<tavori::ReadingProgress>();
    qRegisterMetaType<tavori::SaveProgress>();
    registryQuiet_.setSingleShot(true);
    registryQuiet_.setInterval(registryQuietMs);
    connect(&registryWatch_, &QFileSystemWatcher::fileChanged, &registryQuiet_, qOverload<>(&QTimer::start));
    connect(&registryWatch_, &QFileSystemWatcher::directoryChanged, &registryQuiet_,
            qOverload<>(&QTimer::start));
    // The shown answers stay until the new ones come; only those that differ change anything.
    connect(&registryQuiet_, &QTimer::timeout, this, [this] {
        watchRegistry();
        for (const auto& item : items_) checkRegistration(*item, true);
    });
    watchRegistry();
    settingsTimer_.setSingleShot(true);
    settingsTimer_.setInterval(settingsQuietMs);
    connect(&settingsTimer_, &QTimer::timeout, this, &AppModel::writeSettings);
    desktop_.reportFailure = [self = QPointer<AppModel>(this)](std::string message) {
        if (self) self->setAlert(std::move(message));
    };
    // A model URL that will never be contacted is said at once, so that the user knows the model is off.
    if (auto refusal = LocalModelConfig::fromEnvironment().refusal()) setAlert(std::move(refusal));
}

AppModel::~AppModel() {
    desktop_.reportFailure = nullptr;
    if (saveCancel_) saveCancel_->store(true);
    // Changed settings are written whatever else happens; the worker finishes its queue before it goes.
    flushSettings();
    io_.reset();
    // Joins the workers; results they already posted are dropped with this object.
    service_.reset();
}

const DocumentItem* AppModel::item(const QUuid& id) const {
    const auto it = rows_.constFind(id);
    return it == rows_.cend() ? nullptr : items_[static_cast<std::size_t>(*it)].get();
}

DocumentItem* AppModel::mutableItem(const QUuid& id) {
    const auto it = rows_.constFind(id);
    return it == rows_.cend() ? nullptr : items_[static_cast<std::size_t>(*it)].get();
}

int AppModel::rowOf(const QUuid& id) const {
    return rows_.value(id, -1);
}

std::vector<const DocumentItem*> AppModel::items() const {
    std::vector<const DocumentItem*> list;
    list.reserve(items_.size());
    for (const auto& item : items_) list.push_back(item.get());
    return list;
}

void AppModel::setSelection(const QSet<QUuid>& ids) {
    if (ids == selection_) return;
    const DocumentItem* before = selectedItem();
    selection_ = ids;
    emit selectionChanged();
    if (selectedItem() != before) emit selectedItemChanged();
}

const DocumentItem* AppModel::selectedItem() const {
    if (selection_.size() != 1) return nullptr;
    return item(*selection_.cbegin());
}

void AppModel::setSettings(const AppSettings& settings) {
    if (settings == settings_) return;
    settings_ = settings;
    settingsDirty_ = true;
    settingsTimer_.start();
    emit settingsChanged();
}

void AppModel::flushSettings() {
    settingsTimer_.stop();
    if (settingsDirty_) writeSettings();
}

void AppModel::writeSettings() {
    settingsDirty_ = false;
    io_->post(
        this, [settings = settings_, defaults = defaults_]() mutable { return settings.save(defaults); },
        [this](bool ok) { emit settingsWritten(ok); });
}

std::optional<fs::path> AppModel::indexBookTarget() const {
    std::optional<fs::path> firstReady;
    for (const auto& item : items_)
        if (item->status() == DocumentItem::Status::ready) {
            firstReady = item->currentPath();
            break;
        }
    return SavePlanner::indexBook(settings_.saveSettings(), firstReady);
}

void AppModel::setRegistryLocation(std::filesystem::path location) {
    registry_ = std::make_shared<RegistrySource>(std::move(location));
    watchRegistry();
    // Answers still on their way, and those given, are of the old register.
    registryAsked_.clear();
    for (const auto& item : items_) {
        if (!item->fields().registrationNumber) continue;
        item->forgetRegistration();
        itemDidChange(item->id());
    }
}

void AppModel::watchRegistry() {
    const QStringList watched = registryWatch_.files() + registryWatch_.directories();
    if (!watched.isEmpty()) registryWatch_.removePaths(watched);
    // The file, and the nearest folder above it that exists: an import may write the file anew, or make its
    // folder first; each change watches again from the top.
    const fs::path& location = registry_->location();
    registryWatch_.addPath(QString::fromStdString(location.string()));
    for (fs::path folder = location.parent_path(); !folder.empty(); folder = folder.parent_path()) {
        if (registryWatch_.addPath(QString::fromStdString(folder.string()))) break;
        if (folder == folder.parent_path()) break;
    }
}

void AppModel::checkRegistration(const DocumentItem& target, bool again) {
    if (!target.fields().registrationNumber || registryAsked_.contains(target.id())) return;
    if (!again && !target.needsRegistryCheck()) return;
    registryAsked_.insert(target.id());
    io_->post(
        this,
        [registry = registry_, fields = target.fields()] {
            return std::pair{fields, registry->check(fields)};
        },
        [this, id = target.id(), registry = registry_](auto answer) {
            if (registry != registry_ || !registryAsked_.remove(id)) return;
            DocumentItem* asked = mutableItem(id);
            if (asked && asked->setRegistration(answer.first, std::move(answer.second))) itemDidChange(id);
        });
}

void AppModel::showAlert(std::string message) {
    setAlert(std::move(message));
}

void AppModel::clearAlertMessage() {
    setAlert(std::nullopt);
}

void AppModel::setAlert(std::optional<std::string> message) {
    if (message == alertMessage_) return;
    alertMessage_ = std::move(message);
    emit alertMessageChanged();
}

void AppModel::itemDidChange(const QUuid& id) {
    const int row = rowOf(id);
    if (row < 0) return;
    checkRegistration(itemAt(row));
    emit itemChanged(row);
    if (selection_.size() == 1 && selection_.contains(id)) emit selectedItemChanged();
}

void AppModel::rebuildRows() {
    rows_.clear();
    rows_.reserve(static_cast<qsizetype>(items_.size()));
    for (std::size_t row = 0; row < items_.size(); ++row)
        rows_.insert(items_[row]->id(), static_cast<int>(row));
}

void AppModel::updateProgress() {
    int pending = 0;
    for (const auto& item : items_)
        if (isPending(item->status())) ++pending;
    if (pending == 0) batchDone_ = 0;
    const ReadingProgress progress{pending, batchDone_ + pending};
    if (progress == progress_) return;
    progress_ = progress;
    emit readingProgressChanged(progress_);
}

std::vector<fs::path> AppModel::expand(const std::vector<fs::path>& urls) {
    return DocumentFiles::expand(urls);
}

void AppModel::addFiles(const std::vector<fs::path>& urls) {
    std::unordered_set<std::string> known;
    known.reserve(items_.size());
    for (const auto& item : items_) known.insert(item->sourcePath().native());

    std::vector<std::unique_ptr<DocumentItem>> added;
    for (const fs::path& url : expand(urls)) {
        if (!DocumentFiles::isSupported(url)) continue;
        if (!known.insert(url.native()).second) continue;
        added.push_back(std::make_unique<DocumentItem>(url));
    }
    if (added.empty()) return;

    const int first = itemCount();
    const int last = first + static_cast<int>(added.size()) - 1;
    emit itemsAboutToBeInserted(first, last);
    for (auto& item : added) {
        rows_.insert(item->id(), itemCount());
        items_.push_back(std::move(item));
    }
    emit itemsInserted(first, last);

    for (int row = first; row <= last; ++row)
        waitingToStart_.push_back(items_[static_cast<std::size_t>(row)]->id());
    updateProgress();
    startWaitingAnalyses();
}

void AppModel::startWaitingAnalyses() {
    // A large drop starts its analyses over several turns of the event loop, so the window keeps responding;
    // until then its items stay queued.
    constexpr auto budget = std::chrono::milliseconds(8);
    const auto started = std::chrono::steady_clock::now();
    while (!waitingToStart_.empty() && std::chrono::steady_clock::now() - started < budget) {
        const QUuid id = waitingToStart_.front();
        waitingToStart_.pop_front();
        DocumentItem* target = mutableItem(id);
        if (target && target->status() == DocumentItem::Status::queued) startAnalysis(*target);
    }
    if (!waitingToStart_.empty() && !startScheduled_) {
        startScheduled_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                startScheduled_ = false;
                startWaitingAnalyses();
            },
            Qt::QueuedConnection);
    }
}

void AppModel::analyze(const QUuid& id) {
    DocumentItem* target = mutableItem(id);
    if (!target) return;
    const bool wasPending = isPending(target->status());
    startAnalysis(*target);
    if (!wasPending) updateProgress();
}

void AppModel::cancelTask(const QUuid& id) {
    const auto it = analysisTasks_.constFind(id);
    if (it == analysisTasks_.cend()) return;
    if (it->analysis) service_->cancel(it->analysis);
    if (it->thumbnail) service_->cancel(it->thumbnail);
}

void AppModel::startAnalysis(DocumentItem& target) {
    const QUuid id = target.id();
    cancelTask(id);
    target.beginAnalysis();
    itemDidChange(id);

    Task task;
    task.generation = nextGeneration_++;
    const std::uint64_t generation = task.generation;
    // A saved document may have been moved or renamed: it is read where it is now.
    task.thumbnail = service_->thumbnail(
        target.currentPath(), thumbnailPixels,
        [this, id, generation](AnalysisService::RequestId, std::optional<RgbImage> image) {
            QMetaObject::invokeMethod(
                this,
                [this, id, generation, image = std::move(image)]() mutable {
                    deliverThumbnail(id, generation, std::move(image));
                },
                Qt::QueuedConnection);
        });
    task.analysis = service_->analyze(
        target.currentPath(), settings_.analyzerOptions(),
        [this, id, generation](AnalysisService::RequestId, AnalysisService::Outcome outcome) {
            QMetaObject::invokeMethod(
                this,
                [this, id, generation, outcome = std::move(outcome)]() mutable {
                    deliverAnalysis(id, generation, std::move(outcome));
                },
                Qt::QueuedConnection);
        },
        id.toString(QUuid::WithoutBraces).toStdString());
    analysisTasks_.insert(id, task);
}

void AppModel::deliverThumbnail(const QUuid& id, std::uint64_t generation,
                                std::optional<RgbImage> thumbnail) {
    const auto task = analysisTasks_.constFind(id);
    if (task == analysisTasks_.cend() || task->generation != generation) return;
    DocumentItem* target = mutableItem(id);
    if (!target || !thumbnail) return;
    if (target->setThumbnail(std::move(thumbnail))) itemDidChange(id);
}

void AppModel::deliverAnalysis(const QUuid& id, std::uint64_t generation, AnalysisService::Outcome outcome) {
    const auto task = analysisTasks_.find(id);
    if (task == analysisTasks_.end() || task->generation != generation) return;
    task->analysis = 0;
    DocumentItem* target = mutableItem(id);
    if (!target) return;
    bool changed = false;
    if (auto* result = std::get_if<PipelineResult>(&outcome)) {
        changed = target->finishAnalysis(*result);
        if (changed) DevLog::dump(target->sourcePath(), *result);
    } else {
        changed = target->failAnalysis(std::get<AnalysisError>(outcome).message);
    }
    if (!changed) return;
    ++batchDone_;
    itemDidChange(id);
    updateProgress();
}

void AppModel::remove(const QSet<QUuid>& ids) {
    for (const QUuid& id : ids) {
        cancelTask(id);
        analysisTasks_.remove(id);
    }
    // Runs of rows, removed last first so that the earlier rows keep their numbers.
    int row = itemCount() - 1;
    bool removedAny = false;
    while (row >= 0) {
        if (!ids.contains(items_[static_cast<std::size_t>(row)]->id())) {
            --row;
            continue;
        }
        const int last = row;
        while (row >= 0 && ids.contains(items_[static_cast<std::size_t>(row)]->id())) --row;
        const int first = row + 1;
        emit itemsAboutToBeRemoved(first, last);
        items_.erase(items_.begin() + first, items_.begin() + last + 1);
        rebuildRows();
        emit itemsRemoved(first, last);
        removedAny = true;
    }

    QSet<QUuid> kept = selection_;
    for (const QUuid& id : ids) kept.remove(id);
    if (kept != selection_) {
        const bool hadOne = selection_.size() == 1;
        selection_ = kept;
        emit selectionChanged();
        if (hadOne || selection_.size() == 1) emit selectedItemChanged();
    } else if (removedAny && selection_.size() == 1 && !selectedItem()) {
        emit selectedItemChanged();
    }
    if (removedAny) updateProgress();
}

void AppModel::confirm(const QSet<QUuid>& ids) {
    // A vendor the user confirms is known again by its numbers at the shop's next receipt.
    AppSettings remembered = settings_;
    for (const QUuid& id : ids)
        if (DocumentItem* target = mutableItem(id); target && target->confirm()) {
            target->rememberVendor(remembered.vendors);
            itemDidChange(id);
        }
    setSettings(remembered);
}

void AppModel::clearSaved() {
    QSet<QUuid> saved;
    for (const auto& item : items_)
        if (item->status() == DocumentItem::Status::saved) saved.insert(item->id());
    if (!saved.isEmpty()) remove(saved);
}

void AppModel::chooseDestination() {
    FolderChoice choice;
    choice.buttonTitle = QStringLiteral("この場所に保存");
    choice.message = QStringLiteral("リネームしたファイルの保存先フォルダを選んでください");
    const std::optional<fs::path> folder = desktop_.chooseFolder(choice);
    if (!folder) return;
    AppSettings changed = settings_;
    changed.setDestination(*folder);
    setSettings(changed);
}

void AppModel::chooseInboxFolder() {
    FolderChoice choice;
    choice.buttonTitle = QStringLiteral("このフォルダを監視");
    choice.message = QStringLiteral("スキャナーなどがファイルを置く受信フォルダを選んでください");
    const std::optional<fs::path> folder = desktop_.chooseFolder(choice);
    if (!folder) return;
    AppSettings changed = settings_;
    changed.setInbox(*folder);
    setSettings(changed);
}

void AppModel::setSaving(bool saving) {
    if (saving == isSaving_) return;
    isSaving_ = saving;
    emit savingChanged(isSaving_);
}

void AppModel::saveReady() {
    saveMatching([](const DocumentItem&) { return true; });
}

void AppModel::saveItems(const QSet<QUuid>& ids) {
    saveMatching([&ids](const DocumentItem& item) { return ids.contains(item.id()); });
}

void AppModel::saveMatching(const std::function<bool(const DocumentItem&)>& chosen) {
    // A view reacting to a row saved mid-way must not start a second save.
    if (isSaving_) return;
    std::vector<QUuid> ready;
    std::vector<SaveDocument> documents;
    for (const auto& item : items_) {
        if (item->status() != DocumentItem::Status::ready || !chosen(*item)) continue;
        ready.push_back(item->id());
        documents.push_back(saveDocument(*item));
    }
    if (ready.empty()) return;

    const SaveSettings saveSettings = settings_.saveSettings();
    if (settings_.mode != RenameMode::renameInPlace && !saveSettings.destination) {
        setAlert("先に保存先フォルダを選んでください。");
        return;
    }

    auto cancel = std::make_shared<std::atomic<bool>>(false);
    saveCancel_ = cancel;
    setSaving(true);
    saveProgress_ = {0, static_cast<int>(ready.size())};
    emit saveProgressChanged(saveProgress_);
    IoWorker* io = io_.get();
    io->post([this, io, ready = std::move(ready), documents = std::move(documents), saveSettings, cancel] {
        const SaveReport report =
            SavePlanner::save(documents, saveSettings, [&](std::size_t index, const RenameResult& result) {
                // Marked as each file is placed, so that documents saved before a failure are not saved
                // twice.
                io->deliver([this, id = ready[index], destination = result.destination,
                             done = static_cast<int>(index + 1)] { fileSaved(id, destination, done); });
                if (cancel->load() && index + 1 < documents.size())
                    throw RenameServiceError(RenameServiceError::Case::cancelled, {});
            });
        io->deliver([this, report] { finishSave(report); });
    });
}

void AppModel::cancelSave() {
    if (isSaving_ && saveCancel_) saveCancel_->store(true);
}

void AppModel::fileSaved(const QUuid& id, fs::path destination, int done) {
    if (DocumentItem* target = mutableItem(id); target && target->markSaved(std::move(destination)))
        itemDidChange(id);
    saveProgress_.done = done;
    emit saveProgressChanged(saveProgress_);
}

void AppModel::finishSave(const SaveReport& report) {
    saveCancel_.reset();
    if (report.succeeded()) {
        std::string summary = std::to_string(report.results.size()) + "件を保存しました";
        if (!report.recovered.empty())
            summary += "（前回中断された保存の" + std::to_string(report.recovered.size()) +
                       "件を索引簿に記録しました）";
        lastSaveSummary_ = std::move(summary);
        emit lastSaveSummaryChanged();
    } else if (report.failureCase == RenameServiceError::Case::cancelled) {
        const std::size_t left = static_cast<std::size_t>(saveProgress_.total) - report.results.size();
        lastSaveSummary_ = std::to_string(report.results.size()) + "件を保存しました（" +
                           std::to_string(left) + "件は中止しました）";
        emit lastSaveSummaryChanged();
    } else if (report.failureCase == RenameServiceError::Case::destinationMissing) {
        setAlert("先に保存先フォルダを選んでください。");
    } else {
        setAlert("保存に失敗しました: " + *report.failure);
    }
    saveProgress_ = {};
    emit saveProgressChanged(saveProgress_);
    setSaving(false);
}

void AppModel::exportIndexBook() {
    std::vector<SaveDocument> documents;
    for (const auto& item : items_)
        if (item->status() == DocumentItem::Status::ready || item->status() == DocumentItem::Status::saved)
            documents.push_back(saveDocument(*item));
    std::vector<IndexBookEntry> entries = SavePlanner::exportEntries(documents, settings_.nameTemplate);

    SaveChoice choice;
    choice.proposedName = QString::fromStdString(settings_.indexBookFileName);
    choice.nameFilter = QStringLiteral("CSV (*.csv)");
    choice.defaultSuffix = QStringLiteral("csv");
    const std::optional<fs::path> output = desktop_.chooseSaveLocation(choice);
    if (!output) return;
    io_->post(
        this,
        [entries = std::move(entries), output = *output]() -> std::optional<std::string> {
            try {
                // The panel has asked before letting the user pick an existing file.
                SavePlanner::writeExport(entries, output, true);
                return std::nullopt;
            } catch (const std::exception& error) {
                return std::string(error.what());
            }
        },
        [this](std::optional<std::string> failure) {
            if (failure) setAlert(std::move(*failure));
            emit exportFinished(!failure);
        });
}

void AppModel::revealInFileManager(const QUuid& id) {
    const DocumentItem* target = item(id);
    if (!target) return;
    desktop_.revealInFileManager(target->currentPath());
}

bool AppModel::editField(const QUuid& id, DocumentItem::Field field, const ReceiptFields& values) {
    DocumentItem* target = mutableItem(id);
    if (!target || !target->editField(field, values)) return false;
    itemDidChange(id);
    return true;
}

bool AppModel::setDate(const QUuid& id, std::optional<DateComponentsValue> date) {
    ReceiptFields values;
    values.date = date;
    return editField(id, DocumentItem::Field::date, values);
}

bool AppModel::setVendor(const QUuid& id, const std::string& vendor) {
    ReceiptFields values;
    values.vendor = vendor;
    return editField(id, DocumentItem::Field::vendor, values);
}

bool AppModel::setAmount(const QUuid& id, std::optional<std::int64_t> amount) {
    ReceiptFields values;
    values.amount = amount;
    return editField(id, DocumentItem::Field::amount, values);
}

bool AppModel::setDocumentType(const QUuid& id, DocumentType type) {
    ReceiptFields values;
    values.documentType = type;
    return editField(id, DocumentItem::Field::documentType, values);
}

bool AppModel::setTaxBreakdown(const QUuid& id, std::vector<TaxRateAmount> breakdown) {
    ReceiptFields values;
    values.taxBreakdown = std::move(breakdown);
    return editField(id, DocumentItem::Field::taxBreakdown, values);
}

void AppModel::exportJournal(JournalExport::Format format) {
    std::vector<SaveDocument> documents;
    for (const auto& item : items_)
        if (item->status() == DocumentItem::Status::ready || item->status() == DocumentItem::Status::saved)
            documents.push_back(saveDocument(*item));
    // The memo is the name the document is kept under: its saved name, or the one a save would give it.
    const std::vector<IndexBookEntry> names = SavePlanner::exportEntries(documents, settings_.nameTemplate);
    std::vector<JournalDocument> journal;
    for (std::size_t i = 0; i < documents.size(); ++i)
        journal.push_back({documents[i].fields, names[i].fileName});
    const auto output = JournalExport::render(format, journal, settings_.journalAccounts);
    if (!output.unencodable.empty()) {
        std::string message = "書き出しませんでした。次の文字は会計ソフトの文字コードで書けません:";
        for (const auto& u : output.unencodable) message += "\n" + u.message();
        setAlert(message);
        return;
    }

    SaveChoice choice;
    choice.proposedName = QString::fromUtf8(format == JournalExport::Format::yayoi   ? "仕訳_弥生.csv"
                                            : format == JournalExport::Format::freee ? "取引_freee.csv"
                                                                                     : "仕訳.csv");
    choice.nameFilter = QStringLiteral("CSV (*.csv)");
    choice.defaultSuffix = QStringLiteral("csv");
    const std::optional<fs::path> target = desktop_.chooseSaveLocation(choice);
    if (!target) return;
    try {
        // The panel has asked before letting the user pick an existing file.
        RenameService::writeExportFile(output.bytes, *target, true);
    } catch (const std::exception& error) {
        setAlert(error.what());
        return;
    }
    if (!output.skipped.empty()) {
        std::string message = "日付か金額がないため書き出さなかった書類があります:";
        for (const auto& name : output.skipped) message += "\n" + name;
        setAlert(message);
    }
}

bool AppModel::setRegistrationNumber(const QUuid& id, std::optional<std::string> number) {
    ReceiptFields values;
    values.registrationNumber = std::move(number);
    return editField(id, DocumentItem::Field::registrationNumber, values);
}

bool AppModel::setDateBinding(const QUuid& id, const QDateTime& date) {
    DocumentItem* target = mutableItem(id);
    if (!target || !target->setDateBinding(date)) return false;
    itemDidChange(id);
    return true;
}

}  // namespace tavori
