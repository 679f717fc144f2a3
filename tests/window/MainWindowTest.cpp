#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPdfView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriKit/saving/RenamePlan.h"
#include "TavoriName/DetailPane.h"
#include "TavoriName/DocumentDetailView.h"
#include "TavoriName/DocumentPreview.h"
#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/DropPlaceholder.h"
#include "TavoriName/FooterView.h"
#include "tests/window/WindowTestSupport.h"

using namespace tavori;
using namespace tavori::test;
namespace fs = std::filesystem;

namespace {

constexpr int readingTimeout = 30000;

QString cell(WindowFixture& f, int row, int column, int role = Qt::DisplayRole) {
    auto* table = f.documents();
    return table->data(table->index(row, column), role).toString();
}

// Every visible text of the footer, to check that a text does not appear anywhere in it.
QStringList footerTexts(FooterView& footer) {
    QStringList texts;
    for (const QLabel* label : footer.findChildren<QLabel*>())
        if (label->isVisibleTo(&footer)) texts << label->text();
    for (const QPushButton* button : footer.findChildren<QPushButton*>())
        if (button->isVisibleTo(&footer)) texts << button->text();
    return texts;
}

void selectRows(WindowFixture& f, std::initializer_list<int> rows) {
    QTableView* table = f.list();
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(f.documents()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace

TEST(MainWindowTest, emptyWindowShowsThePlaceholderAndDisablesWhatNeedsDocuments) {
    WindowFixture f;
    f.window().show();
    EXPECT_EQ(f.window().windowTitle(), "タヴォリネーム");
    EXPECT_TRUE(f.window().minimumWidth() >= 900 && f.window().minimumHeight() >= 560);
    EXPECT_TRUE(f.placeholder()->isVisible());
    EXPECT_FALSE(f.list()->isVisible());
    QStringList texts;
    for (const QLabel* label : f.placeholder()->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("領収書・請求書をここにドロップ"));
    EXPECT_TRUE(texts.contains("ファイル名は「日付_取引先_金額」の形式で自動生成されます"));
    EXPECT_TRUE(texts.join("").contains("このコンピュータの中で行われ"));
    EXPECT_TRUE(child<QAction>(&f.window(), "add")->isEnabled());
    EXPECT_FALSE(child<QAction>(&f.window(), "reanalyze")->isEnabled());
    EXPECT_FALSE(child<QAction>(&f.window(), "clearSaved")->isEnabled());
    EXPECT_EQ(f.window().footer()->saveButton()->text(), "0件をリネームして保存");
    EXPECT_FALSE(f.window().footer()->saveButton()->isEnabled());
    // The split gives the list at least 520 and the detail 360 to 560.
    QWidget* detail = f.window().detailWidget();
    EXPECT_EQ(detail->minimumWidth(), 360);
    EXPECT_EQ(detail->maximumWidth(), 560);
}

TEST(MainWindowTest, menusCarryTheCommandsAndShortcuts) {
    WindowFixture f;
    QStringList titles;
    QList<QMenu*> menus;
    for (QAction* action : f.window().menuBar()->actions()) {
        titles << action->text();
        menus << action->menu();
    }
    ASSERT_EQ(titles, (QStringList{"ファイル", "ヘルプ"}));
    const auto entries = [](QMenu* menu) {
        QStringList list;
        for (QAction* action : menu->actions())
            list << (action->isSeparator() ? QStringLiteral("—")
                                           : action->text() + " " + action->shortcut().toString());
        return list;
    };
    EXPECT_EQ(entries(menus[0]),
              (QStringList{"ファイルを追加… Ctrl+O", "フォルダを追加… ", "設定… Ctrl+,",
                           "索引簿を検索… Ctrl+F", "会計ソフト用の仕訳を書き出す ", "—", "終了 Ctrl+Q"}));
    EXPECT_EQ(entries(menus[1]), (QStringList{"アップデートを確認… ", "サポートページを開く "}));
    menus[1]->actions()[0]->trigger();  // without an update feed, does nothing

    // The settings window comes from a replaceable factory, and only one is open at a time.
    menus[0]->actions()[2]->trigger();
    EXPECT_TRUE(f.app().settingsWindow() && f.app().settingsWindow()->isVisible());
    QWidget* first = f.app().settingsWindow();
    menus[0]->actions()[2]->trigger();
    EXPECT_EQ(f.app().settingsWindow(), first);
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.app().settingsWindow() == nullptr; }));
    f.app().setSettingsWindowFactory([](AppModel&, QWidget* parent) {
        auto* replacement = new QWidget(parent, Qt::Window);
        replacement->setObjectName("replacement");
        return replacement;
    });
    menus[0]->actions()[2]->trigger();
    EXPECT_EQ(f.app().settingsWindow()->objectName(), "replacement");

