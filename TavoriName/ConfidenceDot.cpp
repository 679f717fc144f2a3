#include "TavoriName/ConfidenceDot.h"

#include <QPainter>

namespace tavori {

ConfidenceDot::ConfidenceDot(QWidget* parent) : QWidget(parent) {
    setFixedSize(diameter, diameter);
    setToolTip(toolTipText(level_, edited_));
}

void ConfidenceDot::setState(FieldConfidence::Level level, bool edited) {
    if (level == level_ && edited == edited_) return;
    level_ = level;
    edited_ = edited;
    setToolTip(toolTipText(level_, edited_));
    update();
}

QColor ConfidenceDot::colour(FieldConfidence::Level level, bool edited) {
    if (edited) return QColor(0x0a, 0x84, 0xff);  // blue
    switch (level) {
        case FieldConfidence::Level::high:
            return QColor(0x34, 0xc7, 0x59);  // green
        case FieldConfidence::Level::medium:
            return QColor(0xff, 0xcc, 0x00);  // yellow
        case FieldConfidence::Level::low:
            return QColor(0xff, 0x95, 0x00);  // orange
        case FieldConfidence::Level::missing:
            return QColor(0xff, 0x3b, 0x30);  // red
    }
    return QColor(0xff, 0x3b, 0x30);
}

QString ConfidenceDot::toolTipText(FieldConfidence::Level level, bool edited) {
    if (edited) return QStringLiteral("手で修正済み");
    switch (level) {
        case FieldConfidence::Level::high:
            return QStringLiteral("確度: 高");
        case FieldConfidence::Level::medium:
            return QStringLiteral("確度: 中（確認をおすすめします）");
        case FieldConfidence::Level::low:
            return QStringLiteral("確度: 低（確認してください）");
        case FieldConfidence::Level::missing:
            return QStringLiteral("検出できませんでした");
    }
    return QStringLiteral("検出できませんでした");
}

void ConfidenceDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour());
    painter.drawEllipse(QRectF(0.5, 0.5, diameter - 1.0, diameter - 1.0));
}

}  // namespace tavori
