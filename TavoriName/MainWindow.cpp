#include "TavoriName/MainWindow.h"

#include <utility>

#include <QAction>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "TavoriName/AppModel.h"
#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/DropPlaceholder.h"
#include "TavoriName/FileDrop.h"
#include "TavoriName/FooterView.h"
#include "TavoriName/Icons.h"
#include "TavoriName/StatusBadge.h"

namespace tavori {

// The dashed outline drawn over the list area while files hover over the window. It lets every mouse event
// through to the widgets below.
class DropOutline final : public QWidget {
  public:
    explicit DropOutline(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        constexpr qreal inset = 6, radius = 12, width = 3, dash = 10;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(Icons::accent(), width);
        // Dash lengths are counted in pen widths.
        pen.setDashPattern({dash / width, dash / width});
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius, radius);
    }
};

namespace {

// Follows the list area's size so that the outline always frames it.
class OutlineFollower final : public QObject {
  public:
    OutlineFollower(QWidget* area, QWidget* outline) : QObject(area), outline_(outline) {
        area->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) outline_->setGeometry(static_cast<QWidget*>(watched)->rect());
        return false;
    }

  private:
    QWidget* outline_;
};

const QString openPanelMessage = QStringLiteral("領収書・請求書のPDFや画像を選んでください");
const QString documentFilter = QStringLiteral(
    "PDF・画像 (*.pdf *.jpg *.jpeg *.png *.heic *.heif *.tif *.tiff *.gif *.bmp *.webp "
    "*.PDF *.JPG *.JPEG *.PNG *.HEIC *.HEIF *.TIF *.TIFF *.GIF *.BMP *.WEBP)");

}  // namespace

MainWindow::MainWindow(AppModel& model, QWidget* parent)
    : QMainWindow(parent),
      model_(model),
      tableModel_(new DocumentTableModel(model, this)),
      splitter_(new QSplitter(Qt::Horizontal, this)),
      listArea_(new QWidget(splitter_)),
      listStack_(new QStackedWidget(listArea_)),
      placeholder_(new DropPlaceholder(listStack_)),
      table_(new QTableView(listStack_)),
      footer_(new FooterView(model, listArea_)),
      outline_(new DropOutline(listArea_)),
      busyTimer_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("タヴォリネーム"));
    setWindowIcon(Icons::application());
    setMinimumSize(900, 560);
    setAcceptDrops(true);

    table_->setModel(tableModel_);
    table_->setItemDelegateForColumn(DocumentTableModel::statusColumn, new StatusBadgeDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideMiddle);
    // Tab leaves the list for the detail pane rather than walking its cells.
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(26);
    QHeaderView* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(DocumentTableModel::statusColumn, QHeaderView::Fixed);
    header->resizeSection(DocumentTableModel::statusColumn, 44);
    header->resizeSection(DocumentTableModel::originalNameColumn, 150);
    header->resizeSection(DocumentTableModel::dateColumn, 90);
    header->resizeSection(DocumentTableModel::vendorColumn, 120);
    header->setSectionResizeMode(DocumentTableModel::amountColumn, QHeaderView::Fixed);
    header->resizeSection(DocumentTableModel::amountColumn, 80);
    header->setStretchLastSection(true);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);

    listStack_->addWidget(placeholder_);
    listStack_->addWidget(table_);
    auto* listLayout = new QVBoxLayout(listArea_);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    listLayout->addWidget(listStack_, 1);
    listLayout->addWidget(footer_);
    listArea_->setMinimumWidth(520);
    new OutlineFollower(listArea_, outline_);

    splitter_->addWidget(listArea_);
    splitter_->setChildrenCollapsible(false);
    splitter_->setStretchFactor(0, 1);
    setDetailWidget(new QWidget);
    setCentralWidget(splitter_);
    resize(1100, 680);

    buildToolbar();
    buildContextMenu();
    // Names by which the parts are found from outside (tests); nothing drawn changes.
    const std::pair<QObject*, const char*> names[] = {{tableModel_, "documents"},
                                                      {table_, "documentList"},
                                                      {placeholder_, "placeholder"},
                                                      {outline_, "dropOutline"},
                                                      {add_, "add"},
                                                      {reanalyze_, "reanalyze"},
                                                      {clearSaved_, "clearSaved"}};
    for (const auto& [part, name] : names) part->setObjectName(QLatin1String(name));

    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::pushSelectionToModel);
    connect(&model_, &AppModel::selectionChanged, this, &MainWindow::pullSelectionFromModel);
    connect(&model_, &AppModel::selectionChanged, this, &MainWindow::updateContextActions);
    connect(&model_, &AppModel::itemsInserted, this, &MainWindow::showListOrPlaceholder);
    connect(&model_, &AppModel::itemsRemoved, this, &MainWindow::showListOrPlaceholder);
    connect(&model_, &AppModel::itemsInserted, this, &MainWindow::scheduleRefresh);
    connect(&model_, &AppModel::itemsRemoved, this, &MainWindow::scheduleRefresh);
    connect(&model_, &AppModel::itemChanged, this, &MainWindow::scheduleRefresh);
    connect(&model_, &AppModel::alertMessageChanged, this, &MainWindow::showAlertIfNeeded);
    connect(busyTimer_, &QTimer::timeout, this, [this] {
        const int x = table_->columnViewportPosition(DocumentTableModel::statusColumn);
        table_->viewport()->update(x, 0, table_->columnWidth(DocumentTableModel::statusColumn),
                                   table_->viewport()->height());
    });
    busyTimer_->setInterval(80);
    refresh();
    showAlertIfNeeded();
}

