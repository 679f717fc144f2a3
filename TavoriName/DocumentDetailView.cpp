#include "TavoriName/DocumentDetailView.h"

#include <algorithm>

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
constexpr int formMaximumHeight = 420;
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

QString formatAmount(std::optional<std::int64_t> amount) {
    return amount ? QLocale().toString(static_cast<qlonglong>(*amount)) : QString();
}

// The form asks for its whole height, up to the limit, so that the preview gets what is left over; on a short
// window both give way and the form scrolls.
class FormScrollArea : public QScrollArea {
  public:
    QSize sizeHint() const override {
        QSize hint = QScrollArea::sizeHint();
        if (const QWidget* content = widget())
            hint.setHeight(std::min(content->sizeHint().height() + 2 * frameWidth(), formMaximumHeight));
        return hint;
    }
    QSize minimumSizeHint() const override { return {QScrollArea::minimumSizeHint().width(), 120}; }
};

QGroupBox* section(const QString& title) {
    auto* box = new QGroupBox(title);
    return box;
}

}  // namespace

DocumentDetailView::DocumentDetailView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    preview_ = new DocumentPreview;
    preview_->setMinimumHeight(previewMinimumHeight);
    zoomBar_ = new ZoomBar(preview_);
    connect(zoomBar_, &ZoomBar::zoomRequested, preview_, &DocumentPreview::zoom);
    column->addWidget(preview_, 1);

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    banner_ = makeBanner();
    column->addWidget(banner_);

    // Apart from the review banner: a possible duplicate is a warning, not a reason to review.
    duplicateLine_ = new QLabel;
    duplicateLine_->setWordWrap(true);
    duplicateLine_->setContentsMargins(12, 6, 12, 6);
    duplicateLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette duplicatePalette = duplicateLine_->palette();
    duplicatePalette.setColor(QPalette::WindowText, QColor(0xc0, 0x39, 0x2b));
    duplicateLine_->setPalette(duplicatePalette);
    duplicateLine_->hide();
    column->addWidget(duplicateLine_);

    auto* scroll = formScroll_ = new FormScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(makeForm());
    scroll->setMaximumHeight(formMaximumHeight);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->addWidget(scroll);

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
    row->setContentsMargins(10, 10, 10, 10);
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
    bannerReasons_->setWordWrap(true);
    text->addWidget(bannerReasons_);
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

    auto* nameSection = section(QString());
    auto* nameForm = new QFormLayout(nameSection);
    nameForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    newNameLabel_ = new QLabel;
    newNameLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    newNameLabel_->setWordWrap(true);
    nameForm->addRow(QStringLiteral("新しいファイル名"), newNameLabel_);
    savedLocationCaption_ = new QLabel(QStringLiteral("保存先"));
    savedLocationLink_ = new QLabel;
    savedLocationLink_->setWordWrap(true);
    savedLocationLink_->setTextFormat(Qt::RichText);
    savedLocationLink_->setToolTip(QStringLiteral("ファイルマネージャで表示"));
    connect(savedLocationLink_, &QLabel::linkActivated, this,
            [this] { model_.revealInFileManager(itemId_); });
    nameForm->addRow(savedLocationCaption_, savedLocationLink_);
    column->addWidget(nameSection);

    auto* fieldsSection = section(QStringLiteral("読み取り結果"));
    auto* fields = new QFormLayout(fieldsSection);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (auto& dot : dots_) dot = new ConfidenceDot;
    auto withDot = [this](QWidget* control, Field field, QWidget* extra = nullptr) {
        auto* row = new QHBoxLayout;
        row->addWidget(control, 1);
        if (extra) row->addWidget(extra);
        row->addWidget(dots_[index(field)]);
        return row;
    };

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
    connect(dateField_, &QDateEdit::dateChanged, this, [this](QDate date) {
        if (refreshing_ || !date.isValid()) return;
        model_.setDateBinding(itemId_, QDateTime(date, QTime(0, 0), Qt::LocalTime));
    });
    fields->addRow(QStringLiteral("日付"), withDot(dateField_, Field::date, dateMissingLabel_));

    vendorField_ = new QLineEdit;
    vendorField_->setAccessibleName(QStringLiteral("取引先"));
    connect(vendorField_, &QLineEdit::textEdited, this, &DocumentDetailView::vendorEdited);
    fields->addRow(QStringLiteral("取引先"), withDot(vendorField_, Field::vendor));
    learnVendorButton_ = new QPushButton(QStringLiteral("次回からこの名前にする"));
    learnVendorButton_->setToolTip(QStringLiteral(
        "読み取った名前を含む取引先を、次回からこの名前で読み取ります（設定の「取引先」に追加されます）"));
    connect(learnVendorButton_, &QPushButton::clicked, this, &DocumentDetailView::learnVendor);
    auto* learnRow = new QHBoxLayout;
    learnRow->addWidget(learnVendorButton_);
    learnRow->addStretch(1);
    fields->addRow(QString(), learnRow);
    learnVendorButton_->hide();

    amountField_ = new QLineEdit;
    amountField_->setAccessibleName(QStringLiteral("金額（円）"));
    amountField_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(amountField_, &QLineEdit::textEdited, this, &DocumentDetailView::amountEdited);
    // Whatever was typed, the field shows the stored amount in the locale's format once it is left.
    connect(amountField_, &QLineEdit::editingFinished, this, [this] {
        if (const DocumentItem* shown = item()) amountField_->setText(formatAmount(shown->fields().amount));
    });
    fields->addRow(QStringLiteral("金額（円）"), withDot(amountField_, Field::amount));

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
    fields->addRow(QStringLiteral("税率別"), rates);

    typePicker_ = new QComboBox;
    typePicker_->setAccessibleName(QStringLiteral("書類種別"));
    for (const DocumentType type : allDocumentTypes) typePicker_->addItem(qs(std::string(displayName(type))));
    connect(typePicker_, &QComboBox::activated, this, [this](int chosen) {
        if (chosen < 0 || chosen >= int(allDocumentTypes.size())) return;
        model_.setDocumentType(itemId_, allDocumentTypes[std::size_t(chosen)]);
    });
    fields->addRow(QStringLiteral("書類種別"), withDot(typePicker_, Field::documentType));

    registrationField_ = new QLineEdit;
    registrationField_->setAccessibleName(QStringLiteral("登録番号"));
    connect(registrationField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.setRegistrationNumber(itemId_,
                                     text.isEmpty() ? std::nullopt : std::optional(text.toStdString()));
    });
    fields->addRow(QStringLiteral("登録番号"), withDot(registrationField_, Field::registrationNumber));
    checkDigitWarning_ = new QWidget;
    auto* warningRow = new QHBoxLayout(checkDigitWarning_);
    warningRow->setContentsMargins(0, 0, 0, 0);
    auto* warningIcon = new QLabel;
    warningIcon->setPixmap(
        detailSymbol(QStringLiteral("dialog-warning"), QStringLiteral("exclamationmark-triangle"))
            .pixmap(12, 12));
    auto* warningText =
        new QLabel(QStringLiteral("法人番号のチェックデジットと一致しません。読み取りミスの可能性があります（"
                                  "個人事業者の番号なら問題ありません）"));
    warningText->setWordWrap(true);
    warningText->setFont(captionFont(warningText));
    setTextColour(warningText, warningOrange);
    warningRow->addWidget(warningIcon, 0, Qt::AlignTop);
    warningRow->addWidget(warningText, 1);
    fields->addRow(QString(), checkDigitWarning_);
    checkDigitWarning_->hide();

    registryStatusRow_ = new QWidget;
    auto* statusRow = new QHBoxLayout(registryStatusRow_);
    statusRow->setContentsMargins(0, 0, 0, 0);
    registryStatusIcon_ = new QLabel;
    registryStatusIcon_->setPixmap(
        detailSymbol(QStringLiteral("dialog-warning"), QStringLiteral("exclamationmark-triangle"))
            .pixmap(12, 12));
    registryStatusLabel_ = new QLabel;
    registryStatusLabel_->setWordWrap(true);
    registryStatusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    registryStatusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    registryStatusLabel_->setFont(captionFont(registryStatusLabel_));
    statusRow->addWidget(registryStatusIcon_, 0, Qt::AlignTop);
    statusRow->addWidget(registryStatusLabel_, 1);
    fields->addRow(QString(), registryStatusRow_);
    registryStatusRow_->hide();
    registryVendorButton_ = new QPushButton;
    registryVendorButton_->setToolTip(QStringLiteral(
        "適格請求書発行事業者の公表データにある名称を取引先にします（手で直したことになります）"));
    connect(registryVendorButton_, &QPushButton::clicked, this, [this] {
        if (!registryVendor_.empty()) model_.setVendor(itemId_, registryVendor_);
    });
    auto* registryVendorRow = new QHBoxLayout;
    registryVendorRow->addWidget(registryVendorButton_);
    registryVendorRow->addStretch(1);
    fields->addRow(QString(), registryVendorRow);
    registryVendorButton_->hide();
    column->addWidget(fieldsSection);

    errorSection_ = section(QString());
    auto* errorColumn = new QVBoxLayout(errorSection_);
    errorLabel_ = new QLabel;
    errorLabel_->setWordWrap(true);
    errorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextColour(errorLabel_, errorRed);
    errorColumn->addWidget(errorLabel_);
    column->addWidget(errorSection_);
    errorSection_->hide();
    column->addStretch(1);
    return form;
}