    // So does the detail pane.
    f.app().setDetailPaneFactory([](AppModel&) {
        auto* pane = new QWidget;
        pane->setObjectName("detail");
        return pane;
    });
    EXPECT_EQ(f.window().detailWidget()->objectName(), "detail");
    EXPECT_EQ(f.window().detailWidget()->minimumWidth(), 360);
}

TEST(MainWindowTest, filesFromTheCommandLineAreAddedOnceRunning) {
    WindowFixture f;
    f.writeSample(0, "folder/b.pdf");
    f.writeSample(1, "folder/a.pdf");
    f.app().openFiles({f.writeSample(2, "invoice.pdf"), f.folder() / "folder"});
    EXPECT_EQ(f.model().itemCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.model().itemCount() == 3; }));
    EXPECT_EQ(cell(f, 0, DocumentTableModel::originalNameColumn), "invoice.pdf");
    EXPECT_EQ(cell(f, 1, DocumentTableModel::originalNameColumn), "a.pdf");
    ASSERT_TRUE(f.waitSettled());
}

TEST(MainWindowTest, dragOverTheWindowHighlightsUntilItLeaves) {
    WindowFixture f;
    f.window().show();
    QMimeData data;
    data.setData("text/uri-list", uriList({f.folder() / "a.pdf"}));
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f.window(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(child(&f.window(), "dropOutline")->isVisible());
    EXPECT_TRUE(f.placeholder()->isTargeted());
    QDragLeaveEvent leave;
    QApplication::sendEvent(&f.window(), &leave);
    EXPECT_FALSE(child(&f.window(), "dropOutline")->isVisible());
    EXPECT_FALSE(f.placeholder()->isTargeted());

    QMimeData text;
    text.setText("not files");
    QDragEnterEvent textEnter(QPoint(100, 100), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f.window(), &textEnter);
    EXPECT_FALSE(textEnter.isAccepted());
    EXPECT_FALSE(child(&f.window(), "dropOutline")->isVisible());
}

TEST(MainWindowTest, droppedFilesAndFoldersArriveInDropOrder) {
    WindowFixture f;
    f.window().show();
    const fs::path second = f.writeSample(1, "z-second.pdf");
    const fs::path first = f.writeSample(0, "a-first.pdf");
    f.writeSample(2, "folder/b.pdf");
    f.writeSample(0, "folder/a.PDF");
    writeFile(f.folder() / "folder/notes.txt", "not a document");
    writeFile(f.folder() / "folder/.hidden.pdf", "hidden");

    auto* data = new QMimeData;
    data->setData("text/uri-list", "# a comment line\r\n" + uriList({second, first, f.folder() / "folder"}) +
                                       "https://example.com/remote.pdf\r\nfile://otherhost/x.pdf\r\n");
    EXPECT_TRUE(f.drop(data));
    EXPECT_FALSE(child(&f.window(), "dropOutline")->isVisible());
    ASSERT_EQ(f.model().itemCount(), 4);
    EXPECT_EQ(cell(f, 0, DocumentTableModel::originalNameColumn), "z-second.pdf");
    EXPECT_EQ(cell(f, 1, DocumentTableModel::originalNameColumn), "a-first.pdf");
    EXPECT_EQ(cell(f, 2, DocumentTableModel::originalNameColumn), "a.PDF");
    EXPECT_EQ(cell(f, 3, DocumentTableModel::originalNameColumn), "b.pdf");
    EXPECT_TRUE(f.list()->isVisible());
    EXPECT_FALSE(f.placeholder()->isVisible());
    ASSERT_TRUE(f.waitSettled());
}

TEST(MainWindowTest, aNameThatIsNotUtf8StillNamesItsFile) {
    WindowFixture f;
    const fs::path odd = f.writeSample(0, std::string("receipt-\xff\xfe.pdf"));
    EXPECT_TRUE(f.drop({odd}));
    ASSERT_EQ(f.model().itemCount(), 1);
    EXPECT_EQ(f.model().itemAt(0).sourcePath(), odd);
    EXPECT_EQ(cell(f, 0, DocumentTableModel::originalNameColumn), "receipt-\uFFFD\uFFFD.pdf");
}

TEST(MainWindowTest, dropsThatYieldNoFilesChangeNothing) {
    WindowFixture f;
    f.window().show();
    auto* remote = new QMimeData;
    remote->setData("text/uri-list", "https://example.com/a.pdf\r\n");
    EXPECT_TRUE(f.drop(remote));  // a URL list is taken even when none of it is a local file
    auto* text = new QMimeData;
    text->setText("/tmp/a.pdf");
    EXPECT_FALSE(f.drop(text));
    EXPECT_EQ(f.model().itemCount(), 0);
    EXPECT_TRUE(f.placeholder()->isVisible());
    EXPECT_FALSE(f.model().alertMessage().has_value());
}

// Which badge and hover text each state has is the badge's to test; here, that the table shows them.
TEST(MainWindowTest, tableShowsTheReadingAndItsBadges) {
    WindowFixture f;
    const fs::path sakura = f.writeSample(0, "SCAN.PDF");
    const fs::path broken = f.folder() / "broken.pdf";
    writeFile(broken, "%PDF-1.4 this is not a PDF");
    EXPECT_TRUE(f.drop({sakura, broken}));
    ASSERT_TRUE(f.waitSettled());

    auto* table = f.documents();
    EXPECT_EQ(table->columnCount(), 6);
    const QStringList titles{"状態", "元のファイル名", "日付", "取引先", "金額", "新しいファイル名"};
    for (int column = 0; column < 6; ++column)
        EXPECT_EQ(table->headerData(column, Qt::Horizontal).toString(), titles[column]);

    EXPECT_EQ(cell(f, 0, DocumentTableModel::dateColumn), "2024/03/15");
    EXPECT_EQ(cell(f, 0, DocumentTableModel::vendorColumn), "さくら文具店");
    EXPECT_EQ(cell(f, 0, DocumentTableModel::amountColumn), "¥990");
    // The template's name with the source's extension in lower case.
    EXPECT_EQ(cell(f, 0, DocumentTableModel::newNameColumn), "20240315_さくら文具店_990.pdf");
    EXPECT_EQ(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole),
              "読み取り結果に自信あり。保存できます");
    EXPECT_EQ(f.model().itemAt(1).status(), DocumentItem::Status::failed);
    EXPECT_EQ(cell(f, 1, DocumentTableModel::statusColumn, Qt::ToolTipRole).toStdString(),
              f.model().itemAt(1).errorMessage().value_or("(none)"));
    EXPECT_EQ(cell(f, 1, DocumentTableModel::dateColumn), "—");
    for (int row = 0; row < 2; ++row) {
        const QModelIndex badge = table->index(row, DocumentTableModel::statusColumn);
        EXPECT_FALSE(badge.data(DocumentTableModel::BusyRole).toBool());
        EXPECT_FALSE(badge.data(Qt::DecorationRole).value<QIcon>().isNull());
    }

    // A correction changes the row at once.
    EXPECT_TRUE(f.model().setVendor(f.model().itemAt(0).id(), "さくら文具"));
    EXPECT_EQ(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole), "手で修正済み。保存できます");
    EXPECT_EQ(cell(f, 0, DocumentTableModel::newNameColumn), "20240315_さくら文具_990.pdf");
}

