#include "TavoriName/IndexBookSearchWindow.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/IndexBookReader.h"
#include "TavoriKit/saving/RenameService.h"
#include "TavoriName/AppModel.h"
#include "TavoriName/DesktopServices.h"
#include "TavoriName/QtDesktopServices.h"

namespace fs = std::filesystem;

namespace tavori {
namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string utf8(const QString& s) {
    return s.trimmed().toStdString();
}

}  // namespace

IndexBookSearchWindow::IndexBookSearchWindow(AppModel& model, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), desktop_(desktop) {
    setWindowTitle(QStringLiteral("索引簿を検索"));
    resize(820, 560);

    bookLabel_ = new QLabel(this);
    bookLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* chooseBook = new QPushButton(QStringLiteral("別の索引簿…"), this);
    connect(chooseBook, &QPushButton::clicked, this, &IndexBookSearchWindow::chooseBook);
    auto* bookRow = new QHBoxLayout;
    bookRow->addWidget(bookLabel_, 1);
    bookRow->addWidget(chooseBook);

    auto field = [this](const QString& placeholder) {
        auto* edit = new QLineEdit(this);
        edit->setPlaceholderText(placeholder);
        edit->setClearButtonEnabled(true);
        connect(edit, &QLineEdit::textChanged, this, &IndexBookSearchWindow::search);
        return edit;
    };
    from_ = field(QStringLiteral("2024-01-01"));
    to_ = field(QStringLiteral("2024-03-31"));
    min_ = field(QStringLiteral("1000"));
    max_ = field(QStringLiteral("50000"));
    vendor_ = field(QStringLiteral("取引先の一部"));
    registration_ = field(QStringLiteral("T1234567890123"));
    type_ = new QComboBox(this);
    type_->addItem(QStringLiteral("すべて"));
    for (DocumentType t : allDocumentTypes) type_->addItem(text(displayName(t)));
    connect(type_, &QComboBox::currentIndexChanged, this, &IndexBookSearchWindow::search);

    auto range = [this](QLineEdit* a, QLineEdit* b) {
        auto* row = new QHBoxLayout;
        row->addWidget(a);
        row->addWidget(new QLabel(QStringLiteral("〜"), this));
        row->addWidget(b);
        return row;
    };
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("取引年月日"), range(from_, to_));
    form->addRow(QStringLiteral("取引金額"), range(min_, max_));
    form->addRow(QStringLiteral("取引先"), vendor_);
    form->addRow(QStringLiteral("書類種別"), type_);
    form->addRow(QStringLiteral("登録番号"), registration_);

    message_ = new QLabel(this);
    message_->setWordWrap(true);

    results_ = new QStandardItemModel(0, 6, this);
    results_->setHorizontalHeaderLabels({QStringLiteral("連番"), QStringLiteral("取引年月日"),
                                         QStringLiteral("取引金額"), QStringLiteral("取引先"),
                                         QStringLiteral("書類種別"), QStringLiteral("ファイル名")});
    table_ = new QTableView(this);
    table_->setModel(results_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableView::doubleClicked, this, &IndexBookSearchWindow::openSelected);

    open_ = new QPushButton(QStringLiteral("開く"), this);
    reveal_ = new QPushButton(QStringLiteral("ファイルマネージャで表示"), this);
    export_ = new QPushButton(QStringLiteral("結果をCSVに書き出す…"), this);
    connect(open_, &QPushButton::clicked, this, &IndexBookSearchWindow::openSelected);
    connect(reveal_, &QPushButton::clicked, this, &IndexBookSearchWindow::revealSelected);
    connect(export_, &QPushButton::clicked, this, &IndexBookSearchWindow::exportResults);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &IndexBookSearchWindow::updateButtons);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(open_);
    buttons->addWidget(reveal_);
    buttons->addStretch(1);
    buttons->addWidget(export_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bookRow);
    layout->addLayout(form);
    layout->addWidget(message_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    const AppSettings& settings = model_.settings();
    const auto destination = settings.destinationFolder();
    if (destination) {
        setBook(*destination);
    } else {
        bookLabel_->setText(QStringLiteral("保存先フォルダが未設定です。索引簿を選んでください"));
        updateButtons();
    }
}

void IndexBookSearchWindow::chooseBook() {
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("索引簿を選ぶ"),
                                                      QString::fromStdString(book_.parent_path().string()),
                                                      QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
    if (!file.isEmpty()) setBook(fs::path(file.toStdString()));
}