ConfidenceDot* DocumentDetailView::dot(Field field) const {
    return dots_[index(field)];
}

const DocumentItem* DocumentDetailView::item() const {
    return itemId_.isNull() ? nullptr : model_.item(itemId_);
}

QString DocumentDetailView::newFileName(const FileNameTemplate& nameTemplate, const DocumentItem& item) {
    return qs(nameTemplate.savedName(item.fields(), item.sourcePath()));
}

void DocumentDetailView::showItem(const QUuid& id) {
    if (id != itemId_) {
        itemId_ = id;
        // Another document starts fitted to its page.
        preview_->setCurrentZoom(PreviewZoom::fitPage);
        if (const DocumentItem* shown = item()) preview_->setFile(shown->sourcePath());
    }
    refresh();
}

void DocumentDetailView::refresh() {
    const DocumentItem* shown = item();
    if (!shown) return;
    refreshing_ = true;
    const ReceiptFields& fields = shown->fields();
    const auto& edited = shown->editedFields();

    const auto reasons = shown->reviewReasons();
    QStringList lines;
    for (const auto& reason : reasons) lines << QStringLiteral("・") + qs(reason);
    bannerReasons_->setText(lines.join(QLatin1Char('\n')));
    banner_->setVisible(!reasons.empty());

    QStringList duplicates;
    for (const auto& duplicate : DuplicateMarks::of(model_).forItem(shown->id()))
        duplicates << qs(duplicate.message());
    duplicateLine_->setText(duplicates.join(QLatin1Char('\n')));
    duplicateLine_->setVisible(!duplicates.isEmpty());

    refreshNewName(*shown);
    const bool saved = shown->status() == DocumentItem::Status::saved && shown->outputPath().has_value();
    savedLocationCaption_->setVisible(saved);
    savedLocationLink_->setVisible(saved);
    if (saved) {
        const QString path = QString::fromLocal8Bit(shown->outputPath()->c_str());
        savedLocationLink_->setText(QStringLiteral("<a href=\"reveal\">%1</a>").arg(path.toHtmlEscaped()));
    }

    const QDate pickerDate = shown->dateBinding().date();
    if (dateField_->date() != pickerDate) dateField_->setDate(pickerDate);
    dateMissingLabel_->setVisible(!fields.date.has_value());

    showText(vendorField_, qs(fields.vendor), vendorField_->text().toStdString() == fields.vendor);
    bool typedOk = false;
    const auto typedAmount = parseAmount(amountField_->text(), typedOk);
    showText(amountField_, formatAmount(fields.amount), typedOk && typedAmount == fields.amount);
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
    // The type and the registration number have no level of their own: a type is always there, a number is
    // trusted when present.
    dot(Field::documentType)->setState(FieldConfidence::Level::high, edited.contains(Field::documentType));
    dot(Field::registrationNumber)
        ->setState(fields.registrationNumber ? FieldConfidence::Level::high : FieldConfidence::Level::missing,
                   edited.contains(Field::registrationNumber));

    refreshLearnButton(*shown);
    refreshRegistryStatus(*shown);
    errorSection_->setVisible(shown->errorMessage().has_value());
    errorLabel_->setText(shown->errorMessage() ? qs(*shown->errorMessage()) : QString());
    formScroll_->updateGeometry();
    refreshing_ = false;
}

