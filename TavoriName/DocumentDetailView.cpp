#include "TavoriName/DocumentDetailView.h"

#include <algorithm>
#include <utility>

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPdfView>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "TavoriCore/RegistrationNumberExtractor.h"
#include "TavoriName/AppModel.h"
#include "TavoriName/ConfidenceDot.h"
#include "TavoriName/DetailSymbols.h"
#include "TavoriName/DocumentPreview.h"
#include "TavoriName/DuplicateMarks.h"
#include "TavoriName/Icons.h"
#include "TavoriName/ZoomBar.h"

namespace tavori {

namespace {

using Field = DocumentItem::Field;

constexpr int previewMinimumHeight = 220;
// Below this width the fields stand one under another.
constexpr int twoColumnWidth = 370;
constexpr int narrowestWidth = 320;
const QColor& warningOrange = Icons::orange;
const QColor& errorRed = Icons::red;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

int index(Field field) {
    return static_cast<int>(field);
}

QFont captionFont(const QWidget* widget) {
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

// A line edit keeps what the user is typing when it already means the item's value; otherwise it shows the
// value.
void showText(QLineEdit* field, const QString& text, bool typedTextMeansTheValue) {
    if (field->hasFocus() && typedTextMeansTheValue) return;
    if (field->text() != text) field->setText(text);
}

// The amount typed in the user's locale: digits (full-width too) with or without group separators, a yen sign
// allowed.
// Nothing for an empty text; no value in `ok` for anything else that is not a whole number.
std::optional<std::int64_t> parseAmount(const QString& text, bool& ok) {
    ok = true;
    // A Japanese input method types full-width digits and commas unless told otherwise.
    QString cleaned = text.normalized(QString::NormalizationForm_KC).trimmed();
    if (cleaned.isEmpty()) return std::nullopt;
    const QLocale locale;
    cleaned.remove(locale.groupSeparator()).remove(QLatin1Char(',')).remove(QLatin1Char(' '));
    cleaned.remove(QStringLiteral("円")).remove(QChar(0x00a5)).remove(QChar(0xffe5));
    qlonglong value = locale.toLongLong(cleaned, &ok);
    if (!ok) value = QLocale::c().toLongLong(cleaned, &ok);
    if (!ok) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

// A wrapping caption under the fields.
QLabel* noteLabel(const QString& text = {}) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setFont(captionFont(label));
    return label;
}

// `text` with the warning sign in `icon` before it.
QWidget* warningRow(QLabel* icon, QLabel* text) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    icon->setPixmap(detailSymbol(QStringLiteral("dialog-warning"), QStringLiteral("exclamationmark-triangle"))
                        .pixmap(12, 12));
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    return row;
}

QString formatAmount(std::optional<std::int64_t> amount) {
    return amount ? QLocale().toString(static_cast<qlonglong>(*amount)) : QString();
}

// The item's state in the band where the banner would be, in the words of the list's badges.
QString stateText(const DocumentItem& item) {
    switch (item.status()) {
        case DocumentItem::Status::queued:
            return QStringLiteral("読み取り待ち");
        case DocumentItem::Status::analyzing:
            return QStringLiteral("読み取り中…");
        case DocumentItem::Status::saved:
            return QStringLiteral("保存済み");
        case DocumentItem::Status::failed:
            return {};
        case DocumentItem::Status::ready:
            break;
    }
    if (item.userEdited()) return QStringLiteral("手で修正済み。保存できます");
    if (item.confirmed()) return QStringLiteral("確認済み。保存できます");
    return QStringLiteral("読み取り結果に自信あり。保存できます");
}

}  // namespace

DocumentDetailView::DocumentDetailView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The preview takes whatever height the compact parts below leave.
    preview_ = new DocumentPreview;
    preview_->setMinimumHeight(previewMinimumHeight);
    preview_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    zoomBar_ = new ZoomBar(preview_);
    connect(zoomBar_, &ZoomBar::zoomRequested, preview_, &DocumentPreview::zoom);
    column->addWidget(preview_, 1);

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    // The banner, the item's error or its plain state share one band of fixed height, so that the preview
    // and the form stay where they are when the banner comes or goes.
    statusBand_ = new QWidget;
    auto* band = new QVBoxLayout(statusBand_);
    band->setContentsMargins(0, 0, 0, 0);
    band->setSpacing(0);
    banner_ = makeBanner();
    band->addWidget(banner_);
    errorSection_ = new QWidget;
    auto* errorRow = new QVBoxLayout(errorSection_);
    errorRow->setContentsMargins(12, 8, 12, 8);
    errorLabel_ = new QLabel;
    errorLabel_->setWordWrap(true);
    errorLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    errorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextColour(errorLabel_, errorRed);
    errorRow->addWidget(errorLabel_, 1);
    errorSection_->hide();
    band->addWidget(errorSection_);
    stateLine_ = new QLabel;
    stateLine_->setContentsMargins(12, 8, 12, 8);
    stateLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    stateLine_->setForegroundRole(QPalette::PlaceholderText);
    band->addWidget(stateLine_);
    const QFontMetrics metrics(font());
    statusBand_->setFixedHeight(2 * 6 + 4 + 3 * metrics.lineSpacing() + 10);
    column->addWidget(statusBand_);

