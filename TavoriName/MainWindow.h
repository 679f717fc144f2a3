#pragma once

#include <deque>
#include <filesystem>
#include <vector>

#include <QMainWindow>
#include <QPointer>

class QAction;
class QMessageBox;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTimer;

namespace tavori {

class AppModel;
class DocumentTableModel;
class DropOutline;
class DropPlaceholder;
class FooterView;

// The window the user works in: the document list (or the drop placeholder) with the footer on the left, the
// selected document's detail on the right, the toolbar above. It reads the app model and calls its
// operations; the only state of its own is whether a drag with files hovers over it.
class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(AppModel& model, QWidget* parent = nullptr);

    // The detail pane takes the right side of the split; the window owns it from then on.
    void setDetailWidget(QWidget* detail);
    QWidget* detailWidget() const { return detail_; }

    // Adds files and folders as a drop does: folders expanded, then handed to the model a few dozen per
    // event-loop turn, in order.
    void addFiles(const std::vector<std::filesystem::path>& paths);

    // The open-files panel; the chosen files go to the model. It does not wait for the user.
    void chooseFilesToAdd();
    // The same for folders: each one's supported files are added.
    void chooseFoldersToAdd();

    FooterView* footer() const { return footer_; }
    QAction* addFoldersAction() const { return addFolders_; }
    // The table's context-menu entries, in menu order (the divider is a separator action).
    QList<QAction*> contextActions() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void feedPendingFiles();
    void buildToolbar();
    void buildContextMenu();
    void setDropTargeted(bool targeted);
    void scheduleRefresh();
    void refresh();
    void showListOrPlaceholder();
    void showAlertIfNeeded();
    void updateContextActions();
    void pushSelectionToModel();
    void pullSelectionFromModel();
    void updateBusyTimer();
    void fitAmountColumn();
    void chainFocus();

    AppModel& model_;
    DocumentTableModel* tableModel_;
    QSplitter* splitter_;
    QWidget* listArea_;
    QStackedWidget* listStack_;
    DropPlaceholder* placeholder_;
    QTableView* table_;
    FooterView* footer_;
    DropOutline* outline_;
    QWidget* detail_ = nullptr;
    QAction* add_ = nullptr;
    QAction* addFolders_ = nullptr;
    QAction* reanalyze_ = nullptr;
    QAction* clearSaved_ = nullptr;
    QAction* confirm_ = nullptr;
    QAction* analyzeAgain_ = nullptr;
    QAction* reveal_ = nullptr;
    QAction* divider_ = nullptr;
    QAction* removeFromList_ = nullptr;
    QPointer<QMessageBox> alert_;
    QTimer* busyTimer_;
    std::deque<std::filesystem::path> pendingFiles_;
    bool dropTargeted_ = false;
    bool refreshScheduled_ = false;
    bool syncingSelection_ = false;
};

}  // namespace tavori
