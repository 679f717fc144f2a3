#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/DuplicateMarks.h"
#include "WindowTestSupport.h"

using namespace tavori;
namespace fs = std::filesystem;

namespace {

constexpr int readingTimeout = 30000;

QStringList marksOf(test::WindowFixture& f, int row) {
    return f.documents()
        ->index(row, DocumentTableModel::originalNameColumn)
        .data(DocumentTableModel::DuplicateRole)
        .toStringList();
}

// The marks are computed on the I/O worker: this waits until they are in place.
void refresh(test::WindowFixture& f) {
    QSignalSpy refreshed(&DuplicateMarks::of(f.model()), &DuplicateMarks::refreshed);
    DuplicateMarks::of(f.model()).refreshNow();
    ASSERT_TRUE(refreshed.wait(readingTimeout));
}

}  // namespace

TEST(DuplicateMarksTest, marksItemsBookedOrListedTwiceAndLeavesThemSavable) {
    test::TestFolder dest;
    test::writeFile(dest / "索引簿.csv",
                    "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n"
                    "1,2024/03/15,990,さくら文具店,領収書,20240315_さくら文具店_990.pdf,,\r\n");
    AppSettings settings;
    settings.setDestination(dest.path());
    test::WindowFixture f(settings);
    const fs::path booked = f.writeSample(0, "in/scan_0001.pdf");
    const fs::path cafe = f.writeSample(1, "in/scan_0002.pdf");
    const fs::path cafeAgain = f.writeSample(1, "in/scan_0002 again.pdf");
    const fs::path invoice = f.writeSample(2, "in/invoice-may.pdf");
    f.model().addFiles({booked, cafe, cafeAgain, invoice});
    ASSERT_TRUE(f.waitSettled());
    refresh(f);

    EXPECT_EQ(marksOf(f, 0),
              QStringList{"重複の可能性: 2024/03/15 ¥990 さくら文具店（20240315_さくら文具店_990.pdf）"});
    EXPECT_EQ(marksOf(f, 1),
              QStringList{"重複の可能性: 2024/04/02 ¥1,400 喫茶ひまわり（scan_0002 again.pdf）"});
    EXPECT_EQ(marksOf(f, 2), QStringList{"重複の可能性: 2024/04/02 ¥1,400 喫茶ひまわり（scan_0002.pdf）"});
    EXPECT_EQ(marksOf(f, 3), QStringList{});
    // A mark of its own: the status badge and review are as without it.
    EXPECT_FALSE(f.model().itemAt(1).needsReview());
    EXPECT_TRUE(
        !f.documents()->index(3, DocumentTableModel::originalNameColumn).data(Qt::DecorationRole).isValid());
    EXPECT_TRUE(
        f.documents()->index(1, DocumentTableModel::originalNameColumn).data(Qt::DecorationRole).isValid());

    // Removing one copy clears the other's mark; saving keeps nothing back and leaves no saved item
    // marked. What was saved marks what is read again: that is the detector's to test.
    f.model().remove({f.model().itemAt(2).id()});
    refresh(f);
    EXPECT_EQ(marksOf(f, 1), QStringList{});
    f.model().saveReady();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.model().isSaving(); }, readingTimeout));
    EXPECT_EQ(f.model().lastSaveSummary(), std::optional<std::string>("3件を保存しました"));
    refresh(f);
    for (int row = 0; row < f.model().itemCount(); ++row) EXPECT_EQ(marksOf(f, row), QStringList{});
}