void MainWindow::setDetailWidget(QWidget* detail) {
    if (detail_ == detail) return;
    QWidget* old = detail_;
    detail_ = detail;
    detail_->setMinimumWidth(360);
    detail_->setMaximumWidth(560);
    if (old) {
        splitter_->replaceWidget(1, detail_);
        old->deleteLater();
    } else {
        splitter_->addWidget(detail_);
    }
    splitter_->setStretchFactor(1, 0);
    splitter_->setSizes({std::max(520, width() - 420), 420});
    chainFocus();
}

void MainWindow::chainFocus() {
    // Tab goes list → preview → the form's fields → footer, although the footer was built before the pane.
    const auto focusable = [](QWidget* root) {
        std::vector<QWidget*> chain;
        for (QWidget* w = root->nextInFocusChain(); w && w != root; w = w->nextInFocusChain()) {
            if (!root->isAncestorOf(w)) continue;
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) chain.push_back(w);
            if (chain.size() > 200) break;
        }
        return chain;
    };
    std::vector<QWidget*> order{table_};
    for (QWidget* w : focusable(detail_)) order.push_back(w);
    for (QWidget* w : focusable(footer_)) order.push_back(w);
    for (std::size_t k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
}

void MainWindow::fitAmountColumn() {
    // Money is never cut: the column is as wide as its widest amount.
    const QFontMetrics metrics(table_->font());
    int widest =
        metrics.horizontalAdvance(
            tableModel_->headerData(DocumentTableModel::amountColumn, Qt::Horizontal, Qt::DisplayRole)
                .toString()) +
        24;
    for (int row = 0; row < tableModel_->rowCount(); ++row)
        widest = std::max(widest,
                          metrics.horizontalAdvance(
                              tableModel_->index(row, DocumentTableModel::amountColumn).data().toString()) +
                              16);
    QHeaderView* header = table_->horizontalHeader();
    if (header->sectionSize(DocumentTableModel::amountColumn) != widest)
        header->resizeSection(DocumentTableModel::amountColumn, widest);
}

QList<QAction*> MainWindow::contextActions() const {
    return {confirm_, analyzeAgain_, reveal_, divider_, removeFromList_};
}

