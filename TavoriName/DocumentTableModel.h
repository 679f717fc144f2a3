#pragma once

#include <QAbstractTableModel>
#include <QUuid>

#include "TavoriName/AppModel.h"

namespace tavori {

// The document list as a table over the app model's items: one row per item, in the model's order. It holds
// no document state of its own; every change comes from the app model's signals.
class DocumentTableModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        statusColumn,
        originalNameColumn,
        dateColumn,
        vendorColumn,
        amountColumn,
        newNameColumn,
        columnCount_
    };
    enum Role {
        IdRole = Qt::UserRole + 1,  // the item's id (QUuid)
        BusyRole,                   // true while the item is being read
        DuplicateRole,              // the possible-duplicate warnings of the item (QStringList)
    };

    explicit DocumentTableModel(AppModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QUuid idAt(int row) const;

    // The texts of the cells, shared with the tests.
    static QString dateText(const ReceiptFields& fields);
    static QString vendorText(const ReceiptFields& fields);
    static QString amountText(const ReceiptFields& fields);
    // A saved item's written name; otherwise the name the template gives it now.
    static QString newNameText(const DocumentItem& item, const AppSettings& settings);
    // File names are bytes; names that are not UTF-8 are shown with replacement characters.
    static QString displayName(const std::filesystem::path& path);

  private:
    AppModel& model_;
};

}  // namespace tavori