    column->addWidget(makeForm());
    // Tab goes from the page to the fields in the order they stand.
    setTabOrder(preview_->pdfView(), dateField_);
    setTabOrder(dateField_, amountField_);
    setTabOrder(amountField_, vendorField_);
    setTabOrder(vendorField_, typePicker_);
    setTabOrder(typePicker_, registrationField_);
    nameParts();

    connect(&model_, &AppModel::itemChanged, this, [this](int row) {
        if (row == model_.rowOf(itemId_)) refresh();
    });
    connect(&DuplicateMarks::of(model_), &DuplicateMarks::marksChanged, this, [this](int row) {
        if (row == model_.rowOf(itemId_)) refresh();
    });
    connect(&model_, &AppModel::settingsChanged, this, [this] {
        if (const DocumentItem* shown = item()) {
            refreshNewName(*shown);
            refreshLearnButton(*shown);
        }
    });
}

void DocumentDetailView::nameParts() {
    // Names by which the parts are found from outside (tests, accessibility tools); nothing drawn changes.
    const std::pair<QObject*, const char*> names[] = {
        {preview_, "preview"},
        {banner_, "banner"},
        {bannerReasons_, "bannerReasons"},
        {confirmButton_, "confirm"},
        {newNameLabel_, "newName"},
        {savedLocationLink_, "savedLocation"},
        {dateField_, "date"},
        {dateMissingLabel_, "dateMissing"},
        {vendorField_, "vendor"},
        {learnVendorButton_, "learnVendor"},
        {amountField_, "amount"},
        {typePicker_, "type"},
        {registrationField_, "registration"},
        {taxFields_[0][0], "amount10"},
        {taxFields_[0][1], "tax10"},
        {taxFields_[1][0], "amount8"},
        {taxFields_[1][1], "tax8"},
        {checkDigitWarning_, "checkDigitWarning"},
        {registryStatusRow_, "registryStatus"},
        {registryStatusLabel_, "registryStatusText"},
        {registryVendorButton_, "registryVendor"},
        {errorSection_, "error"},
        {errorLabel_, "errorText"},
        {amountWarning_, "amountWarning"},
        {dot(Field::date), "dateDot"},
        {dot(Field::vendor), "vendorDot"},
        {dot(Field::amount), "amountDot"},
        {dot(Field::documentType), "typeDot"},
        {dot(Field::registrationNumber), "registrationDot"},
    };
    for (const auto& [part, name] : names) part->setObjectName(QLatin1String(name));
}

