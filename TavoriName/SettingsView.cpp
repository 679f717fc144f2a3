#include "TavoriName/SettingsView.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "TavoriName/AppModel.h"
#include "TavoriName/DetailSymbols.h"

namespace tavori {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* caption(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

// Replaces a line edit's text only when it differs, so that typing is not disturbed.
void showText(QLineEdit* field, const std::string& text) {
    const QString value = qs(text);
    if (field->text() != value) field->setText(value);
}

QString vendorLengthText(int value) {
    return QStringLiteral("取引先名の最大文字数: %1").arg(value);
}

}  // namespace

const ReceiptFields& SettingsView::sampleRecord() {
    static const ReceiptFields sample = [] {
        ReceiptFields fields;
        fields.date = DateComponentsValue{2026, 3, 14};
        fields.vendor = "セブンイレブン";
        fields.amount = 788;
        fields.documentType = DocumentType::receipt;
        fields.registrationNumber = "T3120001023456";
        return fields;
    }();
    return sample;
}

SettingsView::SettingsView(QWidget* parent) : QTabWidget(parent) {
    setFixedSize(520, 400);
    addTab(makeNameTab(), detailSymbol(QStringLiteral("format-text-bold"), QStringLiteral("textformat")),
           QStringLiteral("ファイル名"));
    addTab(makeVendorTab(),
           detailSymbol(QStringLiteral("x-office-address-book"), QStringLiteral("building-2")),
           QStringLiteral("取引先"));
    addTab(makeInboxTab(), detailSymbol(QStringLiteral("folder-download"), QStringLiteral("tray-arrow-down")),
           QStringLiteral("受信フォルダ"));
    // Names by which the parts are found from outside (tests); nothing drawn changes.
    const std::pair<QObject*, const char*> names[] = {{templateField_, "template"},
                                                      {dateFormatField_, "dateFormat"},
                                                      {amountStylePicker_, "amountStyle"},
                                                      {vendorLengthStepper_, "vendorLength"},
                                                      {vendorLengthLabel_, "vendorLengthText"},
                                                      {indexBookToggle_, "indexBook"},
                                                      {indexBookNameField_, "indexBookName"},
                                                      {previewLabel_, "preview"},
                                                      {recipientField_, "recipient"},
                                                      {stripSuffixToggle_, "stripSuffix"},
                                                      {addRuleButton_, "addRule"},
                                                      {inboxFolderLabel_, "inbox"},
                                                      {chooseInboxButton_, "chooseInbox"},
                                                      {inboxOffButton_, "inboxOff"},
                                                      {autoSaveToggle_, "autoSave"}};
    for (const auto& [part, name] : names) part->setObjectName(QLatin1String(name));
    showValues();
}

SettingsView::SettingsView(AppModel& model, QWidget* parent) : SettingsView(parent) {
    setSettings(model.settings());
    connect(this, &SettingsView::settingsEdited, &model, &AppModel::setSettings);
    connect(this, &SettingsView::chooseInboxRequested, &model, &AppModel::chooseInboxFolder);
    connect(&model, &AppModel::settingsChanged, this, [this, &model] { setSettings(model.settings()); });
}

QWidget* SettingsView::makeNameTab() {
    auto* tab = new QWidget;
    auto* form = new QFormLayout(tab);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    templateField_ = new QLineEdit;
    connect(templateField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        settings_.nameTemplate.templateText = text.toStdString();
        edited();
    });
    form->addRow(QStringLiteral("テンプレート"), templateField_);
    form->addRow(QString(), caption(QStringLiteral("使える項目: {date} {vendor} {amount} {type} {regno}")));