TEST(MainWindowTest, readingShowsItsProgressInTheFooter) {
    WindowFixture f;
    f.window().show();
    std::vector<fs::path> files;
    for (int i = 0; i < 6; ++i)
        files.push_back(f.writeSample(static_cast<std::size_t>(i % 3), "r" + std::to_string(i) + ".pdf"));
    EXPECT_TRUE(f.drop(files));
    // Straight after the drop nothing has been read yet.
    QLabel* progress = child<QLabel>(f.window().footer(), "progress");
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->text(), "読み取り中 0/6");
    EXPECT_TRUE(f.documents()->index(0, 0).data(DocumentTableModel::BusyRole).toBool());
    EXPECT_EQ(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole), "読み取り中");
    ASSERT_TRUE(f.waitSettled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress->isVisible(); }));
    EXPECT_EQ(f.window().footer()->saveButton()->text(), "6件をリネームして保存");
    EXPECT_TRUE(f.window().footer()->saveButton()->isEnabled());
}

TEST(MainWindowTest, contextMenuActsOnTheSelection) {
    WindowFixture f;
    f.window().show();
    const fs::path a = f.writeSample(0, "a.pdf");
    const fs::path b = f.writeSample(1, "b.pdf");
    const fs::path broken = f.folder() / "c.pdf";
    writeFile(broken, "broken");
    EXPECT_TRUE(f.drop({a, b, broken}));
    ASSERT_TRUE(f.waitSettled());

    const QList<QAction*> actions = f.window().contextActions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), "このままでOK（確認済みにする）");
    EXPECT_EQ(actions[1]->text(), "もう一度解析");
    EXPECT_EQ(actions[2]->text(), "ファイルマネージャで表示");
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4]->text(), "リストから外す");

    // The table's selection is the model's.
    selectRows(f, {0, 2});
    EXPECT_EQ(f.model().selection(), (QSet<QUuid>{f.model().itemAt(0).id(), f.model().itemAt(2).id()}));
    EXPECT_TRUE(actions[0]->isEnabled());
    selectRows(f, {2});
    EXPECT_FALSE(actions[0]->isEnabled()) << "nothing to confirm in a failed item";

    selectRows(f, {0, 2});
    actions[0]->trigger();
    EXPECT_TRUE(f.model().itemAt(0).confirmed());
    EXPECT_FALSE(f.model().itemAt(2).confirmed());

    actions[2]->trigger();
    EXPECT_EQ(f.desktop().revealed.size(), 2u);

    actions[1]->trigger();
    EXPECT_EQ(f.model().itemAt(0).status(), DocumentItem::Status::analyzing);
    EXPECT_FALSE(f.model().itemAt(0).confirmed());
    EXPECT_EQ(f.model().itemAt(1).status(), DocumentItem::Status::ready);
    ASSERT_TRUE(f.waitSettled());

    selectRows(f, {0, 2});
    actions[4]->trigger();
    ASSERT_EQ(f.model().itemCount(), 1);
    EXPECT_EQ(cell(f, 0, DocumentTableModel::originalNameColumn), "b.pdf");
    EXPECT_TRUE(f.model().selection().isEmpty());
    EXPECT_FALSE(actions[4]->isEnabled());
}

