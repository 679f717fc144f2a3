#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

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

using test::child;

QStringList column(const QTableView* table, int column) {
    QStringList values;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        values << table->model()->index(row, column).data().toString();
    return values;
}

// Reading and searching run on the I/O worker; these wait for the answer on screen.
void settle(IndexBookSearchWindow& window) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isIdle(); }, 10000));
}

void type(IndexBookSearchWindow& window, QLineEdit* field, const QString& text) {
    field->setText(text);
    settle(window);
}

// The search window over the destination's book, once it has been read.
class IndexBookSearchWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeFile(dest / "索引簿.csv", kBook);
        test::writeFile(dest / "20240315_セブンイレブン_302.pdf", "x");
        AppSettings settings;
        settings.setDestination(dest.path());
        fixture = std::make_unique<test::WindowFixture>(settings);
        window = std::make_unique<IndexBookSearchWindow>(fixture->model(), fixture->desktop());
        settle(*window);
    }
    test::TestFolder dest;
    std::unique_ptr<test::WindowFixture> fixture;
    std::unique_ptr<IndexBookSearchWindow> window;
};

}  // namespace

TEST_F(IndexBookSearchWindowTest, searchesTheDestinationsBookAsConditionsAreTyped) {
    auto* hits = child<QTableView>(window.get(), "hits");
    auto* message = child<QLabel>(window.get(), "message");
    EXPECT_EQ(window->book(), dest / "索引簿.csv");
    EXPECT_EQ(column(hits, 1), (QStringList{"2024/01/05", "2024/03/15", "2024/03/31"}));
    EXPECT_EQ(message->text(), "3件見つかりました");

    type(*window, child<QLineEdit>(window.get(), "from"), QStringLiteral("2024-03-15"));
    type(*window, child<QLineEdit>(window.get(), "max"), QStringLiteral("1,000"));
    EXPECT_EQ(column(hits, 5),
              (QStringList{"20240315_セブンイレブン_302.pdf", "20240331_ローソン_1000.pdf"}));
    EXPECT_EQ(column(hits, 2), (QStringList{"¥302", "¥1,000"}));
    // Keys typed faster than the searches run: only the last one's answer is shown.
    window->vendorField()->setText(QStringLiteral("ｾﾌﾞﾝ"));
    type(*window, window->vendorField(), QStringLiteral("ＳＥＶＥＮ"));
    EXPECT_EQ(hits->model()->rowCount(), 0);
    type(*window, window->vendorField(), QStringLiteral("セブン"));
    EXPECT_EQ(hits->model()->rowCount(), 1);
    child<QComboBox>(window.get(), "type")->setCurrentText(QStringLiteral("請求書"));
    settle(*window);
    EXPECT_EQ(hits->model()->rowCount(), 0);

    // A condition that cannot be read says so and finds nothing.
    child<QComboBox>(window.get(), "type")->setCurrentIndex(0);
    type(*window, child<QLineEdit>(window.get(), "to"), QStringLiteral("三月"));
    EXPECT_EQ(hits->model()->rowCount(), 0);
    EXPECT_EQ(message->text(), "日付は 2024-01-31 の形（1990年から2100年まで）で指定してください: 三月");
}

TEST_F(IndexBookSearchWindowTest, opensRevealsAndExportsOnlyWhatIsThere) {
    auto* hits = child<QTableView>(window.get(), "hits");
    auto* reveal = child<QPushButton>(window.get(), "reveal");
    EXPECT_FALSE(reveal->isEnabled());
    hits->selectRow(0);  // the invoice: its file is gone
    EXPECT_FALSE(reveal->isEnabled());
    EXPECT_FALSE(child<QPushButton>(window.get(), "open")->isEnabled());
    hits->selectRow(1);
    EXPECT_TRUE(reveal->isEnabled());
    reveal->click();
    EXPECT_EQ(fixture->desktop().revealed, (std::vector<fs::path>{dest / "20240315_セブンイレブン_302.pdf"}));

    type(*window, child<QLineEdit>(window.get(), "registration"), QStringLiteral("T9876543210987"));
    fixture->desktop().saveAnswer = dest / "out" / "結果.csv";
    fs::create_directories(dest / "out");
    QSignalSpy exported(window.get(), &IndexBookSearchWindow::exported);
    child<QPushButton>(window.get(), "export")->click();
    EXPECT_TRUE(exported.wait(10000));
    const auto rows = IndexBookReader::parse(test::readFile(dest / "out" / "結果.csv"));
    ASSERT_EQ(rows.size(), std::size_t{1});
    EXPECT_EQ(rows[0].vendor, std::string("みどり印刷"));
    EXPECT_TRUE(test::readFile(dest / "out" / "結果.csv").starts_with("\xEF\xBB\xBF連番,"));
}

TEST(IndexBookSearchWindowWithoutDestinationTest, anotherBookAndBrokenBooks) {
    test::TestFolder folder;
    test::WindowFixture fixture;  // no destination
    IndexBookSearchWindow window(fixture.model(), fixture.desktop());
    auto* hits = child<QTableView>(&window, "hits");
    EXPECT_EQ(hits->model()->rowCount(), 0);
    EXPECT_FALSE(child<QPushButton>(&window, "export")->isEnabled());

    test::writeFile(folder / "broken.csv", std::string("\x81\xFD\xFF", 3));
    window.setBook(folder / "broken.csv");
    settle(window);
    EXPECT_EQ(child<QLabel>(&window, "message")->text(),
              QString::fromStdString("索引簿を読めません: " + (folder / "broken.csv").string() +
                                     "（文字コードがUTF-8でもShift_JISでもありません）"));
    test::writeFile(folder / "other" / "索引簿.csv", kBook);
    window.setBook(folder / "other");
    settle(window);
    EXPECT_EQ(hits->model()->rowCount(), 3);
}
