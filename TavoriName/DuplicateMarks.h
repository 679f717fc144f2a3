#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include <QHash>
#include <QObject>
#include <QUuid>

#include "TavoriKit/indexbook/DuplicateDetector.h"

namespace tavori {

class AppModel;

// The possible duplicates of the model's ready items: another item of the list, or a row of the index book
// that saving appends to, with the same date, amount and vendor, or a file of the same content there. Kept up
// to date as items are read, corrected, removed and saved and as the settings change. A mark is a warning
// only: it holds nothing back from saving and does not change whether an item asks for review.
class DuplicateMarks final : public QObject {
    Q_OBJECT
  public:
    // The marks of `model`, made on first use and owned by the model.
    static DuplicateMarks& of(AppModel& model);

    // Empty for items that are not ready or have no possible duplicate.
    const std::vector<PossibleDuplicate>& forItem(const QUuid& id) const;
    // Computes the marks now rather than when the event loop next runs.
    void refreshNow();

  signals:
    // The marks of the item in `row` changed.
    void marksChanged(int row);

  private:
    explicit DuplicateMarks(AppModel& model);
    void scheduleRefresh();
    // The book a save would append to now.
    std::optional<std::filesystem::path> currentBook() const;

    AppModel& model_;
    std::shared_ptr<FileDigests> digests_ = std::make_shared<FileDigests>();
    QHash<QUuid, std::vector<PossibleDuplicate>> marks_;
    bool scheduled_ = false;
    // The book last read, so that it is read again only when it has changed.
    struct BookState {
        std::filesystem::path path;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        std::vector<IndexBookEntry> rows;
    };
    std::optional<BookState> book_;
};

}  // namespace tavori
