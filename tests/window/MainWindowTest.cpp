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
#include <QSplitter>
#include <QTableView>
#include <QtTest>

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
    auto* table = f.window().tableModel();
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

// A receipt without a date: it is read, but needs a look.
SamplePdf::Document receiptWithoutDate() {
    return {"no-date.pdf",
            {{"さくら文具店", 36, 40, 16},
             {"領収書", 36, 70, 12},
             {"合計", 36, 110, 12},
             {"¥990", 200, 110, 12}}};
}

void selectRows(WindowFixture& f, std::initializer_list<int> rows) {
    QTableView* table = f.window().table();
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(f.window().tableModel()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { qunsetenv("TAVORI_LLM_URL"); }

    void emptyWindowShowsThePlaceholderAndDisablesWhatNeedsDocuments() {
        WindowFixture f;
        f.window().show();
        QCOMPARE(f.window().windowTitle(), QStringLiteral("タヴォリネーム"));
        QVERIFY(f.window().minimumWidth() >= 900 && f.window().minimumHeight() >= 560);
        QVERIFY(f.window().placeholder()->isVisible());
        QVERIFY(!f.window().table()->isVisible());
        QStringList texts;
        for (const QLabel* label : f.window().placeholder()->findChildren<QLabel*>()) texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("領収書・請求書をここにドロップ")));
        QVERIFY(texts.contains(QStringLiteral("ファイル名は「日付_取引先_金額」の形式で自動生成されます")));
        QVERIFY(texts.join("").contains(QStringLiteral("このコンピュータの中で行われ")));
        QVERIFY(f.window().addAction()->isEnabled());
        QVERIFY(!f.window().reanalyzeAction()->isEnabled());
        QVERIFY(!f.window().clearSavedAction()->isEnabled());
        QCOMPARE(f.window().footer()->saveButton()->text(), QStringLiteral("0件をリネームして保存"));
        QVERIFY(!f.window().footer()->saveButton()->isEnabled());
        // The split gives the list at least 520 and the detail 360 to 560.
        QWidget* detail = f.window().detailWidget();
        QCOMPARE(detail->minimumWidth(), 360);
        QCOMPARE(detail->maximumWidth(), 560);
    }

    void menusCarryTheCommandsAndShortcuts() {
        WindowFixture f;
        QStringList titles;
        QList<QMenu*> menus;
        for (QAction* action : f.window().menuBar()->actions()) {
            titles << action->text();
            menus << action->menu();
        }
        QCOMPARE(titles, (QStringList{"ファイル", "ヘルプ"}));
        const auto entries = [](QMenu* menu) {
            QStringList list;
            for (QAction* action : menu->actions())
                list << (action->isSeparator() ? QStringLiteral("—")
                                               : action->text() + " " + action->shortcut().toString());
            return list;
        };
        QCOMPARE(entries(menus[0]),
                 (QStringList{"ファイルを追加… Ctrl+O", "フォルダを追加… ", "設定… Ctrl+,",
                              "索引簿を検索… Ctrl+F", "会計ソフト用の仕訳を書き出す ", "—", "終了 Ctrl+Q"}));
        QCOMPARE(entries(menus[1]), (QStringList{"アップデートを確認… ", "サポートページを開く "}));
        // A build without an update feed has no controller: the command does nothing.
        QVERIFY(f.app().updater().controller() == nullptr);
        menus[1]->actions()[0]->trigger();

        // The settings window comes from a replaceable factory, and only one is open at a time.
        menus[0]->actions()[2]->trigger();
        QVERIFY(f.app().settingsWindow() && f.app().settingsWindow()->isVisible());
        QWidget* first = f.app().settingsWindow();
        menus[0]->actions()[2]->trigger();
        QCOMPARE(f.app().settingsWindow(), first);
        first->close();
        QTRY_VERIFY(f.app().settingsWindow() == nullptr);
        f.app().setSettingsWindowFactory([](AppModel&, QWidget* parent) {
            auto* replacement = new QWidget(parent, Qt::Window);
            replacement->setObjectName("replacement");
            return replacement;
        });
        menus[0]->actions()[2]->trigger();
        QCOMPARE(f.app().settingsWindow()->objectName(), QStringLiteral("replacement"));

        // So does the detail pane.
        f.app().setDetailPaneFactory([](AppModel&) {
            auto* pane = new QWidget;
            pane->setObjectName("detail");
            return pane;
        });
        QCOMPARE(f.window().detailWidget()->objectName(), QStringLiteral("detail"));
        QCOMPARE(f.window().detailWidget()->minimumWidth(), 360);
    }

    void filesFromTheCommandLineAreAddedOnceRunning() {
        WindowFixture f;
        f.writeSample(0, "folder/b.pdf");
        f.writeSample(1, "folder/a.pdf");
        f.app().openFiles({f.writeSample(2, "invoice.pdf"), f.folder() / "folder"});
        QCOMPARE(f.model().itemCount(), 0);
        QTRY_COMPARE(f.model().itemCount(), 3);
        QCOMPARE(cell(f, 0, DocumentTableModel::originalNameColumn), QStringLiteral("invoice.pdf"));
        QCOMPARE(cell(f, 1, DocumentTableModel::originalNameColumn), QStringLiteral("a.pdf"));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
    }

    void dragOverTheWindowHighlightsUntilItLeaves() {
        WindowFixture f;
        f.window().show();
        QMimeData data;
        data.setData("text/uri-list", uriList({f.folder() / "a.pdf"}));
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window(), &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(f.window().isDropTargeted());
        QVERIFY(f.window().placeholder()->isTargeted());
        QDragLeaveEvent leave;
        QApplication::sendEvent(&f.window(), &leave);
        QVERIFY(!f.window().isDropTargeted());
        QVERIFY(!f.window().placeholder()->isTargeted());

        QMimeData text;
        text.setText("not files");
        QDragEnterEvent textEnter(QPoint(100, 100), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window(), &textEnter);
        QVERIFY(!textEnter.isAccepted());
        QVERIFY(!f.window().isDropTargeted());
    }

    void droppedFilesAndFoldersArriveInDropOrder() {
        WindowFixture f;
        f.window().show();
        const fs::path second = f.writeSample(1, "z-second.pdf");
        const fs::path first = f.writeSample(0, "a-first.pdf");
        f.writeSample(2, "folder/b.pdf");
        f.writeSample(0, "folder/a.PDF");
        writeFile(f.folder() / "folder/notes.txt", "not a document");
        writeFile(f.folder() / "folder/.hidden.pdf", "hidden");

        auto* data = new QMimeData;
        data->setData("text/uri-list", "# a comment line\r\n" +
                                           uriList({second, first, f.folder() / "folder"}) +
                                           "https://example.com/remote.pdf\r\nfile://otherhost/x.pdf\r\n");
        QVERIFY(f.drop(data));
        QVERIFY(!f.window().isDropTargeted());
        QCOMPARE(f.model().itemCount(), 4);
        QCOMPARE(cell(f, 0, DocumentTableModel::originalNameColumn), QStringLiteral("z-second.pdf"));
        QCOMPARE(cell(f, 1, DocumentTableModel::originalNameColumn), QStringLiteral("a-first.pdf"));
        QCOMPARE(cell(f, 2, DocumentTableModel::originalNameColumn), QStringLiteral("a.PDF"));
        QCOMPARE(cell(f, 3, DocumentTableModel::originalNameColumn), QStringLiteral("b.pdf"));
        QVERIFY(f.window().table()->isVisible());
        QVERIFY(!f.window().placeholder()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);

        // The same files again add nothing.
        QVERIFY(f.drop({first, second}));
        QCOMPARE(f.model().itemCount(), 4);
    }

    void aNameThatIsNotUtf8StillNamesItsFile() {
        WindowFixture f;
        const fs::path odd = f.writeSample(0, std::string("receipt-\xff\xfe.pdf"));
        QVERIFY(f.drop({odd}));
        QCOMPARE(f.model().itemCount(), 1);
        QCOMPARE(f.model().itemAt(0).sourcePath(), odd);
        QCOMPARE(cell(f, 0, DocumentTableModel::originalNameColumn),
                 QStringLiteral("receipt-\uFFFD\uFFFD.pdf"));
    }

    void dropsThatYieldNoFilesChangeNothing() {
        WindowFixture f;
        f.window().show();
        auto* remote = new QMimeData;
        remote->setData("text/uri-list", "https://example.com/a.pdf\r\n");
        QVERIFY(f.drop(remote));  // a URL list is taken even when none of it is a local file
        auto* text = new QMimeData;
        text->setText("/tmp/a.pdf");
        QVERIFY(!f.drop(text));
        QCOMPARE(f.model().itemCount(), 0);
        QVERIFY(f.window().placeholder()->isVisible());
        QVERIFY(!f.model().alertMessage().has_value());
    }

    void tableShowsTheReadingAndItsBadges() {
        WindowFixture f;
        const fs::path sakura = f.writeSample(0, "SCAN.PDF");
        const fs::path review = f.writeDocument(receiptWithoutDate(), "no-date.pdf");
        const fs::path broken = f.folder() / "broken.pdf";
        writeFile(broken, "%PDF-1.4 this is not a PDF");
        QVERIFY(f.drop({sakura, review, broken}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);

        auto* table = f.window().tableModel();
        QCOMPARE(table->columnCount(), 6);
        const QStringList titles{"状態", "元のファイル名", "日付", "取引先", "金額", "新しいファイル名"};
        for (int column = 0; column < 6; ++column)
            QCOMPARE(table->headerData(column, Qt::Horizontal).toString(), titles[column]);

        QCOMPARE(cell(f, 0, DocumentTableModel::dateColumn), QStringLiteral("2024/03/15"));
        QCOMPARE(cell(f, 0, DocumentTableModel::vendorColumn), QStringLiteral("さくら文具店"));
        QCOMPARE(cell(f, 0, DocumentTableModel::amountColumn), QStringLiteral("¥990"));
        // The template's name with the source's extension in lower case.
        QCOMPARE(cell(f, 0, DocumentTableModel::newNameColumn),
                 QStringLiteral("20240315_さくら文具店_990.pdf"));
        QCOMPARE(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole),
                 QStringLiteral("読み取り結果に自信あり。保存できます"));

        QCOMPARE(cell(f, 1, DocumentTableModel::dateColumn), QStringLiteral("—"));
        QCOMPARE(cell(f, 1, DocumentTableModel::amountColumn), QStringLiteral("¥990"));
        const QString reviewTip = cell(f, 1, DocumentTableModel::statusColumn, Qt::ToolTipRole);
        QVERIFY2(reviewTip.startsWith(QStringLiteral("要確認\n")), qPrintable(reviewTip));
        QVERIFY2(reviewTip.contains(QStringLiteral("日付")), qPrintable(reviewTip));

        QCOMPARE(f.model().itemAt(2).status(), DocumentItem::Status::failed);
        const QString failedTip = cell(f, 2, DocumentTableModel::statusColumn, Qt::ToolTipRole);
        QCOMPARE(failedTip, QString::fromStdString(f.model().itemAt(2).errorMessage().value_or("")));
        QVERIFY(!failedTip.isEmpty());
        QCOMPARE(cell(f, 2, DocumentTableModel::dateColumn), QStringLiteral("—"));
        QCOMPARE(cell(f, 2, DocumentTableModel::vendorColumn), QStringLiteral("—"));

        // Every row that is not being read carries a symbol.
        for (int row = 0; row < 3; ++row) {
            const QModelIndex badge = table->index(row, DocumentTableModel::statusColumn);
            QVERIFY(!badge.data(DocumentTableModel::BusyRole).toBool());
            QVERIFY(!badge.data(Qt::DecorationRole).value<QIcon>().isNull());
        }

        // Confirming and correcting change the hover text.
        f.model().confirm({f.model().itemAt(1).id()});
        QCOMPARE(cell(f, 1, DocumentTableModel::statusColumn, Qt::ToolTipRole),
                 QStringLiteral("確認済み。保存できます"));
        QVERIFY(f.model().setVendor(f.model().itemAt(0).id(), "さくら文具"));
        QCOMPARE(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole),
                 QStringLiteral("手で修正済み。保存できます"));
        QCOMPARE(cell(f, 0, DocumentTableModel::newNameColumn),
                 QStringLiteral("20240315_さくら文具_990.pdf"));
    }

    void readingShowsItsProgressInTheFooter() {
        WindowFixture f;
        f.window().show();
        std::vector<fs::path> files;
        for (int i = 0; i < 6; ++i)
            files.push_back(f.writeSample(static_cast<std::size_t>(i % 3), "r" + std::to_string(i) + ".pdf"));
        QVERIFY(f.drop(files));
        // Straight after the drop nothing has been read yet.
        QLabel* progress = f.window().footer()->progressLabel();
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->text(), QStringLiteral("読み取り中 0/6"));
        QVERIFY(f.window().tableModel()->index(0, 0).data(DocumentTableModel::BusyRole).toBool());
        QCOMPARE(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole), QStringLiteral("読み取り中"));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
        QTRY_VERIFY(!progress->isVisible());
        QCOMPARE(f.window().footer()->saveButton()->text(), QStringLiteral("6件をリネームして保存"));
        QVERIFY(f.window().footer()->saveButton()->isEnabled());
    }

    void contextMenuActsOnTheSelection() {
        WindowFixture f;
        f.window().show();
        const fs::path a = f.writeSample(0, "a.pdf");
        const fs::path b = f.writeSample(1, "b.pdf");
        const fs::path broken = f.folder() / "c.pdf";
        writeFile(broken, "broken");
        QVERIFY(f.drop({a, b, broken}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);

        const QList<QAction*> actions = f.window().contextActions();
        QCOMPARE(actions.size(), 5);
        QCOMPARE(actions[0]->text(), QStringLiteral("このままでOK（確認済みにする）"));
        QCOMPARE(actions[1]->text(), QStringLiteral("もう一度解析"));
        QCOMPARE(actions[2]->text(), QStringLiteral("ファイルマネージャで表示"));
        QVERIFY(actions[3]->isSeparator());
        QCOMPARE(actions[4]->text(), QStringLiteral("リストから外す"));

        // The table's selection is the model's.
        selectRows(f, {0, 2});
        QCOMPARE(f.model().selection(), (QSet<QUuid>{f.model().itemAt(0).id(), f.model().itemAt(2).id()}));
        QVERIFY(actions[0]->isEnabled());
        selectRows(f, {2});
        QVERIFY2(!actions[0]->isEnabled(), "nothing to confirm in a failed item");

        selectRows(f, {0, 2});
        actions[0]->trigger();
        QVERIFY(f.model().itemAt(0).confirmed());
        QVERIFY(!f.model().itemAt(2).confirmed());

        actions[2]->trigger();
        QCOMPARE(f.desktop().revealed.size(), 2u);

        actions[1]->trigger();
        QCOMPARE(f.model().itemAt(0).status(), DocumentItem::Status::analyzing);
        QVERIFY(!f.model().itemAt(0).confirmed());
        QCOMPARE(f.model().itemAt(1).status(), DocumentItem::Status::ready);
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);

        selectRows(f, {0, 2});
        actions[4]->trigger();
        QCOMPARE(f.model().itemCount(), 1);
        QCOMPARE(cell(f, 0, DocumentTableModel::originalNameColumn), QStringLiteral("b.pdf"));
        QVERIFY(f.model().selection().isEmpty());
        QVERIFY(!actions[4]->isEnabled());
    }

    void keyboardSelectsAllAndRemoves() {
        WindowFixture f;
        f.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
        QVERIFY(f.drop({f.writeSample(0, "a.pdf"), f.writeSample(1, "b.pdf"), f.writeSample(2, "c.pdf")}));
        f.window().table()->setFocus();
        QTest::keySequence(f.window().table(), QKeySequence::SelectAll);
        QCOMPARE(f.model().selection().size(), 3);
        selectRows(f, {1});
        QTest::keyClick(f.window().table(), Qt::Key_Delete);
        QCOMPARE(f.model().itemCount(), 2);
        QCOMPARE(cell(f, 1, DocumentTableModel::originalNameColumn), QStringLiteral("c.pdf"));
        QTest::keySequence(f.window().table(), QKeySequence::SelectAll);
        QTest::keyClick(f.window().table(), Qt::Key_Delete);
        QCOMPARE(f.model().itemCount(), 0);
        QVERIFY(f.window().placeholder()->isVisible());
    }

    void footerFollowsTheModeAndDestination() {
        AppSettings settings;
        settings.mode = RenamePlan::Mode::renameInPlace;
        WindowFixture f(settings);
        f.window().show();
        FooterView& footer = *f.window().footer();
        QCOMPARE(footer.modePicker()->currentText(), QStringLiteral("元の場所でリネーム"));
        QStringList modes;
        for (int i = 0; i < footer.modePicker()->count(); ++i) modes << footer.modePicker()->itemText(i);
        QCOMPARE(modes, (QStringList{"元の場所でリネーム", "移動して保存", "コピーして保存"}));
        QCOMPARE(footer.destinationLabel()->text(), QStringLiteral("元のフォルダ内でリネーム"));
        QVERIFY(!footerTexts(footer).join("|").contains(QStringLiteral("未設定")));
        QVERIFY(!footer.changeDestinationButton()->isVisible());

        // The picker writes the settings' mode.
        footer.modePicker()->setCurrentIndex(2);
        emit footer.modePicker()->activated(2);
        QCOMPARE(f.model().settings().mode, RenamePlan::Mode::copy);
        QCOMPARE(footer.destinationLabel()->text(), QStringLiteral("未設定"));
        QVERIFY(footer.changeDestinationButton()->isVisible());

        const fs::path destination = f.folder() / "保存先";
        fs::create_directories(destination);
        f.desktop().folder = destination;
        footer.changeDestinationButton()->click();
        QCOMPARE(footer.destinationLabel()->text(), QString::fromStdString(destination.string()));

        // The choice survives a switch to renaming in place and back.
        footer.modePicker()->setCurrentIndex(0);
        emit footer.modePicker()->activated(0);
        QCOMPARE(footer.destinationLabel()->text(), QStringLiteral("元のフォルダ内でリネーム"));
        footer.modePicker()->setCurrentIndex(1);
        emit footer.modePicker()->activated(1);
        QCOMPARE(f.model().settings().mode, RenamePlan::Mode::move);
        QCOMPARE(footer.destinationLabel()->text(), QString::fromStdString(destination.string()));
    }

    void savingWithoutDestinationShowsTheAlert() {
        WindowFixture f;  // copy mode, no destination
        f.window().show();
        QVERIFY(f.drop({f.writeSample(0, "a.pdf")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
        QPushButton* save = f.window().footer()->saveButton();
        QCOMPARE(save->text(), QStringLiteral("1件をリネームして保存"));
        save->click();
        QTRY_VERIFY(f.window().alert() != nullptr);
        QMessageBox* alert = f.window().alert();
        QCOMPARE(alert->windowTitle(), QStringLiteral("タヴォリネーム"));
        QCOMPARE(alert->text(), QStringLiteral("先に保存先フォルダを選んでください。"));
        QCOMPARE(f.model().itemAt(0).status(), DocumentItem::Status::ready);
        QAbstractButton* ok = alert->buttons().value(0);
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        ok->click();
        QTRY_VERIFY(!f.model().alertMessage().has_value());
        QTRY_VERIFY(f.window().alert() == nullptr);
    }

    void savedItemShowsTheNameActuallyWritten() {
        AppSettings settings;
        WindowFixture f(settings);
        f.window().show();
        const fs::path destination = f.folder() / "out";
        fs::create_directories(destination);
        writeFile(destination / "20240315_さくら文具店_990.pdf", "already here");
        f.desktop().folder = destination;
        f.window().footer()->changeDestinationButton()->click();

        QVERIFY(f.drop({f.writeSample(0, "a.pdf"), f.writeSample(1, "b.pdf")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
        QVERIFY(!f.window().clearSavedAction()->isEnabled());
        FooterView& footer = *f.window().footer();
        QVERIFY(!footer.cancelButton()->isVisible());
        footer.saveButton()->click();
        // The save runs on the worker: the footer draws it while the window goes on.
        QVERIFY(f.model().isSaving());
        QVERIFY(footer.cancelButton()->isVisible());
        QVERIFY(!footer.saveButton()->isEnabled());
        QCOMPARE(footer.saveButton()->text(), QStringLiteral("保存中…"));
        QVERIFY(footer.progressLabel()->text().startsWith(QStringLiteral("保存中 ")));
        QVERIFY(footer.progressLabel()->text().endsWith(QStringLiteral("/2")));
        QTRY_VERIFY_WITH_TIMEOUT(!f.model().isSaving(), readingTimeout);
        QVERIFY(!footer.cancelButton()->isVisible());

        QCOMPARE(f.model().itemAt(0).status(), DocumentItem::Status::saved);
        QCOMPARE(cell(f, 0, DocumentTableModel::newNameColumn),
                 QStringLiteral("20240315_さくら文具店_990 (2).pdf"));
        QVERIFY(fs::exists(destination / "20240315_さくら文具店_990 (2).pdf"));
        QCOMPARE(cell(f, 0, DocumentTableModel::statusColumn, Qt::ToolTipRole), QStringLiteral("保存済み"));
        QVERIFY(f.window().footer()->summaryLabel()->isVisible());
        QCOMPARE(f.window().footer()->summaryLabel()->text(), QStringLiteral("2件を保存しました"));
        QTRY_COMPARE(f.window().footer()->saveButton()->text(), QStringLiteral("0件をリネームして保存"));
        QVERIFY(!f.window().footer()->saveButton()->isEnabled());
        QTRY_VERIFY(f.window().clearSavedAction()->isEnabled());

        // Re-reading leaves saved items alone.
        QVERIFY(f.drop({f.writeSample(2, "c.pdf")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
        f.window().reanalyzeAction()->trigger();
        QCOMPARE(f.model().itemAt(0).status(), DocumentItem::Status::saved);
        QCOMPARE(f.model().itemAt(2).status(), DocumentItem::Status::analyzing);
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);

        f.window().clearSavedAction()->trigger();
        QCOMPARE(f.model().itemCount(), 1);
        QCOMPARE(cell(f, 0, DocumentTableModel::originalNameColumn), QStringLiteral("c.pdf"));
        QTRY_VERIFY(!f.window().clearSavedAction()->isEnabled());
    }

    void theFooterSaysWhereTheBookGoes() {
        AppSettings settings;
        settings.mode = RenamePlan::Mode::renameInPlace;
        WindowFixture f(settings);
        FooterView& footer = *f.window().footer();
        QCOMPARE(footer.indexBookLabel()->text(),
                 QStringLiteral("1件目のファイルと同じフォルダの「索引簿.csv」"));

        // A destination kept from an earlier copy does not take the book when renaming in place.
        const fs::path earlier = f.folder() / "earlier";
        fs::create_directories(earlier);
        AppSettings changed = f.model().settings();
        changed.setDestination(earlier);
        f.model().setSettings(changed);
        QVERIFY(f.drop({f.writeSample(0, "in/a.pdf")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
        f.window().footer()->refreshCounts();
        QCOMPARE(footer.indexBookLabel()->text(),
                 QString::fromStdString((f.folder() / "in" / "索引簿.csv").string()));

        changed.mode = RenamePlan::Mode::copy;
        f.model().setSettings(changed);
        QCOMPARE(footer.indexBookLabel()->text(), QString::fromStdString((earlier / "索引簿.csv").string()));
        changed.writeIndexBook = false;
        f.model().setSettings(changed);
        QVERIFY(footer.indexBookLabel()->text().startsWith(QStringLiteral("追記しない")));
    }

    void moneyIsNeverCutAndTabGoesListPreviewFormFooter() {
        WindowFixture f;
        f.app().setDetailPaneFactory([](AppModel& model) { return new DetailPane(model); });
        f.window().resize(900, 560);
        f.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
        QVERIFY(f.drop({f.writeDocument(SamplePdf::receipt("さくら文具店", 3, 15, 24000087), "big.pdf")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.settled(), readingTimeout);
        QTRY_COMPARE(cell(f, 0, DocumentTableModel::amountColumn), QStringLiteral("¥24,000,087"));
        QTableView* table = f.window().table();
        const QString amount = cell(f, 0, DocumentTableModel::amountColumn);
        QVERIFY(table->columnWidth(DocumentTableModel::amountColumn) >
                table->fontMetrics().horizontalAdvance(amount));

        selectRows(f, {0});
        auto* pane = static_cast<DetailPane*>(f.window().detailWidget());
        DocumentDetailView& detail = *pane->detailView();
        table->setFocus();
        QTRY_VERIFY(table->hasFocus());
        QStringList visited;
        QWidget* focused = table;
        for (int k = 0; k < 30 && !f.window().footer()->isAncestorOf(focused); ++k) {
            QTest::keyClick(focused, Qt::Key_Tab);
            focused = QApplication::focusWidget();
            QVERIFY(focused);
            if (focused == detail.preview()->pdfView()) visited << "preview";
            if (focused == detail.dateField() || detail.dateField()->isAncestorOf(focused)) visited << "date";
            if (focused == detail.vendorField()) visited << "vendor";
            if (focused == detail.registrationField()) visited << "registration";
        }
        QVERIFY(f.window().footer()->isAncestorOf(focused));
        visited.removeDuplicates();
        QCOMPARE(visited, (QStringList{"preview", "date", "vendor", "registration"}));
    }

    void foldersCanBeAddedAndQtSpeaksJapanese() {
        WindowFixture f;
        QAction* folders = f.window().addFoldersAction();
        QCOMPARE(folders->text(), QStringLiteral("フォルダを追加…"));
        QVERIFY(f.window().addAction()->menu()->actions().contains(folders));
        QStringList fileMenu;
        for (QAction* action : f.window().menuBar()->actions().front()->menu()->actions())
            fileMenu << action->text();
        QVERIFY(fileMenu.contains(QStringLiteral("フォルダを追加…")));

        QVERIFY(TavoriNameApp::installQtTranslations(*QCoreApplication::instance()));
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QLineEdit field;
        std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
        QVERIFY(!menu->actions().isEmpty());
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                QVERIFY2(!action->text().contains(QStringLiteral("Undo")), qPrintable(action->text()));
    }
};

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "MainWindowTest.moc"