TEST(MainWindowTest, keyboardSelectsAllAndRemoves) {
    WindowFixture f;
    f.window().show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f.window()));
    EXPECT_TRUE(f.drop({f.writeSample(0, "a.pdf"), f.writeSample(1, "b.pdf"), f.writeSample(2, "c.pdf")}));
    f.list()->setFocus();
    QTest::keySequence(f.list(), QKeySequence::SelectAll);
    EXPECT_EQ(f.model().selection().size(), 3);
    selectRows(f, {1});
    QTest::keyClick(f.list(), Qt::Key_Delete);
    ASSERT_EQ(f.model().itemCount(), 2);
    EXPECT_EQ(cell(f, 1, DocumentTableModel::originalNameColumn), "c.pdf");
    QTest::keySequence(f.list(), QKeySequence::SelectAll);
    QTest::keyClick(f.list(), Qt::Key_Delete);
    EXPECT_EQ(f.model().itemCount(), 0);
    EXPECT_TRUE(f.placeholder()->isVisible());
}

TEST(MainWindowTest, footerFollowsTheModeAndDestination) {
    AppSettings settings;
    settings.mode = RenamePlan::Mode::renameInPlace;
    WindowFixture f(settings);
    f.window().show();
    FooterView& footer = *f.window().footer();
    EXPECT_EQ(child<QComboBox>(&footer, "mode")->currentText(), "元の場所でリネーム");
    QStringList modes;
    for (int i = 0; i < child<QComboBox>(&footer, "mode")->count(); ++i)
        modes << child<QComboBox>(&footer, "mode")->itemText(i);
    EXPECT_EQ(modes, (QStringList{"元の場所でリネーム", "移動して保存", "コピーして保存"}));
    EXPECT_EQ(child<QLabel>(&footer, "destination")->text(), "元のフォルダ内でリネーム");
    EXPECT_FALSE(footerTexts(footer).join("|").contains("未設定"));
    EXPECT_FALSE(child<QPushButton>(&footer, "changeDestination")->isVisible());

    // The picker writes the settings' mode.
    child<QComboBox>(&footer, "mode")->setCurrentIndex(2);
    emit child<QComboBox>(&footer, "mode")->activated(2);
    EXPECT_EQ(f.model().settings().mode, RenamePlan::Mode::copy);
    EXPECT_EQ(child<QLabel>(&footer, "destination")->text(), "未設定");
    EXPECT_TRUE(child<QPushButton>(&footer, "changeDestination")->isVisible());

    const fs::path destination = f.folder() / "保存先";
    fs::create_directories(destination);
    f.desktop().folderAnswer = destination;
    child<QPushButton>(&footer, "changeDestination")->click();
    EXPECT_EQ(child<QLabel>(&footer, "destination")->text(), QString::fromStdString(destination.string()));

    // The choice survives a switch to renaming in place and back.
    child<QComboBox>(&footer, "mode")->setCurrentIndex(0);
    emit child<QComboBox>(&footer, "mode")->activated(0);
    EXPECT_EQ(child<QLabel>(&footer, "destination")->text(), "元のフォルダ内でリネーム");
    child<QComboBox>(&footer, "mode")->setCurrentIndex(1);
    emit child<QComboBox>(&footer, "mode")->activated(1);
    EXPECT_EQ(f.model().settings().mode, RenamePlan::Mode::move);
    EXPECT_EQ(child<QLabel>(&footer, "destination")->text(), QString::fromStdString(destination.string()));
}

