#pragma once

#include <optional>

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>

#include "TavoriName/DocumentItem.h"
#include "TavoriName/Icons.h"

namespace tavori {

// The symbol in a row's first column and its hover text, chosen by the item's status.
struct StatusBadge {
    std::optional<Symbol> symbol;  // nothing while reading: a progress indicator turns there instead
    QColor color;
    QString toolTip;

    static StatusBadge forItem(const DocumentItem& item);
    bool isProgress() const { return !symbol.has_value(); }
};

// Paints the badge: the symbol, or a turning arc for the rows being read. The view repaints those rows on a
// timer (see DocumentTable), so the arc's angle comes from the clock.
class StatusBadgeDelegate final : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int symbolSize = 16;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace tavori
