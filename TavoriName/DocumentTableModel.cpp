#include "TavoriName/DocumentTableModel.h"

#include <QIcon>

#include "TavoriName/DuplicateMarks.h"
#include "TavoriName/StatusBadge.h"

namespace tavori {

DocumentTableModel::DocumentTableModel(AppModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model) {
    connect(&model_, &AppModel::itemsAboutToBeInserted, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(&model_, &AppModel::itemsInserted, this, [this](int, int) { endInsertRows(); });
    connect(&model_, &AppModel::itemsAboutToBeRemoved, this,
            [this](int first, int last) { beginRemoveRows({}, first, last); });
    connect(&model_, &AppModel::itemsRemoved, this, [this](int, int) { endRemoveRows(); });
    connect(&model_, &AppModel::itemChanged, this,
            [this](int row) { emit dataChanged(index(row, 0), index(row, columnCount_ - 1)); });
    connect(&DuplicateMarks::of(model_), &DuplicateMarks::marksChanged, this,
            [this](int row) { emit dataChanged(index(row, 0), index(row, columnCount_ - 1)); });
    // The new names follow the template and its settings.
    connect(&model_, &AppModel::settingsChanged, this, [this] {
        if (rowCount() > 0) emit dataChanged(index(0, newNameColumn), index(rowCount() - 1, newNameColumn));
    });
}

int DocumentTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_.itemCount();
}

int DocumentTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QUuid DocumentTableModel::idAt(int row) const {
    if (row < 0 || row >= model_.itemCount()) return {};
    return model_.itemAt(row).id();
}

QString DocumentTableModel::displayName(const std::filesystem::path& path) {
    const std::string name = path.filename().native();
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString DocumentTableModel::dateText(const ReceiptFields& fields) {
    if (!fields.date) return QStringLiteral("—");
    return QString::fromStdString(fields.date->formatted("yyyy/MM/dd"));
}

QString DocumentTableModel::vendorText(const ReceiptFields& fields) {
    if (fields.vendor.empty()) return QStringLiteral("—");
    return QString::fromStdString(fields.vendor);
}

QString DocumentTableModel::amountText(const ReceiptFields& fields) {
    if (!fields.amount) return QStringLiteral("—");
    return QStringLiteral("¥") + QString::fromStdString(FileNameTemplate::grouped(*fields.amount));
}

QString DocumentTableModel::newNameText(const DocumentItem& item, const AppSettings& settings) {
    if (item.status() == DocumentItem::Status::saved) {
        if (!item.outputPath()) return {};
        return displayName(*item.outputPath());
    }
    const std::string name = settings.nameTemplate.savedName(item.fields(), item.sourcePath());
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QVariant DocumentTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= model_.itemCount()) return {};
    const DocumentItem& item = model_.itemAt(index.row());
    if (role == IdRole) return item.id();
    if (role == BusyRole)
        return index.column() == statusColumn && item.status() == DocumentItem::Status::analyzing;

    if (role == DuplicateRole ||
        (index.column() == originalNameColumn && (role == Qt::DecorationRole || role == Qt::ToolTipRole))) {
        // Its own mark beside the file name, so that the status badge keeps saying whether it can be saved.
        QStringList messages;
        for (const auto& duplicate : DuplicateMarks::of(model_).forItem(item.id()))
            messages << QString::fromStdString(duplicate.message());
        if (role == DuplicateRole) return messages;
        if (role == Qt::DecorationRole)
            return messages.isEmpty()
                       ? QVariant()
                       : QVariant(Icons::themed(Symbol::exclamationmarkTriangleFill, Icons::red));
        if (!messages.isEmpty())
            return displayName(item.sourcePath()) + QLatin1Char('\n') + messages.join(QLatin1Char('\n'));
    }
    if (index.column() == statusColumn) {
        const StatusBadge badge = StatusBadge::forItem(item);
        switch (role) {
            case Qt::ToolTipRole:
                return badge.toolTip;
            case Qt::DecorationRole:
                return badge.symbol ? Icons::themed(*badge.symbol, badge.color) : QVariant();
            case Qt::AccessibleTextRole:
                return badge.toolTip.section(QLatin1Char('\n'), 0, 0);
            default:
                return {};
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        if (role == Qt::TextAlignmentRole && index.column() == amountColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    switch (index.column()) {
        case originalNameColumn:
            return displayName(item.sourcePath());
        case dateColumn:
            return dateText(item.fields());
        case vendorColumn:
            return vendorText(item.fields());
        case amountColumn:
            return amountText(item.fields());
        case newNameColumn:
            return newNameText(item, model_.settings());
        default:
            return {};
    }
}

QVariant DocumentTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case statusColumn:
            return QStringLiteral("状態");
        case originalNameColumn:
            return QStringLiteral("元のファイル名");
        case dateColumn:
            return QStringLiteral("日付");
        case vendorColumn:
            return QStringLiteral("取引先");
        case amountColumn:
            return QStringLiteral("金額");
        case newNameColumn:
            return QStringLiteral("新しいファイル名");
        default:
            return {};
    }
}

}  // namespace tavori
