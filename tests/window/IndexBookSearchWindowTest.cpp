#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "TavoriCore/IndexBookReader.h"
#include "TavoriName/IndexBookSearchWindow.h"
#include "WindowTestSupport.h"

using namespace tavori;
namespace fs = std::filesystem;

namespace {

const std::string kBook =
    "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n"
    "1,2024/03/15,302,セブンイレブン,領収書,20240315_セブンイレブン_302.pdf,,\r\n"
    "2,2024/01/05,49500,みどり印刷,請求書,20240105_みどり印刷_49500.pdf,T9876543210987,\r\n"
    "3,2024/03/31,1000,ローソン,領収書,20240331_ローソン_1000.pdf,,\r\n";

AppSettings withDestination(const fs::path& folder) {
    AppSettings settings;
    settings.setDestination(folder);
    return settings;
}

QStringList column(const QTableView* table, int column) {
    QStringList values;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        values << table->model()->index(row, column).data().toString();
    return values;
}

// Reading and searching run on the I/O worker; these wait for the answer on screen.
void settle(IndexBookSearchWindow& window) {
    QTRY_VERIFY_WITH_TIMEOUT(window.isIdle(), 10000);
}

void type(IndexBookSearchWindow& window, QLineEdit* field, const QString& text) {
    field->setText(text);
    settle(window);
}

}  // namespace

class IndexBookSearchWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void searchesTheDestinationsBookAsConditionsAreTyped() {
        test::TestFolder dest;
        test::writeFile(dest / "索引簿.csv", kBook);
        test::writeFile(dest / "20240315_セブンイレブン_302.pdf", "x");
        test::WindowFixture fixture(withDestination(dest.path()));
        IndexBookSearchWindow window(fixture.model(), fixture.desktop());
        settle(window);

        QCOMPARE(window.book(), dest / "索引簿.csv");
        QCOMPARE(column(window.table(), 1), (QStringList{"2024/01/05", "2024/03/15", "2024/03/31"}));
        QCOMPARE(window.message()->text(), QStringLiteral("3件見つかりました"));

        type(window, window.fromField(), QStringLiteral("2024-03-15"));
        type(window, window.maxField(), QStringLiteral("1,000"));
        QCOMPARE(column(window.table(), 5),
                 (QStringList{"20240315_セブンイレブン_302.pdf", "20240331_ローソン_1000.pdf"}));
        QCOMPARE(column(window.table(), 2), (QStringList{"¥302", "¥1,000"}));
        // Keys typed faster than the searches run: only the last one's answer is shown.
        window.vendorField()->setText(QStringLiteral("ｾﾌﾞﾝ"));
        type(window, window.vendorField(), QStringLiteral("ＳＥＶＥＮ"));
        QCOMPARE(window.table()->model()->rowCount(), 0);
        type(window, window.vendorField(), QStringLiteral("セブン"));
        QCOMPARE(window.table()->model()->rowCount(), 1);
        window.typeField()->setCurrentText(QStringLiteral("請求書"));
        settle(window);
        QCOMPARE(window.table()->model()->rowCount(), 0);

        // A condition that cannot be read says so and finds nothing.
        window.typeField()->setCurrentIndex(0);
        type(window, window.toField(), QStringLiteral("三月"));
        QCOMPARE(window.table()->model()->rowCount(), 0);
        QCOMPARE(window.message()->text(),
                 QStringLiteral("日付は 2024-01-31 の形（1990年から2100年まで）で指定してください: 三月"));
    }

    void opensRevealsAndExportsOnlyWhatIsThere() {
        test::TestFolder dest;
        test::writeFile(dest / "索引簿.csv", kBook);
        test::writeFile(dest / "20240315_セブンイレブン_302.pdf", "x");
        test::WindowFixture fixture(withDestination(dest.path()));
        IndexBookSearchWindow window(fixture.model(), fixture.desktop());
        settle(window);

        QVERIFY(!window.revealButton()->isEnabled());
        window.table()->selectRow(0);  // the invoice: its file is gone
        QVERIFY(!window.revealButton()->isEnabled());
        QVERIFY(!window.openButton()->isEnabled());
        window.table()->selectRow(1);
        QVERIFY(window.revealButton()->isEnabled());
        window.revealButton()->click();
        QCOMPARE(fixture.desktop().revealed,
                 (std::vector<fs::path>{dest / "20240315_セブンイレブン_302.pdf"}));

        type(window, window.registrationField(), QStringLiteral("T9876543210987"));
        fixture.desktop().saveLocation = dest / "out" / "結果.csv";
        fs::create_directories(dest / "out");
        QSignalSpy exported(&window, &IndexBookSearchWindow::exported);
        window.exportButton()->click();
        QVERIFY(exported.wait(10000));
        const auto rows = IndexBookReader::parse(test::readFile(dest / "out" / "結果.csv"));
        QCOMPARE(rows.size(), std::size_t{1});
        QCOMPARE(rows[0].vendor, std::string("みどり印刷"));
        QVERIFY(test::readFile(dest / "out" / "結果.csv").starts_with("\xEF\xBB\xBF連番,"));
    }

    void anotherBookAndBrokenBooks() {
        test::TestFolder folder;
        test::WindowFixture fixture;  // no destination
        IndexBookSearchWindow window(fixture.model(), fixture.desktop());
        QCOMPARE(window.table()->model()->rowCount(), 0);
        QVERIFY(!window.exportButton()->isEnabled());

        test::writeFile(folder / "broken.csv", std::string("\x81\xFD\xFF", 3));
        window.setBook(folder / "broken.csv");
        settle(window);
        QCOMPARE(window.message()->text(),
                 QString::fromStdString("索引簿を読めません: " + (folder / "broken.csv").string() +
                                        "（文字コードがUTF-8でもShift_JISでもありません）"));
        test::writeFile(folder / "other" / "索引簿.csv", kBook);
        window.setBook(folder / "other");
        settle(window);
        QCOMPARE(window.table()->model()->rowCount(), 3);
    }
};

QTEST_MAIN(IndexBookSearchWindowTest)
#include "IndexBookSearchWindowTest.moc"