void MainWindow::buildToolbar() {
    QToolBar* toolbar = addToolBar(QStringLiteral("ツールバー"));
    toolbar->setObjectName(QStringLiteral("mainToolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);

    const QColor tint = palette().color(QPalette::ButtonText);
    add_ = toolbar->addAction(Icons::themed(Symbol::plus, tint), QStringLiteral("追加"));
    add_->setToolTip(QStringLiteral("領収書・請求書のPDFや画像を追加"));
    connect(add_, &QAction::triggered, this, &MainWindow::chooseFilesToAdd);
    // The panel picks files or folders, not both: folders have an entry of their own under 追加.
    addFolders_ = new QAction(QStringLiteral("フォルダを追加…"), this);
    addFolders_->setToolTip(QStringLiteral("フォルダの中のPDFや画像をまとめて追加"));
    connect(addFolders_, &QAction::triggered, this, &MainWindow::chooseFoldersToAdd);
    auto* addMenu = new QMenu(this);
    QAction* addFiles = addMenu->addAction(QStringLiteral("ファイルを追加…"));
    connect(addFiles, &QAction::triggered, this, &MainWindow::chooseFilesToAdd);
    addMenu->addAction(addFolders_);
    add_->setMenu(addMenu);
    if (auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(add_)))
        button->setPopupMode(QToolButton::MenuButtonPopup);

    reanalyze_ = toolbar->addAction(Icons::themed(Symbol::arrowClockwise, tint), QStringLiteral("再解析"));
    connect(reanalyze_, &QAction::triggered, this, [this] {
        std::vector<QUuid> ids;
        for (int row = 0; row < model_.itemCount(); ++row)
            if (model_.itemAt(row).status() != DocumentItem::Status::saved)
                ids.push_back(model_.itemAt(row).id());
        for (const QUuid& id : ids) model_.analyze(id);
    });

    clearSaved_ =
        toolbar->addAction(Icons::themed(Symbol::checkmarkCircle, tint), QStringLiteral("保存済みを消す"));
    connect(clearSaved_, &QAction::triggered, this, [this] { model_.clearSaved(); });
}

void MainWindow::buildContextMenu() {
    confirm_ = new QAction(QStringLiteral("このままでOK（確認済みにする）"), this);
    connect(confirm_, &QAction::triggered, this, [this] { model_.confirm(model_.selection()); });
    analyzeAgain_ = new QAction(QStringLiteral("もう一度解析"), this);
    connect(analyzeAgain_, &QAction::triggered, this, [this] {
        const QSet<QUuid> ids = model_.selection();
        for (const QUuid& id : ids) model_.analyze(id);
    });
    reveal_ = new QAction(QStringLiteral("ファイルマネージャで表示"), this);
    connect(reveal_, &QAction::triggered, this, [this] {
        const QSet<QUuid> ids = model_.selection();
        for (const QUuid& id : ids) model_.revealInFileManager(id);
    });
    divider_ = new QAction(this);
    divider_->setSeparator(true);
    removeFromList_ = new QAction(QStringLiteral("リストから外す"), this);
    connect(removeFromList_, &QAction::triggered, this, [this] { model_.remove(model_.selection()); });

    // Delete acts on the list only (see eventFilter), never on a text field that has the focus elsewhere;
    // Ctrl+A anywhere in the list area selects every row.
    table_->installEventFilter(this);
    auto* selectAll = new QAction(this);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(selectAll, &QAction::triggered, table_, &QTableView::selectAll);
    listArea_->addAction(selectAll);

    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const QModelIndex index = table_->indexAt(position);
        if (!index.isValid()) return;
        // A right click outside the selection acts on the row under the pointer, as file managers do.
        if (!table_->selectionModel()->isRowSelected(index.row(), {}))
            table_->selectionModel()->select(index,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        updateContextActions();
        QMenu menu(this);
        menu.addActions(contextActions());
        menu.exec(table_->viewport()->mapToGlobal(position));
    });
}

void MainWindow::chooseFilesToAdd() {
    auto* panel = new QFileDialog(this, openPanelMessage);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setNameFilter(documentFilter);
    connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        std::vector<std::filesystem::path> paths;
        for (const QString& file : files) paths.emplace_back(QFile::encodeName(file).toStdString());
        addFiles(paths);
    });
    panel->open();
}

