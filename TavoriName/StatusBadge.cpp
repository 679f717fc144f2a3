#include "TavoriName/StatusBadge.h"

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QStringList>

#include "TavoriName/DocumentTableModel.h"

namespace tavori {

StatusBadge StatusBadge::forItem(const DocumentItem& item) {
    switch (item.status()) {
        case DocumentItem::Status::queued:
            return {Symbol::clock, Icons::secondary(), QStringLiteral("読み取り待ち")};
        case DocumentItem::Status::analyzing:
            return {std::nullopt, Icons::secondary(), QStringLiteral("読み取り中")};
        case DocumentItem::Status::ready: {
            if (item.needsReview()) {
                QStringList lines{QStringLiteral("要確認")};
                for (const std::string& reason : item.reviewReasons())
                    lines << QString::fromStdString(reason);
                return {Symbol::exclamationmarkTriangleFill, Icons::orange, lines.join(QLatin1Char('\n'))};
            }
            if (item.userEdited())
                return {Symbol::checkmarkCircle, Icons::green, QStringLiteral("手で修正済み。保存できます")};
            if (item.confirmed())
                return {Symbol::checkmarkCircle, Icons::green, QStringLiteral("確認済み。保存できます")};
            return {Symbol::checkmarkCircle, Icons::green,
                    QStringLiteral("読み取り結果に自信あり。保存できます")};
        }
        case DocumentItem::Status::saved:
            return {Symbol::checkmarkCircleFill, Icons::green, QStringLiteral("保存済み")};
        case DocumentItem::Status::failed:
            return {Symbol::xmarkOctagonFill, Icons::red,
                    QString::fromStdString(item.errorMessage().value_or(std::string()))};
    }
    return {};
}

void StatusBadgeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.icon = QIcon();
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QRect box =
        QStyle::alignedRect(option.direction, Qt::AlignCenter, QSize(symbolSize, symbolSize), option.rect);
    if (index.data(DocumentTableModel::BusyRole).toBool()) {
        // One step every 80 ms, the pace of the view's repaint timer.
        const int step = static_cast<int>((QDateTime::currentMSecsSinceEpoch() / 80) % 12);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QPen track(Icons::secondary(), 2.0);
        QColor faint = Icons::secondary();
        faint.setAlphaF(0.3);
        track.setColor(faint);
        painter->setPen(track);
        const QRectF ring = QRectF(box).adjusted(2, 2, -2, -2);
        painter->drawEllipse(ring);
        QPen arc(Icons::secondary(), 2.0);
        arc.setCapStyle(Qt::RoundCap);
        painter->setPen(arc);
        painter->drawArc(ring, -step * 30 * 16, 100 * 16);
        painter->restore();
        return;
    }
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull()) icon.paint(painter, box);
}

QSize StatusBadgeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return size.expandedTo(QSize(symbolSize + 12, symbolSize + 6));
}

}  // namespace tavori