QWidget* DocumentDetailView::makeBanner() {
    auto* banner = new QWidget;
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    QColor tint = warningOrange;
    tint.setAlphaF(0.15);
    // Blended over the window colour so that the tint looks the same on any parent.
    const QColor window = palette.color(QPalette::Window);
    palette.setColor(QPalette::Window, QColor::fromRgbF(window.redF() * 0.85 + tint.redF() * 0.15,
                                                        window.greenF() * 0.85 + tint.greenF() * 0.15,
                                                        window.blueF() * 0.85 + tint.blueF() * 0.15));
    banner->setPalette(palette);
    auto* row = new QHBoxLayout(banner);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(12);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    auto* headingRow = new QHBoxLayout;
    headingRow->setSpacing(6);
    auto* icon = new QLabel;
    icon->setPixmap(Icons::themed(Symbol::exclamationmarkTriangleFill, Icons::orange).pixmap(16, 16));
    auto* heading = new QLabel(QStringLiteral("保存前に確認してください"));
    QFont bold = heading->font();
    bold.setWeight(QFont::DemiBold);
    heading->setFont(bold);
    headingRow->addWidget(icon);
    headingRow->addWidget(heading);
    headingRow->addStretch(1);
    text->addLayout(headingRow);
    bannerReasons_ = new QLabel;
    bannerReasons_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->addWidget(bannerReasons_, 1);
    row->addLayout(text, 1);

    confirmButton_ = new QPushButton(QStringLiteral("このままでOK"));
    confirmButton_->setToolTip(
        QStringLiteral("読み取り結果を確認済みにします。値を直した場合は自動で確認済みになります"));
    connect(confirmButton_, &QPushButton::clicked, this, [this] { model_.confirm({itemId_}); });
    row->addWidget(confirmButton_, 0, Qt::AlignTop);
    banner->hide();
    return banner;
}

QWidget* DocumentDetailView::makeForm() {
    auto* form = new QWidget;
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(10, 6, 10, 6);
    column->setSpacing(4);
    column->addLayout(makeNames());
    makeFields();
    fieldGrid_ = new QGridLayout;
    fieldGrid_->setHorizontalSpacing(10);
    fieldGrid_->setVerticalSpacing(4);
    column->addLayout(fieldGrid_);
    column->addWidget(makeTaxRow());
    placeFields(true);
    column->addWidget(makeNotes());
    return form;
}

QLayout* DocumentDetailView::makeNames() {
    auto* names = new QFormLayout;
    names->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    names->setVerticalSpacing(4);
    newNameLabel_ = new QLabel;
    newNameLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    newNameLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    names->addRow(QStringLiteral("新しいファイル名"), newNameLabel_);
    // The row is there for every item, saved or not, so that saving moves nothing.
    savedLocationCaption_ = new QLabel(QStringLiteral("保存先"));
    savedLocationLink_ = new QLabel;
    savedLocationLink_->setTextFormat(Qt::RichText);
    savedLocationLink_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    savedLocationLink_->setToolTip(QStringLiteral("ファイルマネージャで表示"));
    connect(savedLocationLink_, &QLabel::linkActivated, this,
            [this] { model_.revealInFileManager(itemId_); });
    notSavedLabel_ = new QLabel(QStringLiteral("まだ保存していません"));
    notSavedLabel_->setForegroundRole(QPalette::PlaceholderText);
    auto* savedRow = new QHBoxLayout;
    savedRow->setContentsMargins(0, 0, 0, 0);
    savedRow->addWidget(savedLocationLink_, 1);
    savedRow->addWidget(notSavedLabel_, 1);
    names->addRow(savedLocationCaption_, savedRow);
    return names;
}

QWidget* DocumentDetailView::makeDateField() {
    dateField_ = new QDateEdit;
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    dateField_->setLocale(japanese);
    dateField_->setDisplayFormat(QStringLiteral("yyyy年M月d日"));
    dateField_->setCalendarPopup(true);
    dateField_->calendarWidget()->setLocale(japanese);
    dateField_->setAccessibleName(QStringLiteral("日付"));
    dateMissingLabel_ = new QLabel(QStringLiteral("未検出"));
    dateMissingLabel_->setFont(captionFont(dateMissingLabel_));
    setTextColour(dateMissingLabel_, errorRed);
    QSizePolicy keepRoom = dateMissingLabel_->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    dateMissingLabel_->setSizePolicy(keepRoom);
    connect(dateField_, &QDateEdit::dateChanged, this, [this](QDate date) {
        if (refreshing_ || !date.isValid()) return;
        model_.setDateBinding(itemId_, QDateTime(date, QTime(0, 0), Qt::LocalTime));
    });
    return fieldCell(QStringLiteral("日付"), dateField_, Field::date, dateMissingLabel_);
}