TEST(MainWindowTest, savingWithoutDestinationShowsTheAlert) {
    WindowFixture f;  // copy mode, no destination
    f.window().show();
    EXPECT_TRUE(f.drop({f.writeSample(0, "a.pdf")}));
    ASSERT_TRUE(f.waitSettled());
    QPushButton* save = f.window().footer()->saveButton();
    EXPECT_EQ(save->text(), "1件をリネームして保存");
    save->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.window().findChild<QMessageBox*>("alert") != nullptr; }));
    QMessageBox* alert = child<QMessageBox>(&f.window(), "alert");
    EXPECT_EQ(alert->windowTitle(), "タヴォリネーム");
    EXPECT_EQ(alert->text(), "先に保存先フォルダを選んでください。");
    EXPECT_EQ(f.model().itemAt(0).status(), DocumentItem::Status::ready);
    EXPECT_FALSE(f.model().isSaving());
    QAbstractButton* ok = alert->buttons().value(0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ok->text(), "OK");
    ok->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.model().alertMessage().has_value(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.window().findChild<QMessageBox*>("alert") == nullptr; }));
}

TEST(MainWindowTest, savedItemShowsTheNameActuallyWritten) {
    AppSettings settings;
    WindowFixture f(settings);
    f.window().show();
    const fs::path destination = f.folder() / "out";
    fs::create_directories(destination);
    writeFile(destination / "20240315_さくら文具店_990.pdf", "already here");
    f.desktop().folderAnswer = destination;
    child<QPushButton>(f.window().footer(), "changeDestination")->click();

    EXPECT_TRUE(f.drop({f.writeSample(0, "a.pdf"), f.writeSample(1, "b.pdf")}));
    ASSERT_TRUE(f.waitSettled());
    QAction* clearSaved = child<QAction>(&f.window(), "clearSaved");
    EXPECT_FALSE(clearSaved->isEnabled());
    FooterView& footer = *f.window().footer();
    QPushButton* save = footer.saveButton();
    EXPECT_FALSE(child<QPushButton>(&footer, "cancel")->isVisible());
    save->click();
    // The save runs on the worker: the footer draws it while the window goes on.
    EXPECT_TRUE(f.model().isSaving());
    EXPECT_TRUE(child<QPushButton>(&footer, "cancel")->isVisible());
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(save->text(), "保存中…");
    EXPECT_TRUE(child<QLabel>(&footer, "progress")->text().startsWith("保存中 "));
    EXPECT_TRUE(child<QLabel>(&footer, "progress")->text().endsWith("/2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.model().isSaving(); }, readingTimeout));
    EXPECT_FALSE(child<QPushButton>(&footer, "cancel")->isVisible());

    EXPECT_EQ(cell(f, 0, DocumentTableModel::newNameColumn), "20240315_さくら文具店_990 (2).pdf");
    EXPECT_EQ(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole), "保存済み");
    EXPECT_TRUE(child<QLabel>(&footer, "summary")->isVisible());
    EXPECT_EQ(child<QLabel>(&footer, "summary")->text(), "2件を保存しました");
    ASSERT_TRUE(QTest::qWaitFor([&] { return save->text() == QStringLiteral("0件をリネームして保存"); }));
    EXPECT_FALSE(save->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return clearSaved->isEnabled(); }));

    // Re-reading leaves saved items alone.
    EXPECT_TRUE(f.drop({f.writeSample(2, "c.pdf")}));
    ASSERT_TRUE(f.waitSettled());
    child<QAction>(&f.window(), "reanalyze")->trigger();
    EXPECT_EQ(f.model().itemAt(0).status(), DocumentItem::Status::saved);
    EXPECT_EQ(f.model().itemAt(2).status(), DocumentItem::Status::analyzing);
    ASSERT_TRUE(f.waitSettled());

    clearSaved->trigger();
    ASSERT_EQ(f.model().itemCount(), 1);
    EXPECT_EQ(cell(f, 0, DocumentTableModel::originalNameColumn), "c.pdf");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !clearSaved->isEnabled(); }));
}

