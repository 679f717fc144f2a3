#include "TavoriName/IndexBookSearchWindow.h"

#include <utility>

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

// The hits as table rows, made as the view asks for them: a search that finds 100,000 rows costs nothing
// until they are scrolled to.
class HitTableModel final : public QAbstractTableModel {
  public:
    explicit HitTableModel(QObject* parent) : QAbstractTableModel(parent) {}

    void setHits(const std::vector<IndexBookLibrary::Hit>* hits, QBrush missing) {
        beginResetModel();
        hits_ = hits;
        missing_ = std::move(missing);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !hits_ ? 0 : static_cast<int>(hits_->size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 6; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const QStringList titles = {QStringLiteral("連番"),     QStringLiteral("取引年月日"),
                                           QStringLiteral("取引金額"), QStringLiteral("取引先"),
                                           QStringLiteral("書類種別"), QStringLiteral("ファイル名")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 6)
            return titles[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!hits_ || !index.isValid() || index.row() >= rowCount()) return {};
        const IndexBookLibrary::Hit& hit = (*hits_)[static_cast<std::size_t>(index.row())];
        const IndexBookEntry& e = hit.entry;
        switch (role) {
            case Qt::DisplayRole:
                switch (index.column()) {
                    case 0:
                        return QString::number(e.sequence);
                    case 1:
                        return e.date ? text(e.date->formatted("yyyy/MM/dd")) : QStringLiteral("—");
                    case 2:
                        return e.amount ? QStringLiteral("¥") + text(FileNameTemplate::grouped(*e.amount))
                                        : QStringLiteral("—");
                    case 3:
                        return text(e.vendor);
                    case 4:
                        return text(displayName(e.documentType));
                    default:
                        return text(e.fileName);
                }
            case Qt::TextAlignmentRole:
                if (index.column() == 0 || index.column() == 2)
                    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
                return {};
            // A booked document that is no longer beside its book: shown, but greyed out.
            case Qt::ForegroundRole:
                return hit.documentExists ? QVariant() : QVariant(missing_);
            case Qt::ToolTipRole:
                return !hit.documentExists && index.column() == 5 ? QStringLiteral("ファイルが見つかりません")
                                                                  : QVariant();
            default:
                return {};
        }
    }

  private:
    const std::vector<IndexBookLibrary::Hit>* hits_ = nullptr;
    QBrush missing_;
};

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

    results_ = new HitTableModel(this);
    table_ = new QTableView(this);
    table_->setModel(results_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // Column widths from the first rows only: measuring 100,000 rows would hold the window.
    table_->horizontalHeader()->setResizeContentsPrecision(200);
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
    // Names by which the parts are found from outside (tests); nothing drawn changes.
    const std::pair<QObject*, const char*> names[] = {{from_, "from"},
                                                      {to_, "to"},
                                                      {min_, "min"},
                                                      {max_, "max"},
                                                      {vendor_, "vendor"},
                                                      {type_, "type"},
                                                      {registration_, "registration"},
                                                      {message_, "message"},
                                                      {table_, "hits"},
                                                      {open_, "open"},
                                                      {reveal_, "reveal"},
                                                      {export_, "export"}};
    for (const auto& [part, name] : names) part->setObjectName(QLatin1String(name));

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
    const std::uint64_t generation = ++bookGeneration_;
    ++searchGeneration_;  // a search of the old book is no longer wanted
    ++running_;
    bookLabel_->setText(QStringLiteral("索引簿: ") + text(target.native()));
    message_->setText(QStringLiteral("索引簿を読み込み中…"));
    struct Read {
        fs::path book;
        std::optional<IndexBookLibrary::Book> content;
        QString error;
    };
    model_.io().post(
        this,
        [target, name = model_.settings().indexBookFileName] {
            Read read{IndexBookLibrary::locate(target, name), std::nullopt, {}};
            try {
                read.content = IndexBookLibrary::read(read.book);
            } catch (const IndexBookReadError& e) {
                read.error = QString::fromUtf8(e.what());
            }
            return read;
        },
        [this, generation](Read read) {
            --running_;
            if (generation != bookGeneration_) return;
            book_ = read.book;
            columnsFitted_ = false;
            bookLabel_->setText(QStringLiteral("索引簿: ") + text(book_.native()));
            auto books = std::make_shared<std::vector<IndexBookLibrary::Book>>();
            if (read.content) books->push_back(std::move(*read.content));
            books_ = std::move(books);
            if (!read.content) {
                showHits({});
                message_->setText(read.error);
                emit searched();
                return;
            }
            search();
        });
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
    const std::uint64_t generation = ++searchGeneration_;
    if (!problems.isEmpty() || !books_ || books_->empty()) {
        showHits({});
        if (!problems.isEmpty()) message_->setText(problems.join(QStringLiteral("。")));
        emit searched();
        return;
    }
    ++running_;
    model_.io().post(
        this, [books = books_, query] { return IndexBookLibrary::search(*books, query); },
        [this, generation](std::vector<IndexBookLibrary::Hit> hits) {
            --running_;
            // Typing searches on every key; only the answer to the latest one is shown.
            if (generation != searchGeneration_) return;
            showHits(std::move(hits));
            message_->setText(QStringLiteral("%1件見つかりました").arg(hits_.size()));
            emit searched();
        });
}

void IndexBookSearchWindow::showHits(std::vector<IndexBookLibrary::Hit> hits) {
    std::vector<IndexBookLibrary::Hit> old = std::move(hits_);
    hits_ = std::move(hits);
    results_->setHits(&hits_, palette().brush(QPalette::Disabled, QPalette::Text));
    // Freeing 100,000 hits takes longer than a turn of the event loop may; the worker does it.
    if (!old.empty()) model_.io().post([old = std::move(old)] {});
    // Measured once per book, from its first rows: measuring on every key would cost a turn each time.
    if (!columnsFitted_ && !hits_.empty()) {
        table_->resizeColumnsToContents();
        columnsFitted_ = true;
    }
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
    if (!QDesktopServices::openUrl(QUrl(QtDesktopServices::fileUri(hit->document))))
        message_->setText(
            QStringLiteral("ファイルを開けませんでした（開くアプリケーションが見つかりません）: ") +
            text(hit->document.native()));
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
    entries.reserve(hits_.size());
    for (const auto& hit : hits_) entries.push_back(hit.entry);
    ++running_;
    model_.io().post(
        this,
        [entries = std::move(entries), target = *target]() -> QString {
            try {
                RenameService::writeIndexBook(entries, target);
                return QStringLiteral("%1件を書き出しました: ").arg(entries.size()) + text(target.native());
            } catch (const std::exception& e) {
                return QString::fromUtf8(e.what());
            }
        },
        [this](QString outcome) {
            --running_;
            message_->setText(outcome);
            emit exported();
        });
}

}  // namespace tavori