void IndexBookSearchWindow::setBook(const fs::path& target) {
    book_ = IndexBookLibrary::locate(target, model_.settings().indexBookFileName);
    bookLabel_->setText(QStringLiteral("索引簿: ") + text(book_.native()));
    books_.clear();
    try {
        books_.push_back(IndexBookLibrary::read(book_));
    } catch (const IndexBookReadError& e) {
        hits_.clear();
        showHits();
        message_->setText(QString::fromUtf8(e.what()));
        return;
    }
    search();
}

void IndexBookSearchWindow::search() {
    // The same reading of the conditions, and the same messages, as the command line's.
    IndexBookQueryText text;
    text.from = utf8(from_->text());
    text.to = utf8(to_->text());
    text.minAmount = utf8(min_->text());
    text.maxAmount = utf8(max_->text());
    text.vendor = utf8(vendor_->text());
    if (type_->currentIndex() > 0)
        text.documentType =
            displayName(allDocumentTypes[static_cast<std::size_t>(type_->currentIndex() - 1)]);
    text.registrationNumber = utf8(registration_->text());
    const ParsedIndexBookQuery parsed = parseIndexBookQuery(text);
    const IndexBookQuery& query = parsed.query;
    QStringList problems;
    for (const std::string& problem : parsed.problems) problems << QString::fromStdString(problem);

    problems.removeDuplicates();
    hits_ =
        problems.isEmpty() ? IndexBookLibrary::search(books_, query) : std::vector<IndexBookLibrary::Hit>{};
    showHits();
    if (!problems.isEmpty())
        message_->setText(problems.join(QStringLiteral("。")));
    else if (!books_.empty())
        message_->setText(QStringLiteral("%1件見つかりました").arg(hits_.size()));
}

void IndexBookSearchWindow::showHits() {
    results_->removeRows(0, results_->rowCount());
    for (const auto& hit : hits_) {
        const IndexBookEntry& e = hit.entry;
        QList<QStandardItem*> row = {
            new QStandardItem(QString::number(e.sequence)),
            new QStandardItem(e.date ? text(e.date->formatted("yyyy/MM/dd")) : QStringLiteral("—")),
            new QStandardItem(e.amount ? QStringLiteral("¥") + text(FileNameTemplate::grouped(*e.amount))
                                       : QStringLiteral("—")),
            new QStandardItem(text(e.vendor)),
            new QStandardItem(text(displayName(e.documentType))),
            new QStandardItem(text(e.fileName)),
        };
        row[0]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row[2]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (!hit.documentExists) {
            // A booked document that is no longer beside its book: shown, but greyed out.
            for (QStandardItem* cell : row)
                cell->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
            row[5]->setToolTip(QStringLiteral("ファイルが見つかりません"));
        }
        results_->appendRow(row);
    }
    table_->resizeColumnsToContents();
    updateButtons();
}

void IndexBookSearchWindow::updateButtons() {
    const IndexBookLibrary::Hit* hit = selectedHit();
    open_->setEnabled(hit && hit->documentExists);
    reveal_->setEnabled(hit && hit->documentExists);
    export_->setEnabled(!hits_.empty());
}

const IndexBookLibrary::Hit* IndexBookSearchWindow::selectedHit() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.size() != 1) return nullptr;
    const auto row = static_cast<std::size_t>(rows.front().row());
    return row < hits_.size() ? &hits_[row] : nullptr;
}

void IndexBookSearchWindow::openSelected() {
    const IndexBookLibrary::Hit* hit = selectedHit();
    if (!hit || !hit->documentExists) return;
    QDesktopServices::openUrl(QUrl(QtDesktopServices::fileUri(hit->document)));
}

void IndexBookSearchWindow::revealSelected() {
    const IndexBookLibrary::Hit* hit = selectedHit();
    if (hit && hit->documentExists) desktop_.revealInFileManager(hit->document);
}

void IndexBookSearchWindow::exportResults() {
    if (hits_.empty()) return;
    const auto target = desktop_.chooseSaveLocation(
        SaveChoice{QStringLiteral("検索結果.csv"), QStringLiteral("CSV (*.csv)"), QStringLiteral("csv")});
    if (!target) return;
    std::vector<IndexBookEntry> entries;
    for (const auto& hit : hits_) entries.push_back(hit.entry);
    try {
        RenameService::writeIndexBook(entries, *target);
        message_->setText(QStringLiteral("%1件を書き出しました: ").arg(entries.size()) +
                          text(target->native()));
    } catch (const std::exception& e) {
        message_->setText(QString::fromUtf8(e.what()));
    }
}

}  // namespace tavori