void DocumentDetailView::makeFields() {
    for (auto& dot : dots_) dot = new ConfidenceDot;
    cells_[0] = makeDateField();

    amountField_ = new QLineEdit;
    amountField_->setAccessibleName(QStringLiteral("金額（円）"));
    amountField_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    amountField_->setMinimumWidth(70);
    connect(amountField_, &QLineEdit::textEdited, this, &DocumentDetailView::amountEdited);
    connect(amountField_, &QLineEdit::editingFinished, this, &DocumentDetailView::amountFinished);
    cells_[1] = fieldCell(QStringLiteral("金額（円）"), amountField_, Field::amount);

    vendorField_ = new QLineEdit;
    vendorField_->setAccessibleName(QStringLiteral("取引先"));
    connect(vendorField_, &QLineEdit::textEdited, this, &DocumentDetailView::vendorEdited);
    cells_[2] = fieldCell(QStringLiteral("取引先"), vendorField_, Field::vendor);

    typePicker_ = new QComboBox;
    typePicker_->setAccessibleName(QStringLiteral("書類種別"));
    for (const DocumentType type : allDocumentTypes) typePicker_->addItem(qs(std::string(displayName(type))));
    connect(typePicker_, &QComboBox::activated, this, [this](int chosen) {
        if (chosen < 0 || chosen >= int(allDocumentTypes.size())) return;
        model_.setDocumentType(itemId_, allDocumentTypes[std::size_t(chosen)]);
    });
    cells_[3] = fieldCell(QStringLiteral("書類種別"), typePicker_, Field::documentType);

    registrationField_ = new QLineEdit;
    registrationField_->setAccessibleName(QStringLiteral("登録番号"));
    connect(registrationField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.setRegistrationNumber(itemId_,
                                     text.isEmpty() ? std::nullopt : std::optional(text.toStdString()));
    });
    cells_[4] = fieldCell(QStringLiteral("登録番号"), registrationField_, Field::registrationNumber);
}

QWidget* DocumentDetailView::fieldCell(const QString& label, QWidget* control, Field field, QWidget* extra) {
    auto* widget = new QWidget;
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* caption = new QLabel(label);
    caption->setBuddy(control);
    row->addWidget(caption);
    row->addWidget(control, 1);
    if (extra) row->addWidget(extra);
    row->addWidget(dots_[index(field)]);
    return widget;
}

QWidget* DocumentDetailView::makeTaxRow() {
    // Under the amount, the amounts by rate: small, since most documents print at most two.
    auto* rates = new QGridLayout;
    rates->setContentsMargins(0, 0, 0, 0);
    const char* const rateNames[] = {"10%", "8%"};
    for (int r = 0; r < 2; ++r) {
        rates->addWidget(new QLabel(QString::fromUtf8(rateNames[r])), r, 0);
        for (int c = 0; c < 2; ++c) {
            auto* field = new QLineEdit;
            field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            field->setPlaceholderText(c == 0 ? QStringLiteral("対象額（税込）") : QStringLiteral("消費税"));
            field->setAccessibleName(QString::fromUtf8(rateNames[r]) + field->placeholderText());
            connect(field, &QLineEdit::textEdited, this, &DocumentDetailView::taxBreakdownEdited);
            taxFields_[std::size_t(r)][std::size_t(c)] = field;
            rates->addWidget(field, r, c + 1);
        }
    }
    rates->setColumnStretch(1, 2);
    rates->setColumnStretch(2, 1);
    auto* taxRow = new QWidget;
    auto* taxLayout = new QHBoxLayout(taxRow);
    taxLayout->setContentsMargins(0, 0, 0, 0);
    taxLayout->addWidget(new QLabel(QStringLiteral("税率別")));
    taxLayout->addLayout(rates, 1);
    return taxRow;
}