    dateFormatField_ = new QLineEdit;
    connect(dateFormatField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        settings_.nameTemplate.dateFormat = text.toStdString();
        edited();
    });
    form->addRow(QStringLiteral("日付の形式"), dateFormatField_);
    form->addRow(QString(), caption(QStringLiteral("例: yyyyMMdd → 20260314、yyyy-MM-dd → 2026-03-14")));

    amountStylePicker_ = new QComboBox;
    for (const auto style : allAmountStyles) amountStylePicker_->addItem(qs(std::string(rawValue(style))));
    connect(amountStylePicker_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= int(allAmountStyles.size())) return;
        settings_.nameTemplate.amountStyle = allAmountStyles[std::size_t(index)];
        edited();
    });
    form->addRow(QStringLiteral("金額の形式"), amountStylePicker_);

    vendorLengthLabel_ = new QLabel;
    vendorLengthStepper_ = new QSpinBox;
    vendorLengthStepper_->setRange(minVendorLength, maxVendorLength);
    vendorLengthStepper_->setSingleStep(1);
    connect(vendorLengthStepper_, &QSpinBox::valueChanged, this, [this](int value) {
        vendorLengthLabel_->setText(vendorLengthText(value));
        if (showing_) return;
        settings_.nameTemplate.maxVendorLength = value;
        edited();
    });
    form->addRow(vendorLengthLabel_, vendorLengthStepper_);

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    form->addRow(divider);

    indexBookToggle_ = new QCheckBox(QStringLiteral("保存時に索引簿CSVを自動で追記する"));
    connect(indexBookToggle_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        settings_.writeIndexBook = on;
        edited();
    });
    form->addRow(indexBookToggle_);

    indexBookNameField_ = new QLineEdit;
    connect(indexBookNameField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        settings_.indexBookFileName = text.toStdString();
        edited();
    });
    form->addRow(QStringLiteral("索引簿のファイル名"), indexBookNameField_);

    taxColumnsToggle_ = new QCheckBox(QStringLiteral("新しい索引簿に税率別の金額の列を加える（備考の後）"));
    connect(taxColumnsToggle_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        settings_.indexBookTaxColumns = on;
        edited();
    });
    form->addRow(taxColumnsToggle_);

    previewLabel_ = new QLabel;
    previewLabel_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    previewLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    previewLabel_->setWordWrap(true);
    form->addRow(QStringLiteral("プレビュー"), previewLabel_);
    return tab;
}

QWidget* SettingsView::makeVendorTab() {
    auto* tab = new QWidget;
    auto* column = new QVBoxLayout(tab);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    recipientField_ = new QLineEdit;
    connect(recipientField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        settings_.recipientName = text.toStdString();
        edited();
    });
    form->addRow(QStringLiteral("自分の名前・屋号・会社名"), recipientField_);
    form->addRow(caption(
        QStringLiteral("宛名として書かれた自分の名前を、取引先と間違えないようにするために使います。")));
    stripSuffixToggle_ = new QCheckBox(QStringLiteral("「株式会社」などの法人格を取引先名から外す"));
    connect(stripSuffixToggle_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        settings_.aliases.stripCorporateSuffix = on;
        edited();
    });
    form->addRow(stripSuffixToggle_);
    column->addLayout(form);

    auto* rules = new QGroupBox(QStringLiteral("表記ゆれの統一ルール"));
    auto* rulesColumn = new QVBoxLayout(rules);
    rulesColumn->addWidget(caption(QStringLiteral("左の文字を含む取引先名は、右の名前に置き換えます。")));
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* rowsHost = new QWidget;
    rulesLayout_ = new QVBoxLayout(rowsHost);
    rulesLayout_->setContentsMargins(0, 0, 0, 0);
    rulesLayout_->addStretch(1);
    scroll->setWidget(rowsHost);
    rulesColumn->addWidget(scroll, 1);
    addRuleButton_ = new QPushButton(QStringLiteral("ルールを追加"));
    connect(addRuleButton_, &QPushButton::clicked, this, &SettingsView::addRule);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(addRuleButton_);
    buttonRow->addStretch(1);
    rulesColumn->addLayout(buttonRow);
    column->addWidget(rules, 1);

    auto* vendors = new QGroupBox(QStringLiteral("覚えた取引先"));
    auto* vendorsColumn = new QVBoxLayout(vendors);
    vendorsColumn->addWidget(caption(QStringLiteral(
        "登録番号か電話番号が同じ書類は、次回からこの名前で読み取ります（「次回からこの名前にする」"
        "や「このままでOK」で覚えます）。")));
    auto* vendorScroll = new QScrollArea;
    vendorScroll->setWidgetResizable(true);
    vendorScroll->setFrameShape(QFrame::NoFrame);
    auto* vendorsHost = new QWidget;
    vendorsLayout_ = new QVBoxLayout(vendorsHost);
    vendorsLayout_->setContentsMargins(0, 0, 0, 0);
    vendorsLayout_->addStretch(1);
    vendorScroll->setWidget(vendorsHost);
    vendorsColumn->addWidget(vendorScroll, 1);
    column->addWidget(vendors, 1);
    return tab;
}

void SettingsView::setSettings(const AppSettings& settings) {
    if (settings == settings_) return;
    const bool sameRules = settings.aliases.rules.size() == settings_.aliases.rules.size() &&
                           std::equal(settings.aliases.rules.begin(), settings.aliases.rules.end(),
                                      settings_.aliases.rules.begin(),
                                      [](const auto& a, const auto& b) { return a.id == b.id; });
    const bool sameVendors = settings.vendors == settings_.vendors;
    settings_ = settings;
    if (!sameRules) rebuildRuleRows();
    if (!sameVendors) rebuildVendorRows();
    showValues();
}

