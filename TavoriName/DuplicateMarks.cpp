#include "TavoriName/DuplicateMarks.h"

#include <QTimer>

#include "TavoriKit/indexbook/IndexBookLibrary.h"
#include "TavoriName/AppModel.h"

namespace fs = std::filesystem;

namespace tavori {

DuplicateMarks& DuplicateMarks::of(AppModel& model) {
    if (auto* marks = model.findChild<DuplicateMarks*>(QString(), Qt::FindDirectChildrenOnly)) return *marks;
    return *new DuplicateMarks(model);
}

DuplicateMarks::DuplicateMarks(AppModel& model) : QObject(&model), model_(model) {
    connect(&model, &AppModel::itemChanged, this, &DuplicateMarks::scheduleRefresh);
    connect(&model, &AppModel::itemsInserted, this, &DuplicateMarks::scheduleRefresh);
    connect(&model, &AppModel::itemsRemoved, this, &DuplicateMarks::scheduleRefresh);
    connect(&model, &AppModel::settingsChanged, this, &DuplicateMarks::scheduleRefresh);
    connect(&model, &AppModel::savingChanged, this, &DuplicateMarks::scheduleRefresh);
    scheduleRefresh();
}

const std::vector<PossibleDuplicate>& DuplicateMarks::forItem(const QUuid& id) const {
    static const std::vector<PossibleDuplicate> none;
    const auto it = marks_.constFind(id);
    return it == marks_.cend() ? none : *it;
}

void DuplicateMarks::scheduleRefresh() {
    // Many changes in one turn of the event loop (a batch finishing) give one computation.
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        if (scheduled_) refreshNow();
    });
}

std::optional<fs::path> DuplicateMarks::currentBook() const {
    const AppSettings& settings = model_.settings();
    if (const auto folder = settings.destinationFolder())
        return *folder / fs::path(settings.indexBookFileName);
    if (settings.mode == RenameMode::renameInPlace)
        for (const DocumentItem* item : model_.items())
            if (item->status() == DocumentItem::Status::ready)
                return item->sourcePath().parent_path() / fs::path(settings.indexBookFileName);
    return std::nullopt;
}

void DuplicateMarks::refreshNow() {
    scheduled_ = false;
    const auto bookPath = currentBook();
    DuplicateDetector detector(model_.settings().aliases, digests_);
    if (bookPath) {
        std::error_code sizeError, timeError;
        const auto size = fs::file_size(*bookPath, sizeError);
        const auto modified = fs::last_write_time(*bookPath, timeError);
        const bool exists = !sizeError && !timeError;
        if (!exists) {
            book_.reset();
        } else if (!book_ || book_->path != *bookPath || book_->size != size || book_->modified != modified) {
            BookState state{*bookPath, size, modified, {}};
            try {
                state.rows = IndexBookLibrary::read(*bookPath).rows;
            } catch (const IndexBookReadError&) {
                // A book that cannot be read still names the folder whose files are compared.
            }
            book_ = std::move(state);
        }
        detector.setBook(*bookPath, book_ ? book_->rows : std::vector<IndexBookEntry>{});
    }

    std::vector<const DocumentItem*> ready;
    std::vector<DuplicateDocument> documents;
    for (const DocumentItem* item : model_.items()) {
        if (item->status() != DocumentItem::Status::ready) continue;
        const ReceiptFields& f = item->fields();
        ready.push_back(item);
        documents.push_back({item->sourcePath(), DuplicateRecord{f.date, f.amount, f.vendor,
                                                                 item->sourcePath().filename().native()}});
    }
    const auto found = detector.check(documents);

    QHash<QUuid, std::vector<PossibleDuplicate>> marks;
    for (std::size_t k = 0; k < ready.size(); ++k)
        if (!found[k].empty()) marks.insert(ready[k]->id(), found[k]);
    QSet<QUuid> changed;
    for (auto it = marks.cbegin(); it != marks.cend(); ++it)
        if (forItem(it.key()) != it.value()) changed.insert(it.key());
    for (auto it = marks_.cbegin(); it != marks_.cend(); ++it)
        if (!marks.contains(it.key())) changed.insert(it.key());
    marks_ = std::move(marks);
    for (const QUuid& id : changed)
        if (const int row = model_.rowOf(id); row >= 0) emit marksChanged(row);
}

}  // namespace tavori