QWidget* DocumentDetailView::makeNotes() {
    // Warnings and offers under the fields share one area of fixed height: coming and going, they move
    // nothing else. A long list scrolls within it.
    auto* notes = new QWidget;
    auto* notesColumn = new QVBoxLayout(notes);
    notesColumn->setContentsMargins(0, 0, 0, 0);
    notesColumn->setSpacing(2);

    amountWarning_ = noteLabel();
    setTextColour(amountWarning_, errorRed);
    amountWarning_->hide();
    notesColumn->addWidget(amountWarning_);

    auto* warningText =
        noteLabel(QStringLiteral("法人番号のチェックデジットと一致しません。読み取りミスの可能性があります（"
                                 "個人事業者の番号なら問題ありません）"));
    setTextColour(warningText, warningOrange);
    checkDigitWarning_ = warningRow(new QLabel, warningText);
    notesColumn->addWidget(checkDigitWarning_);
    checkDigitWarning_->hide();

    registryStatusIcon_ = new QLabel;
    registryStatusLabel_ = noteLabel();
    registryStatusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    registryStatusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    registryStatusRow_ = warningRow(registryStatusIcon_, registryStatusLabel_);
    notesColumn->addWidget(registryStatusRow_);
    registryStatusRow_->hide();

    // Apart from the review banner: a possible duplicate is a warning, not a reason to review.
    duplicateLine_ = noteLabel();
    duplicateLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextColour(duplicateLine_, QColor(0xc0, 0x39, 0x2b));
    duplicateLine_->hide();
    notesColumn->addWidget(duplicateLine_);

    notesColumn->addLayout(makeOffers());
    notesColumn->addStretch(1);

    notesArea_ = new QScrollArea;
    notesArea_->setWidget(notes);
    notesArea_->setWidgetResizable(true);
    notesArea_->setFrameShape(QFrame::NoFrame);
    notesArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QFontMetrics caption(captionFont(this));
    notesArea_->setFixedHeight(2 * caption.lineSpacing() + 6);
    return notesArea_;
}

QLayout* DocumentDetailView::makeOffers() {
    learnVendorButton_ = new QPushButton(QStringLiteral("次回からこの名前にする"));
    learnVendorButton_->setToolTip(QStringLiteral(
        "読み取った名前を含む取引先を、次回からこの名前で読み取ります（設定の「取引先」に追加されます）"));
    connect(learnVendorButton_, &QPushButton::clicked, this, &DocumentDetailView::learnVendor);
    registryVendorButton_ = new QPushButton;
    registryVendorButton_->setToolTip(QStringLiteral(
        "適格請求書発行事業者の公表データにある名称を取引先にします（手で直したことになります）"));
    connect(registryVendorButton_, &QPushButton::clicked, this, [this] {
        if (!registryVendor_.empty()) model_.setVendor(itemId_, registryVendor_);
    });
    auto* offers = new QHBoxLayout;
    offers->setContentsMargins(0, 0, 0, 0);
    offers->addWidget(learnVendorButton_);
    offers->addWidget(registryVendorButton_);
    offers->addStretch(1);
    learnVendorButton_->hide();
    registryVendorButton_->hide();
    return offers;
}

void DocumentDetailView::placeFields(bool twoColumns) {
    if (twoColumns_ == twoColumns && fieldGrid_->count() > 0) return;
    twoColumns_ = twoColumns;
    for (QWidget* cell : cells_) fieldGrid_->removeWidget(cell);
    if (twoColumns) {
        fieldGrid_->addWidget(cells_[0], 0, 0);
        fieldGrid_->addWidget(cells_[1], 0, 1);
        fieldGrid_->addWidget(cells_[2], 1, 0, 1, 2);
        fieldGrid_->addWidget(cells_[3], 2, 0);
        fieldGrid_->addWidget(cells_[4], 2, 1);
    } else {
        for (int row = 0; row < 5; ++row) fieldGrid_->addWidget(cells_[std::size_t(row)], row, 0, 1, 2);
    }
}