void SettingsView::showValues() {
    showing_ = true;
    const FileNameTemplate& naming = settings_.nameTemplate;
    showText(templateField_, naming.templateText);
    showText(dateFormatField_, naming.dateFormat);
    const auto style = std::find(allAmountStyles.begin(), allAmountStyles.end(), naming.amountStyle);
    amountStylePicker_->setCurrentIndex(int(style - allAmountStyles.begin()));
    // A stored length outside the offered range is kept as stored until the user moves the stepper.
    vendorLengthStepper_->setValue(
        int(std::clamp<std::int64_t>(naming.maxVendorLength, minVendorLength, maxVendorLength)));
    vendorLengthLabel_->setText(vendorLengthText(int(naming.maxVendorLength)));
    indexBookToggle_->setChecked(settings_.writeIndexBook);
    taxColumnsToggle_->setChecked(settings_.indexBookTaxColumns);
    showText(indexBookNameField_, settings_.indexBookFileName);
    previewLabel_->setText(qs(naming.render(sampleRecord())));
    showText(recipientField_, settings_.recipientName);
    stripSuffixToggle_->setChecked(settings_.aliases.stripCorporateSuffix);
    for (const RuleRow& row : ruleRows_) {
        const auto rule = std::find_if(settings_.aliases.rules.begin(), settings_.aliases.rules.end(),
                                       [&](const auto& r) { return r.id == row.id; });
        if (rule == settings_.aliases.rules.end()) continue;
        showText(row.pattern, rule->pattern);
        showText(row.canonical, rule->canonical);
    }
    showInbox();
    showing_ = false;
}

void SettingsView::rebuildRuleRows() {
    for (RuleRow& row : ruleRows_) delete row.row;
    ruleRows_.clear();
    for (const auto& rule : settings_.aliases.rules) {
        RuleRow row;
        row.id = rule.id;
        row.row = new QWidget;
        row.row->setObjectName(QStringLiteral("rule"));
        auto* line = new QHBoxLayout(row.row);
        line->setContentsMargins(0, 0, 0, 0);
        row.pattern = new QLineEdit;
        row.pattern->setObjectName(QStringLiteral("pattern"));
        row.pattern->setPlaceholderText(QStringLiteral("含む文字"));
        row.pattern->setAccessibleName(QStringLiteral("含む文字"));
        auto* arrow = new QLabel;
        arrow->setPixmap(
            detailSymbol(QStringLiteral("go-next"), QStringLiteral("arrow-right")).pixmap(14, 14));
        row.canonical = new QLineEdit;
        row.canonical->setObjectName(QStringLiteral("canonical"));
        row.canonical->setPlaceholderText(QStringLiteral("統一後の名前"));
        row.canonical->setAccessibleName(QStringLiteral("統一後の名前"));
        row.remove = new QToolButton;
        row.remove->setObjectName(QStringLiteral("remove"));
        row.remove->setAutoRaise(true);
        row.remove->setIcon(detailSymbol(QStringLiteral("list-remove"), QStringLiteral("minus-circle")));
        row.remove->setToolTip(QStringLiteral("このルールを削除"));
        line->addWidget(row.pattern, 1);
        line->addWidget(arrow);
        line->addWidget(row.canonical, 1);
        line->addWidget(row.remove);
        const Uuid id = rule.id;
        auto findRule = [this, id]() -> VendorAliasDictionary::Rule* {
            auto& rules = settings_.aliases.rules;
            const auto it =
                std::find_if(rules.begin(), rules.end(), [&](const auto& r) { return r.id == id; });
            return it == rules.end() ? nullptr : &*it;
        };
        connect(row.pattern, &QLineEdit::textEdited, this, [this, findRule](const QString& text) {
            if (auto* rule = findRule()) {
                rule->pattern = text.toStdString();
                edited();
            }
        });
        connect(row.canonical, &QLineEdit::textEdited, this, [this, findRule](const QString& text) {
            if (auto* rule = findRule()) {
                rule->canonical = text.toStdString();
                edited();
            }
        });
        // Queued: the button must not be deleted inside its own click.
        connect(
            row.remove, &QToolButton::clicked, this, [this, id] { removeRule(id); }, Qt::QueuedConnection);
        rulesLayout_->insertWidget(rulesLayout_->count() - 1, row.row);
        ruleRows_.push_back(row);
    }
}

