#include "TavoriName/FooterView.h"

#include <utility>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "TavoriKit/saving/RenamePlan.h"
#include "TavoriName/AppModel.h"

namespace tavori {

namespace {

// The picker's order; each entry shows the mode's own display name.
constexpr std::array<RenamePlan::Mode, 3> pickerModes = {RenamePlan::Mode::renameInPlace,
                                                         RenamePlan::Mode::move, RenamePlan::Mode::copy};

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QString pathText(const std::filesystem::path& path) {
    const std::string& bytes = path.native();
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

FooterView::FooterView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      modePicker_(new QComboBox(this)),
      destination_(new QLabel(this)),
      changeDestination_(new QPushButton(QStringLiteral("変更…"), this)),
      indexBook_(new QLabel(this)),
      cancel_(new QPushButton(QStringLiteral("中止"), this)),
      summary_(secondaryLabel({}, this)),
      progress_(secondaryLabel({}, this)),
      progressBar_(new QProgressBar(this)),
      export_(new QPushButton(QStringLiteral("索引簿CSVを書き出す…"), this)),
      save_(new QPushButton(this)) {
    // Names by which the parts are found from outside (tests); nothing drawn changes.
    const std::pair<QObject*, const char*> names[] = {
        {modePicker_, "mode"},     {destination_, "destination"}, {changeDestination_, "changeDestination"},
        {indexBook_, "indexBook"}, {cancel_, "cancel"},           {summary_, "summary"},
        {progress_, "progress"},   {export_, "export"},           {save_, "save"}};
    for (const auto& [part, name] : names) part->setObjectName(QLatin1String(name));
    for (RenamePlan::Mode mode : pickerModes)
        modePicker_->addItem(
            QString::fromUtf8(label(mode).data(), static_cast<qsizetype>(label(mode).size())),
            static_cast<int>(mode));
    destination_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    destination_->setMinimumWidth(80);
    destination_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    indexBook_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    indexBook_->setMinimumWidth(80);
    indexBook_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    cancel_->setToolTip(QStringLiteral("いま保存しているファイルの次から保存をやめます"));
    cancel_->hide();
    progressBar_->setTextVisible(false);
    progressBar_->setMaximumWidth(120);
    progressBar_->setMaximumHeight(8);
    save_->setMinimumWidth(170);
    save_->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(secondaryLabel(QStringLiteral("方法"), this), 0, 0);
    grid->addWidget(modePicker_, 0, 1, Qt::AlignLeft);
    grid->addWidget(secondaryLabel(QStringLiteral("保存先"), this), 1, 0);
    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(destination_, 1);
    destinationRow->addWidget(changeDestination_);
    grid->addLayout(destinationRow, 1, 1);
    grid->addWidget(secondaryLabel(QStringLiteral("索引簿"), this), 2, 0);
    grid->addWidget(indexBook_, 2, 1);
    grid->setColumnStretch(1, 1);

    auto* actions = new QHBoxLayout;
    actions->addWidget(progress_);
    actions->addWidget(progressBar_);
    actions->addWidget(summary_);
    actions->addStretch(1);
    actions->addWidget(export_);
    actions->addWidget(cancel_);
    actions->addWidget(save_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 10);
    layout->addLayout(grid);
    layout->addLayout(actions);

    connect(modePicker_, &QComboBox::activated, this, [this](int index) {
        AppSettings settings = model_.settings();
        settings.mode = static_cast<RenamePlan::Mode>(modePicker_->itemData(index).toInt());
        model_.setSettings(settings);
    });
    connect(changeDestination_, &QPushButton::clicked, this, [this] { model_.chooseDestination(); });
    connect(export_, &QPushButton::clicked, this, [this] { model_.exportIndexBook(); });
    connect(save_, &QPushButton::clicked, this, [this] { model_.saveReady(); });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        model_.cancelSave();
        cancel_->setEnabled(false);
    });
    connect(&model_, &AppModel::saveProgressChanged, this, &FooterView::refreshProgress);
    connect(&model_, &AppModel::savingChanged, this, &FooterView::refreshProgress);
    connect(&model_, &AppModel::settingsChanged, this, &FooterView::refreshSettings);
    connect(&model_, &AppModel::lastSaveSummaryChanged, this, &FooterView::refreshSummary);
    connect(&model_, &AppModel::readingProgressChanged, this, &FooterView::refreshProgress);
    connect(&model_, &AppModel::savingChanged, this, &FooterView::refreshCounts);