QSize DocumentDetailView::minimumSizeHint() const {
    // As narrow as the fields one under another need, whichever way they stand now, so that a narrower pane
    // can take them out of two columns.
    return {narrowestWidth, QWidget::minimumSizeHint().height()};
}

void DocumentDetailView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Two fields side by side need about this much room for a date and a six-digit amount.
    placeFields(width() >= twoColumnWidth);
}

ConfidenceDot* DocumentDetailView::dot(Field field) const {
    return dots_[index(field)];
}

const DocumentItem* DocumentDetailView::item() const {
    return itemId_.isNull() ? nullptr : model_.item(itemId_);
}

void DocumentDetailView::showItem(const QUuid& id) {
    if (id != itemId_) {
        itemId_ = id;
        amountBeforeTyping_.reset();
        amountWarning_->hide();
        // Another document starts fitted to its page.
        preview_->setCurrentZoom(PreviewZoom::fitPage);
    }
    refresh();
}

void DocumentDetailView::refresh() {
    const DocumentItem* shown = item();
    if (!shown) return;
    refreshing_ = true;
    // The file where it is now: a save may have moved or renamed it.
    preview_->setFile(shown->currentPath());
    const ReceiptFields& fields = shown->fields();
    const auto& edited = shown->editedFields();

    const auto reasons = shown->reviewReasons();
    QStringList lines;
    for (const auto& reason : reasons) lines << QStringLiteral("・") + qs(reason);
    // The band holds two reasons; the rest are counted and all of them are in the tooltip.
    QStringList shownLines = lines.mid(0, 2);
    if (lines.size() > 2) shownLines << QStringLiteral("ほか%1件").arg(lines.size() - 2);
    bannerReasons_->setText(shownLines.join(QLatin1Char('\n')));
    bannerReasons_->setToolTip(lines.join(QLatin1Char('\n')));
    const bool failed = shown->errorMessage().has_value();
    banner_->setVisible(!reasons.empty() && !failed);
    errorSection_->setVisible(failed);
    errorLabel_->setText(failed ? qs(*shown->errorMessage()) : QString());
    stateLine_->setVisible(reasons.empty() && !failed);
    stateLine_->setText(stateText(*shown));

    QStringList duplicates;
    for (const auto& duplicate : DuplicateMarks::of(model_).forItem(shown->id()))
        duplicates << qs(duplicate.message());
    duplicateLine_->setText(duplicates.join(QLatin1Char('\n')));
    duplicateLine_->setVisible(!duplicates.isEmpty());

    refreshNewName(*shown);
    const bool saved = shown->status() == DocumentItem::Status::saved && shown->outputPath().has_value();
    savedLocationLink_->setVisible(saved);
    notSavedLabel_->setVisible(!saved);
    if (saved) {
        const QString path = QString::fromLocal8Bit(shown->outputPath()->c_str());
        savedLocationLink_->setText(QStringLiteral("<a href=\"reveal\">%1</a>").arg(path.toHtmlEscaped()));
        savedLocationLink_->setToolTip(path);
    }

    const QDate pickerDate = shown->dateBinding().date();
    if (dateField_->date() != pickerDate) dateField_->setDate(pickerDate);
    dateMissingLabel_->setVisible(!fields.date.has_value());

    showText(vendorField_, qs(fields.vendor), vendorField_->text().toStdString() == fields.vendor);
    bool typedOk = false;
    const auto typedAmount = parseAmount(amountField_->text(), typedOk);
    // A text being typed that is not an amount stays, with its warning, until it is fixed or left.
    showText(amountField_, formatAmount(fields.amount), !typedOk || typedAmount == fields.amount);
    for (std::size_t r = 0; r < 2; ++r) {
        const int rate = r == 0 ? 10 : 8;
        const auto it = std::find_if(fields.taxBreakdown.begin(), fields.taxBreakdown.end(),
                                     [&](const TaxRateAmount& a) { return a.rate == rate; });
        const std::optional<std::int64_t> gross =
            it == fields.taxBreakdown.end() ? std::nullopt : std::optional(it->gross());
        const std::optional<std::int64_t> tax = it == fields.taxBreakdown.end() ? std::nullopt : it->tax;
        for (const auto& [column, value] : {std::pair{0, gross}, std::pair{1, tax}}) {
            bool ok = false;
            QLineEdit* field = taxFields_[r][std::size_t(column)];
            const auto typed = parseAmount(field->text(), ok);
            showText(field, formatAmount(value), ok && typed == value);
        }
    }
    // While the amounts by rate do not add up to the total, each of their fields says so.
    for (auto& row : taxFields_)
        for (QLineEdit* field : row)
            field->setToolTip(
                fields.confidence.taxBreakdown == FieldConfidence::Level::low
                    ? QString::fromUtf8(FieldConfidence::kTaxBreakdownDisagrees.data(),
                                        qsizetype(FieldConfidence::kTaxBreakdownDisagrees.size()))
                    : QString());
    const auto type = std::find(allDocumentTypes.begin(), allDocumentTypes.end(), fields.documentType);
    typePicker_->setCurrentIndex(int(type - allDocumentTypes.begin()));
    const QString number = fields.registrationNumber ? qs(*fields.registrationNumber) : QString();
    showText(registrationField_, number, registrationField_->text() == number);
    checkDigitWarning_->setVisible(
        fields.registrationNumber &&
        RegistrationNumberExtractor::corporateCheckDigitMatches(*fields.registrationNumber) == false);

    const FieldConfidence& confidence = fields.confidence;
    dot(Field::date)->setState(confidence.date, edited.contains(Field::date));
    dot(Field::vendor)->setState(confidence.vendor, edited.contains(Field::vendor));
    dot(Field::amount)->setState(confidence.amount, edited.contains(Field::amount));
    dot(Field::documentType)->setState(documentTypeLevel(fields), edited.contains(Field::documentType));
    // The register's word (showRegistryStatus) may lower this dot.
    dot(Field::registrationNumber)
        ->setState(registrationNumberLevel(fields), edited.contains(Field::registrationNumber));

    refreshLearnButton(*shown);
    // While the register is asked about a corrected number, the row keeps its place and the answer follows.
    if (!shown->needsRegistryCheck() || registryShownFor_ != shown->id()) {
        registryShownFor_ = shown->id();
        showRegistryStatus(shown->registration());
    }
    refreshing_ = false;
}