void DocumentDetailView::refreshNewName(const DocumentItem& shown) {
    newNameLabel_->setText(newFileName(model_.settings().nameTemplate, shown));
}

void DocumentDetailView::refreshLearnButton(const DocumentItem& shown) {
    const auto read = vendorAsRead_.constFind(itemId_);
    const std::string& corrected = shown.fields().vendor;
    bool offer = shown.editedFields().contains(Field::vendor) && read != vendorAsRead_.cend() &&
                 !read->empty() && !corrected.empty() && *read != corrected;
    if (offer) {
        const auto& rules = model_.settings().aliases.rules;
        offer = std::none_of(rules.begin(), rules.end(), [&](const auto& rule) {
            return rule.pattern == *read && rule.canonical == corrected;
        });
    }
    learnVendorButton_->setVisible(offer);
}

void DocumentDetailView::setRegistryLocation(std::filesystem::path location) {
    registryLocation_ = std::move(location);
    registry_.reset();
    registryStamp_ = {};
    refresh();
}

const InvoiceRegistry* DocumentDetailView::registry() {
    std::error_code ec;
    const auto stamp = std::filesystem::last_write_time(registryLocation_, ec);
    if (ec) {
        registry_.reset();
        return nullptr;
    }
    if (!registry_ || stamp != registryStamp_) {
        registryStamp_ = stamp;
        try {
            registry_ = InvoiceRegistry::open(registryLocation_);
        } catch (const RegistryError&) {
            // A register that cannot be read is as good as none here; `tavori registry status` says why.
            registry_.reset();
        }
    }
    return registry_.get();
}