    refreshSettings();
    refreshSummary();
    refreshProgress();
    refreshCounts();
}

void FooterView::refreshSettings() {
    const AppSettings& settings = model_.settings();
    modePicker_->setCurrentIndex(modePicker_->findData(static_cast<int>(settings.mode)));
    const bool inPlace = settings.mode == RenamePlan::Mode::renameInPlace;
    changeDestination_->setVisible(!inPlace);
    if (inPlace) {
        destination_->setText(QStringLiteral("元のフォルダ内でリネーム"));
        destination_->setToolTip({});
        refreshIndexBook();
        return;
    }
    const std::optional<std::filesystem::path> folder = settings.destinationFolder();
    const QString text = folder ? pathText(*folder) : QStringLiteral("未設定");
    destination_->setText(text);
    destination_->setToolTip(folder ? text : QString());
    refreshIndexBook();
}

void FooterView::refreshIndexBook() {
    const AppSettings& settings = model_.settings();
    QString text;
    if (!settings.writeIndexBook) {
        text = QStringLiteral("追記しない（設定の「ファイル名」で切り替え）");
    } else if (const auto book = model_.indexBookTarget()) {
        text = pathText(*book);
    } else if (settings.mode == RenamePlan::Mode::renameInPlace) {
        text = QStringLiteral("1件目のファイルと同じフォルダの「%1」")
                   .arg(QString::fromStdString(settings.indexBookFileName));
    } else {
        text = QStringLiteral("保存先フォルダを選ぶと、その中の「%1」")
                   .arg(QString::fromStdString(settings.indexBookFileName));
    }
    indexBook_->setText(text);
    indexBook_->setToolTip(text);
}

void FooterView::refreshSummary() {
    const auto& summary = model_.lastSaveSummary();
    summary_->setText(summary ? QString::fromStdString(*summary) : QString());
    summary_->setVisible(summary.has_value());
}

void FooterView::refreshProgress() {
    cancel_->setVisible(model_.isSaving());
    if (!model_.isSaving()) cancel_->setEnabled(true);
    if (model_.isSaving()) {
        const SaveProgress saving = model_.saveProgress();
        progress_->setVisible(true);
        progressBar_->setVisible(true);
        progress_->setText(QStringLiteral("保存中 %1/%2").arg(saving.done).arg(saving.total));
        progressBar_->setRange(0, saving.total);
        progressBar_->setValue(saving.done);
        return;
    }
    const ReadingProgress progress = model_.readingProgress();
    const bool reading = progress.pending > 0;
    progress_->setVisible(reading);
    progressBar_->setVisible(reading);
    if (!reading) return;
    const int done = progress.total - progress.pending;
    progress_->setText(QStringLiteral("読み取り中 %1/%2").arg(done).arg(progress.total));
    progressBar_->setRange(0, progress.total);
    progressBar_->setValue(done);
}

void FooterView::refreshCounts() {
    int ready = 0;
    for (int row = 0; row < model_.itemCount(); ++row)
        if (model_.itemAt(row).status() == DocumentItem::Status::ready) ++ready;
    save_->setText(model_.isSaving() ? QStringLiteral("保存中…")
                                     : QString::number(ready) + QStringLiteral("件をリネームして保存"));
    save_->setEnabled(ready > 0 && !model_.isSaving());
    refreshIndexBook();
}

}  // namespace tavori