// Which book a save appends to is the model's to decide (renaming in place with a destination stored is
// tested there); the footer says it.
TEST(MainWindowTest, theFooterSaysWhereTheBookGoes) {
    AppSettings settings;
    settings.mode = RenamePlan::Mode::renameInPlace;
    WindowFixture f(settings);
    QLabel* book = child<QLabel>(f.window().footer(), "indexBook");
    EXPECT_EQ(book->text(), "1件目のファイルと同じフォルダの「索引簿.csv」");
    EXPECT_TRUE(f.drop({f.writeSample(0, "in/a.pdf")}));
    ASSERT_TRUE(f.waitSettled());
    f.window().footer()->refreshCounts();
    EXPECT_EQ(book->text(), QString::fromStdString((f.folder() / "in" / "索引簿.csv").string()));

    AppSettings changed = f.model().settings();
    changed.mode = RenamePlan::Mode::copy;
    changed.setDestination(f.folder());
    f.model().setSettings(changed);
    EXPECT_EQ(book->text(), QString::fromStdString((f.folder() / "索引簿.csv").string()));
    changed.writeIndexBook = false;
    f.model().setSettings(changed);
    EXPECT_TRUE(book->text().startsWith("追記しない"));
}

TEST(MainWindowTest, moneyIsNeverCutAndTabGoesListPreviewFormFooter) {
    WindowFixture f;
    f.app().setDetailPaneFactory([](AppModel& model) { return new DetailPane(model); });
    f.window().resize(900, 560);
    f.window().show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f.window()));
    EXPECT_TRUE(f.drop({f.writeDocument(SamplePdf::receipt("さくら文具店", 3, 15, 24000087), "big.pdf")}));
    ASSERT_TRUE(f.waitSettled());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return cell(f, 0, DocumentTableModel::amountColumn) == QStringLiteral("¥24,000,087"); }));
    QTableView* table = f.list();
    const QString amount = cell(f, 0, DocumentTableModel::amountColumn);
    EXPECT_TRUE(table->columnWidth(DocumentTableModel::amountColumn) >
                table->fontMetrics().horizontalAdvance(amount));

    selectRows(f, {0});
    auto* pane = static_cast<DetailPane*>(f.window().detailWidget());
    DocumentDetailView& detail = *child<DocumentDetailView>(pane, "detail");
    table->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->hasFocus(); }));
    QStringList visited;
    QWidget* focused = table;
    for (int k = 0; k < 30 && !f.window().footer()->isAncestorOf(focused); ++k) {
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
        EXPECT_TRUE(focused);
        if (focused == child<DocumentPreview>(&detail, "preview")->pdfView()) visited << "preview";
        if (focused == child(&detail, "date") || child(&detail, "date")->isAncestorOf(focused))
            visited << "date";
        if (focused == child(&detail, "vendor")) visited << "vendor";
        if (focused == child(&detail, "registration")) visited << "registration";
    }
    EXPECT_TRUE(f.window().footer()->isAncestorOf(focused));
    visited.removeDuplicates();
    EXPECT_EQ(visited, (QStringList{"preview", "date", "vendor", "registration"}));
}

TEST(MainWindowTest, foldersCanBeAddedAndQtSpeaksJapanese) {
    WindowFixture f;
    // The file menu lists the same action (see menusCarryTheCommandsAndShortcuts).
    EXPECT_TRUE(
        child<QAction>(&f.window(), "add")->menu()->actions().contains(f.window().addFoldersAction()));

    EXPECT_TRUE(TavoriNameApp::installQtTranslations(*QCoreApplication::instance()));
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "キャンセル");
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    EXPECT_FALSE(menu->actions().isEmpty());
    for (QAction* action : menu->actions()) EXPECT_FALSE(action->text().contains("Undo")) << action->text();
}
