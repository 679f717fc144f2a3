#include "TavoriName/DetailPane.h"

#include <QLabel>
#include <QVBoxLayout>

#include "TavoriName/AppModel.h"
#include "TavoriName/DetailSymbols.h"
#include "TavoriName/DocumentDetailView.h"

namespace tavori {

DetailPane::DetailPane(AppModel& model, QWidget* parent) : QStackedWidget(parent), model_(model) {
    placeholder_ = new QWidget;
    auto* column = new QVBoxLayout(placeholder_);
    column->addStretch(1);
    placeholderIcon_ = new QLabel;
    placeholderIcon_->setAlignment(Qt::AlignCenter);
    column->addWidget(placeholderIcon_);
    placeholderTitle_ = new QLabel;
    placeholderTitle_->setAlignment(Qt::AlignCenter);
    QFont title = placeholderTitle_->font();
    title.setPointSizeF(title.pointSizeF() * 1.4);
    title.setWeight(QFont::DemiBold);
    placeholderTitle_->setFont(title);
    column->addWidget(placeholderTitle_);
    placeholderDescription_ = new QLabel;
    placeholderDescription_->setAlignment(Qt::AlignCenter);
    placeholderDescription_->setWordWrap(true);
    QPalette secondary = placeholderDescription_->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    placeholderDescription_->setPalette(secondary);
    column->addWidget(placeholderDescription_);
    column->addStretch(1);
    addWidget(placeholder_);

    detailPage_ = detail_ = new DocumentDetailView(model_);
    addWidget(detailPage_);
    // Names by which the parts are found from outside (tests); nothing drawn changes.
    detail_->setObjectName(QStringLiteral("detail"));
    placeholderTitle_->setObjectName(QStringLiteral("placeholderTitle"));
    placeholderDescription_->setObjectName(QStringLiteral("placeholderDescription"));

    connect(&model_, &AppModel::selectionChanged, this, &DetailPane::refresh);
    connect(&model_, &AppModel::selectedItemChanged, this, &DetailPane::refresh);
    connect(&model_, &AppModel::itemsRemoved, this, &DetailPane::refresh);
    refresh();
}

void DetailPane::refresh() {
    if (const DocumentItem* selected = model_.selectedItem()) {
        detail_->showItem(selected->id());
        setCurrentWidget(detailPage_);
        return;
    }
    const qsizetype count = model_.selection().size();
    if (count < 2) {
        placeholderIcon_->setPixmap(
            detailSymbol(QStringLiteral("edit-find"), QStringLiteral("doc-text-magnifyingglass"))
                .pixmap(48, 48));
        placeholderTitle_->setText(QStringLiteral("ファイルを選択"));
        placeholderDescription_->setText(
            QStringLiteral("左のリストから選ぶと、読み取り結果を確認・修正できます"));
    } else {
        placeholderIcon_->setPixmap(
            detailSymbol(QStringLiteral("edit-copy"), QStringLiteral("doc-on-doc")).pixmap(48, 48));
        placeholderTitle_->setText(QStringLiteral("%1件を選択中").arg(count));
        placeholderDescription_->setText(QStringLiteral("1件ずつ選ぶと内容を確認・修正できます"));
    }
    setCurrentWidget(placeholder_);
}

}  // namespace tavori