void DocumentDetailView::refreshNewName(const DocumentItem& shown) {
    newNameLabel_->setText(qs(model_.settings().nameTemplate.savedName(shown.fields(), shown.sourcePath())));
}

void DocumentDetailView::refreshLearnButton(const DocumentItem& shown) {
    const std::string& corrected = shown.fields().vendor;
    const bool offer = shown.editedFields().contains(Field::vendor) && !corrected.empty() &&
                       (aliasToLearn(shown).has_value() || shown.vendorToRemember(model_.settings().vendors));
    learnVendorButton_->setVisible(offer);
}

// The rule that maps the name as read to the corrected one, unless there is no name as read or the rule is
// there already.
std::optional<VendorAliasDictionary::Rule> DocumentDetailView::aliasToLearn(const DocumentItem& shown) const {
    const auto read = vendorAsRead_.constFind(itemId_);
    const std::string& corrected = shown.fields().vendor;
    if (read == vendorAsRead_.cend() || read->empty() || corrected.empty() || *read == corrected)
        return std::nullopt;
    const auto& rules = model_.settings().aliases.rules;
    const bool exists = std::any_of(rules.begin(), rules.end(), [&](const auto& rule) {
        return rule.pattern == *read && rule.canonical == corrected;
    });
    if (exists) return std::nullopt;
    return VendorAliasDictionary::Rule{Uuid::random(), *read, corrected};
}