void SettingsView::rebuildVendorRows() {
    for (VendorRow& row : vendorRows_) delete row.row;
    vendorRows_.clear();
    for (const auto& entry : settings_.vendors.entries) {
        VendorRow row;
        row.entry = entry;
        row.row = new QWidget;
        row.row->setObjectName(QStringLiteral("vendor"));
        auto* line = new QHBoxLayout(row.row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* numberLabel = new QLabel(qs(VendorMemory::describe(entry)));
        numberLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* arrow = new QLabel;
        arrow->setPixmap(
            detailSymbol(QStringLiteral("go-next"), QStringLiteral("arrow-right")).pixmap(14, 14));
        auto* name = new QLabel(qs(entry.name));
        name->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row.remove = new QToolButton;
        row.remove->setObjectName(QStringLiteral("remove"));
        row.remove->setAutoRaise(true);
        row.remove->setIcon(detailSymbol(QStringLiteral("list-remove"), QStringLiteral("minus-circle")));
        row.remove->setToolTip(QStringLiteral("この取引先を忘れる"));
        line->addWidget(numberLabel, 1);
        line->addWidget(arrow);
        line->addWidget(name, 1);
        line->addWidget(row.remove);
        // Queued: the button must not be deleted inside its own click.
        connect(
            row.remove, &QToolButton::clicked, this, [this, entry] { forgetVendor(entry); },
            Qt::QueuedConnection);
        vendorsLayout_->insertWidget(vendorsLayout_->count() - 1, row.row);
        vendorRows_.push_back(row);
    }
}

void SettingsView::forgetVendor(const VendorMemory::Entry& entry) {
    auto& entries = settings_.vendors.entries;
    const auto before = entries.size();
    std::erase(entries, entry);
    if (entries.size() == before) return;
    rebuildVendorRows();
    edited();
}

void SettingsView::edited() {
    previewLabel_->setText(qs(settings_.nameTemplate.render(sampleRecord())));
    emit settingsEdited(settings_);
}

void SettingsView::addRule() {
    settings_.aliases.rules.push_back({Uuid::random(), {}, {}});
    rebuildRuleRows();
    showValues();
    if (!ruleRows_.empty()) ruleRows_.back().pattern->setFocus();
    edited();
}

void SettingsView::removeRule(const Uuid& id) {
    auto& rules = settings_.aliases.rules;
    const auto before = rules.size();
    std::erase_if(rules, [&](const auto& rule) { return rule.id == id; });
    if (rules.size() == before) return;
    rebuildRuleRows();
    showValues();
    edited();
}

QWidget* SettingsView::makeInboxTab() {
    auto* tab = new QWidget;
    auto* form = new QFormLayout(tab);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    inboxFolderLabel_ = new QLabel;
    inboxFolderLabel_->setWordWrap(true);
    inboxFolderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("受信フォルダ"), inboxFolderLabel_);
    chooseInboxButton_ = new QPushButton(QStringLiteral("フォルダを選択…"));
    connect(chooseInboxButton_, &QPushButton::clicked, this, &SettingsView::chooseInboxRequested);
    inboxOffButton_ = new QPushButton(QStringLiteral("オフにする"));
    connect(inboxOffButton_, &QPushButton::clicked, this, [this] {
        settings_.inbox.reset();
        showInbox();
        edited();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chooseInboxButton_);
    buttons->addWidget(inboxOffButton_);
    buttons->addStretch(1);
    form->addRow(QString(), buttons);
    form->addRow(caption(QStringLiteral(
        "スキャナーやスマートフォンのアプリがファイルを置くフォルダです。ウィンドウを開いている間、ここ"
        "（サブフォルダも）に届いたPDFや画像は、書き込みが終わってから一覧に追加され、読み取られます。")));

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    form->addRow(divider);

    autoSaveToggle_ = new QCheckBox(QStringLiteral("確認不要なものは自動で保存"));
    connect(autoSaveToggle_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        settings_.autoSaveConfident = on;
        edited();
    });
    form->addRow(autoSaveToggle_);
    form->addRow(caption(QStringLiteral(
        "受信フォルダから読み取ったもののうち確認の必要がないものを、メイン画面の「方法」と「保存先」で"
        "すぐに保存します。確認が必要なものは一覧で待ちます。")));
    return tab;
}

void SettingsView::showInbox() {
    const auto folder = settings_.inboxFolder();
    if (folder)
        inboxFolderLabel_->setText(QString::fromStdString(folder->native()));
    else if (settings_.inbox)
        inboxFolderLabel_->setText(QStringLiteral("フォルダが見つかりません"));
    else
        inboxFolderLabel_->setText(QStringLiteral("オフ（監視しません）"));
    inboxOffButton_->setEnabled(settings_.inbox.has_value());
    autoSaveToggle_->setChecked(settings_.autoSaveConfident);
}

}  // namespace tavori