void MainWindow::chooseFoldersToAdd() {
    auto* panel =
        new QFileDialog(this, QStringLiteral("領収書・請求書のPDFや画像が入ったフォルダを選んでください"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("追加"));
    connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList& folders) {
        std::vector<std::filesystem::path> paths;
        for (const QString& folder : folders) paths.emplace_back(QFile::encodeName(folder).toStdString());
        addFiles(paths);
    });
    panel->open();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) &&
            key->modifiers() == Qt::NoModifier) {
            if (!model_.selection().isEmpty()) model_.remove(model_.selection());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setDropTargeted(bool targeted) {
    if (dropTargeted_ == targeted) return;
    dropTargeted_ = targeted;
    placeholder_->setTargeted(targeted);
    outline_->setVisible(targeted);
    if (targeted) outline_->raise();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!FileDrop::canAccept(*event->mimeData())) return;
    event->acceptProposedAction();
    setDropTargeted(true);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (FileDrop::canAccept(*event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dragLeaveEvent(QDragLeaveEvent*) {
    setDropTargeted(false);
}

void MainWindow::dropEvent(QDropEvent* event) {
    setDropTargeted(false);
    const auto files = FileDrop::files(*event->mimeData());
    if (!files) return;
    event->acceptProposedAction();
    if (!files->empty()) addFiles(*files);
}

void MainWindow::addFiles(const std::vector<std::filesystem::path>& paths) {
    const bool feeding = !pendingFiles_.empty();
    for (auto& path : AppModel::expand(paths)) pendingFiles_.push_back(std::move(path));
    if (!feeding) feedPendingFiles();
}

void MainWindow::feedPendingFiles() {
    // A thousand files at once would hold the event loop for a noticeable moment; a few dozen per turn keep
    // the window answering while the list fills, in the same order.
    constexpr std::size_t filesPerTurn = 64;
    const std::size_t count = std::min(filesPerTurn, pendingFiles_.size());
    std::vector<std::filesystem::path> batch(std::make_move_iterator(pendingFiles_.begin()),
                                             std::make_move_iterator(pendingFiles_.begin() + count));
    pendingFiles_.erase(pendingFiles_.begin(), pendingFiles_.begin() + count);
    model_.addFiles(batch);
    if (!pendingFiles_.empty()) QTimer::singleShot(0, this, &MainWindow::feedPendingFiles);
}

void MainWindow::scheduleRefresh() {
    // Reading a thousand files changes rows a thousand times; counting once per burst keeps the loop free.
    if (refreshScheduled_) return;
    refreshScheduled_ = true;
    QTimer::singleShot(0, this, &MainWindow::refresh);
}

void MainWindow::showListOrPlaceholder() {
    listStack_->setCurrentWidget(model_.itemCount() == 0 ? static_cast<QWidget*>(placeholder_) : table_);
}

void MainWindow::refresh() {
    refreshScheduled_ = false;
    const int count = model_.itemCount();
    bool anySaved = false;
    bool anyBusy = false;
    for (int row = 0; row < count; ++row) {
        const DocumentItem::Status status = model_.itemAt(row).status();
        anySaved = anySaved || status == DocumentItem::Status::saved;
        anyBusy = anyBusy || status == DocumentItem::Status::analyzing;
    }
    showListOrPlaceholder();
    reanalyze_->setEnabled(count > 0);
    clearSaved_->setEnabled(anySaved);
    footer_->refreshCounts();
    fitAmountColumn();
    updateContextActions();
    if (anyBusy && !busyTimer_->isActive()) busyTimer_->start();
    if (!anyBusy) busyTimer_->stop();
}

void MainWindow::showAlertIfNeeded() {
    const auto& message = model_.alertMessage();
    if (!message) {
        if (alert_) alert_->close();
        return;
    }
    if (alert_) {
        alert_->setText(QString::fromStdString(*message));
        return;
    }
    alert_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("タヴォリネーム"),
                             QString::fromStdString(*message), QMessageBox::Ok, this);
    alert_->setObjectName(QStringLiteral("alert"));
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    alert_->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    connect(alert_, &QMessageBox::finished, this, [this] { model_.clearAlertMessage(); });
    // open() keeps the event loop running while the alert is up.
    alert_->open();
}

void MainWindow::updateContextActions() {
    const QSet<QUuid>& ids = model_.selection();
    bool anyReady = false;
    for (const QUuid& id : ids)
        if (const DocumentItem* item = model_.item(id); item && item->status() == DocumentItem::Status::ready)
            anyReady = true;
    confirm_->setEnabled(anyReady);
    for (QAction* action : {analyzeAgain_, reveal_, removeFromList_}) action->setEnabled(!ids.isEmpty());
}

void MainWindow::pushSelectionToModel() {
    if (syncingSelection_) return;
    QSet<QUuid> ids;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        ids.insert(tableModel_->idAt(index.row()));
    syncingSelection_ = true;
    model_.setSelection(ids);
    syncingSelection_ = false;
}

void MainWindow::pullSelectionFromModel() {
    if (syncingSelection_) return;
    const QSet<QUuid>& ids = model_.selection();
    QItemSelection selection;
    int runStart = -1;
    const int count = model_.itemCount();
    const int lastColumn = DocumentTableModel::columnCount_ - 1;
    for (int row = 0; row <= count; ++row) {
        const bool selected = row < count && ids.contains(model_.itemAt(row).id());
        if (selected && runStart < 0) runStart = row;
        if (!selected && runStart >= 0) {
            selection.select(tableModel_->index(runStart, 0), tableModel_->index(row - 1, lastColumn));
            runStart = -1;
        }
    }
    syncingSelection_ = true;
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncingSelection_ = false;
}

}  // namespace tavori