void DocumentDetailView::showRegistryStatus(const std::optional<RegistrationStatus>& status) {
    const DocumentItem* shown = item();
    registryStatusRow_->setVisible(shown && status.has_value());
    registryVendor_.clear();
    if (shown && status) {
        registryStatusIcon_->setVisible(!status->isReliable());
        registryStatusLabel_->setText(qs(status->message()));
        setTextColour(registryStatusLabel_,
                      status->isReliable() ? palette().color(QPalette::WindowText) : warningOrange);
        const auto& f = shown->fields();
        const auto level = f.confidence.vendor;
        const bool uncertain = f.vendor.empty() || level == FieldConfidence::Level::low ||
                               level == FieldConfidence::Level::missing;
        const std::string suggestion = status->vendorSuggestion();
        if (uncertain && !suggestion.empty() && suggestion != f.vendor &&
            !shown->editedFields().contains(Field::vendor))
            registryVendor_ = suggestion;
    }
    registryVendorButton_->setText(QStringLiteral("取引先を「%1」にする").arg(qs(registryVendor_)));
    registryVendorButton_->setVisible(!registryVendor_.empty());
    // A number the imported register does not hold is as doubtful as one whose check digit fails.
    if (shown && status && status->state == RegistrationStatus::State::notFound)
        dot(Field::registrationNumber)
            ->setState(FieldConfidence::Level::low,
                       shown->editedFields().contains(Field::registrationNumber));
}

void DocumentDetailView::vendorEdited(const QString& text) {
    const DocumentItem* shown = item();
    if (!shown) return;
    if (!shown->editedFields().contains(Field::vendor)) vendorAsRead_.insert(itemId_, shown->fields().vendor);
    model_.setVendor(itemId_, text.toStdString());
}

void DocumentDetailView::taxBreakdownEdited() {
    std::vector<TaxRateAmount> breakdown;
    for (std::size_t r = 0; r < 2; ++r) {
        bool amountOk = false, taxOk = false;
        const auto amount = parseAmount(taxFields_[r][0]->text(), amountOk);
        const auto tax = parseAmount(taxFields_[r][1]->text(), taxOk);
        if (!amountOk || !taxOk) return;  // half-typed: wait for a number
        if (amount) breakdown.push_back({r == 0 ? 10 : 8, *amount, tax, true});
    }
    model_.setTaxBreakdown(itemId_, std::move(breakdown));
}

void DocumentDetailView::amountEdited(const QString& text) {
    const DocumentItem* shown = item();
    if (!shown) return;
    if (!amountBeforeTyping_) amountBeforeTyping_ = shown->fields().amount;
    bool ok = false;
    const auto amount = parseAmount(text, ok);
    if (ok) {
        amountWarning_->hide();
        model_.setAmount(itemId_, amount);
        return;
    }
    // A part typed before the mistake ("12" of "12abc34") is not kept as the amount.
    amountWarning_->setText(
        QStringLiteral("「%1」は金額として読めません。数字だけで入力してください").arg(text));
    amountWarning_->show();
    model_.setAmount(itemId_, *amountBeforeTyping_);
}

void DocumentDetailView::amountFinished() {
    const DocumentItem* shown = item();
    amountBeforeTyping_.reset();
    if (!shown) return;
    bool ok = false;
    const QString typed = amountField_->text();
    parseAmount(typed, ok);
    if (!ok) {
        const auto amount = shown->fields().amount;
        amountWarning_->setText(
            QStringLiteral("「%1」は金額として読めないため、金額は%2のままです")
                .arg(typed, amount ? QStringLiteral("¥") + formatAmount(amount) : QStringLiteral("空欄")));
        amountWarning_->show();
    }
    // Whatever was typed, the field shows the stored amount in the locale's format once it is left.
    amountField_->setText(formatAmount(shown->fields().amount));
}

void DocumentDetailView::learnVendor() {
    const DocumentItem* shown = item();
    if (!shown) return;
    // The corrected name, by the name as read and by the document's numbers, which name the shop even where
    // its name is only a logo.
    AppSettings settings = model_.settings();
    if (auto rule = aliasToLearn(*shown)) settings.aliases.rules.push_back(std::move(*rule));
    shown->rememberVendor(settings.vendors);
    model_.setSettings(settings);
    refreshLearnButton(*shown);
}

}  // namespace tavori
