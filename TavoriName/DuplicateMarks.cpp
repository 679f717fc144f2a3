#include "TavoriName/DuplicateMarks.h"

#include <QTimer>

#include "TavoriName/AppModel.h"

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

void DuplicateMarks::refreshNow() {
    scheduled_ = false;
    // One computation at a time: changes meanwhile give one more when it is done.
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    std::vector<QUuid> ready;
    std::vector<DuplicateDocument> documents;
    for (const DocumentItem* item : model_.items()) {
        if (item->status() != DocumentItem::Status::ready) continue;
        const ReceiptFields& f = item->fields();
        ready.push_back(item->id());
        documents.push_back({item->currentPath(), DuplicateRecord{f.date, f.amount, f.vendor,
                                                                  item->sourcePath().filename().native()}});
    }
    const std::optional<std::filesystem::path> bookPath = model_.indexBookTarget();
    model_.io().post(
        this,
        [check = check_, aliases = model_.settings().aliases, bookPath, ready = std::move(ready),
         documents = std::move(documents)] {
            check->setAliases(aliases);
            check->setBook(bookPath);
            const auto found = check->check(documents);
            QHash<QUuid, std::vector<PossibleDuplicate>> marks;
            for (std::size_t k = 0; k < ready.size(); ++k)
                if (!found[k].empty()) marks.insert(ready[k], found[k]);
            return marks;
        },
        [this](QHash<QUuid, std::vector<PossibleDuplicate>> marks) { apply(std::move(marks)); });
}

void DuplicateMarks::apply(QHash<QUuid, std::vector<PossibleDuplicate>> marks) {
    running_ = false;
    QSet<QUuid> changed;
    for (auto it = marks.cbegin(); it != marks.cend(); ++it)
        if (forItem(it.key()) != it.value()) changed.insert(it.key());
    for (auto it = marks_.cbegin(); it != marks_.cend(); ++it)
        if (!marks.contains(it.key())) changed.insert(it.key());
    marks_ = std::move(marks);
    for (const QUuid& id : changed)
        if (const int row = model_.rowOf(id); row >= 0) emit marksChanged(row);
    if (again_) {
        again_ = false;
        scheduleRefresh();
    } else {
        emit refreshed();
    }
}

}  // namespace tavori
