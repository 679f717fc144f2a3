#pragma once

#include <memory>
#include <vector>

#include <QHash>
#include <QObject>
#include <QUuid>

#include "TavoriKit/indexbook/DuplicateCheck.h"

namespace tavori {

class AppModel;

// The possible duplicates of the model's ready items: another item of the list, or a row of the index book
// that saving appends to, with the same date, amount and vendor, or a file of the same content there. Kept up
// to date as items are read, corrected, removed and saved and as the settings change. A mark is a warning
// only: it holds nothing back from saving and does not change whether an item asks for review. The book is
// read and the files compared on the model's I/O worker; the marks follow a moment later.
class DuplicateMarks final : public QObject {
    Q_OBJECT
  public:
    // The marks of `model`, made on first use and owned by the model.
    static DuplicateMarks& of(AppModel& model);

    // Empty for items that are not ready or have no possible duplicate.
    const std::vector<PossibleDuplicate>& forItem(const QUuid& id) const;
    // Starts computing the marks now rather than when the event loop next runs; refreshed() follows.
    void refreshNow();

  signals:
    // The marks of the item in `row` changed.
    void marksChanged(int row);
    // A computation's marks are in place.
    void refreshed();

  private:
    explicit DuplicateMarks(AppModel& model);
    void scheduleRefresh();
    void apply(QHash<QUuid, std::vector<PossibleDuplicate>> marks);

    AppModel& model_;
    // Touched on the worker only.
    std::shared_ptr<DuplicateCheck> check_ = std::make_shared<DuplicateCheck>();
    QHash<QUuid, std::vector<PossibleDuplicate>> marks_;
    bool scheduled_ = false;
    bool running_ = false;
    bool again_ = false;
};

}  // namespace tavori
