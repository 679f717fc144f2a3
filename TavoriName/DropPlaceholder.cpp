#include "TavoriName/DropPlaceholder.h"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "TavoriName/Icons.h"

namespace tavori {

namespace {

constexpr int symbolSize = 56;

QLabel* secondaryLine(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    label->setMaximumWidth(380);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

}  // namespace

DropPlaceholder::DropPlaceholder(QWidget* parent) : QWidget(parent), symbol_(new QLabel(this)) {
    symbol_->setAlignment(Qt::AlignHCenter);

    auto* heading = new QLabel(QStringLiteral("領収書・請求書をここにドロップ"), this);
    heading->setAlignment(Qt::AlignHCenter);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.35);
    headingFont.setBold(true);
    heading->setFont(headingFont);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(symbol_, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addWidget(heading, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    layout->addWidget(
        secondaryLine(
            QStringLiteral(
                "PDF・写真・スキャン画像に対応。読み取りはすべてこのコンピュータの中で行われ、外部には送"
                "信されません。"),
            this),
        0, Qt::AlignHCenter);
    layout->addWidget(
        secondaryLine(QStringLiteral("ファイル名は「日付_取引先_金額」の形式で自動生成されます"), this), 0,
        Qt::AlignHCenter);
    layout->addStretch(1);
    updateSymbol();
}

void DropPlaceholder::setTargeted(bool targeted) {
    if (targeted == targeted_) return;
    targeted_ = targeted;
    updateSymbol();
    update();
}

void DropPlaceholder::paintEvent(QPaintEvent*) {
    if (!targeted_) return;
    QPainter painter(this);
    QColor tint = Icons::accent();
    tint.setAlphaF(0.08);
    painter.fillRect(rect(), tint);
}

void DropPlaceholder::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        updateSymbol();
    QWidget::changeEvent(event);
}

void DropPlaceholder::updateSymbol() {
    const QColor color = targeted_ ? Icons::accent() : Icons::secondary();
    symbol_->setPixmap(
        Icons::bundledPixmap(Symbol::docTextViewfinder, color, symbolSize, devicePixelRatioF()));
}

}  // namespace tavori