void DocumentDetailView::refreshRegistryStatus(const DocumentItem& shown) {
    const InvoiceRegistry* reg = shown.fields().registrationNumber ? registry() : nullptr;
    std::optional<RegistrationStatus> status;
    if (reg != nullptr) {
        try {
            status = reg->check(shown.fields());
        } catch (const RegistryError&) {
            status.reset();
        }
    }
    registryStatusRow_->setVisible(status.has_value());
    registryVendor_.clear();
    if (status) {
        registryStatusIcon_->setVisible(!status->isReliable());
        registryStatusLabel_->setText(qs(status->message()));
        setTextColour(registryStatusLabel_,
                      status->isReliable() ? palette().color(QPalette::WindowText) : warningOrange);
        const auto& f = shown.fields();
        const auto level = f.confidence.vendor;
        const bool uncertain = f.vendor.empty() || level == FieldConfidence::Level::low ||
                               level == FieldConfidence::Level::missing;
        const std::string suggestion = status->vendorSuggestion();
        if (uncertain && !suggestion.empty() && suggestion != f.vendor &&
            !shown.editedFields().contains(Field::vendor))
            registryVendor_ = suggestion;
    }
    registryVendorButton_->setText(QStringLiteral("取引先を「%1」にする").arg(qs(registryVendor_)));
    registryVendorButton_->setVisible(!registryVendor_.empty());
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
    bool ok = false;
    const auto amount = parseAmount(text, ok);
    if (ok) model_.setAmount(itemId_, amount);
}

void DocumentDetailView::learnVendor() {
    const DocumentItem* shown = item();
    const auto read = vendorAsRead_.constFind(itemId_);
    if (!shown || read == vendorAsRead_.cend()) return;
    AppSettings settings = model_.settings();
    auto& rules = settings.aliases.rules;
    const std::string& corrected = shown->fields().vendor;
    const bool exists = std::any_of(rules.begin(), rules.end(), [&](const auto& rule) {
        return rule.pattern == *read && rule.canonical == corrected;
    });
    if (!exists) rules.push_back({Uuid::random(), *read, corrected});
    model_.setSettings(settings);
    refreshLearnButton(*shown);
}

}  // namespace tavori
