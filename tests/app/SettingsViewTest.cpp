#include "TavoriName/SettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "TavoriName/AppModel.h"
#include "tests/TestFiles.h"
#include "tests/app/AppTestSupport.h"

namespace tavori {
namespace {

using test::child;

// The rows named `name` ("rule", "vendor") in list order.
QList<QWidget*> rows(const SettingsView& view, const char* name) {
    return view.findChildren<QWidget*>(QString::fromLatin1(name));
}

// Types `text` as key presses; QTest::keyClicks takes only ASCII.
void type(QWidget* widget, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
}

class SettingsViewTest : public ::testing::Test {
  protected:
    SettingsViewTest() : edits(&view, &SettingsView::settingsEdited) { view.show(); }

    // What the last edit reported.
    AppSettings lastEdit() {
        EXPECT_FALSE(edits.isEmpty());
        return edits.isEmpty() ? AppSettings{} : edits.last().front().value<AppSettings>();
    }

    SettingsView view;
    QSignalSpy edits;
};

TEST_F(SettingsViewTest, ShowsTheSettingsAndTheStandardPreview) {
    EXPECT_EQ(view.size(), QSize(520, 400));
    EXPECT_EQ(view.count(), 3);
    EXPECT_EQ(view.tabText(0), QStringLiteral("ファイル名"));
    EXPECT_EQ(view.tabText(1), QStringLiteral("取引先"));
    EXPECT_EQ(view.tabText(2), QStringLiteral("受信フォルダ"));
    EXPECT_EQ(child<QLineEdit>(&view, "template")->text(), QStringLiteral("{date}_{vendor}_{amount}"));
    EXPECT_EQ(child<QLineEdit>(&view, "dateFormat")->text(), QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(child<QLabel>(&view, "vendorLengthText")->text(), QStringLiteral("取引先名の最大文字数: 30"));
    EXPECT_TRUE(child<QCheckBox>(&view, "indexBook")->isChecked());
    EXPECT_EQ(child<QLineEdit>(&view, "indexBookName")->text(), QStringLiteral("索引簿.csv"));
    EXPECT_EQ(child<QLabel>(&view, "preview")->text(), QStringLiteral("20260314_セブンイレブン_788"));
    EXPECT_TRUE(child<QCheckBox>(&view, "stripSuffix")->isChecked());
    const QStringList styles = {"12345", "12345円", "12,345", "12,345円"};
    ASSERT_EQ(child<QComboBox>(&view, "amountStyle")->count(), styles.size());
    for (int i = 0; i < styles.size(); ++i)
        EXPECT_EQ(child<QComboBox>(&view, "amountStyle")->itemText(i), styles[i]);
    EXPECT_TRUE(edits.isEmpty());
}

TEST_F(SettingsViewTest, EachControlWritesThroughAtOnce) {
    QTest::keyClicks(child<QLineEdit>(&view, "template"), "_{type}");
    EXPECT_EQ(lastEdit().nameTemplate.templateText, "{date}_{vendor}_{amount}_{type}");
    EXPECT_EQ(child<QLabel>(&view, "preview")->text(), QStringLiteral("20260314_セブンイレブン_788_領収書"));

    child<QLineEdit>(&view, "dateFormat")->selectAll();
    QTest::keyClicks(child<QLineEdit>(&view, "dateFormat"), "yyyy-MM-dd");
    EXPECT_EQ(lastEdit().nameTemplate.dateFormat, "yyyy-MM-dd");

    child<QComboBox>(&view, "amountStyle")->setCurrentIndex(3);
    emit child<QComboBox>(&view, "amountStyle")->activated(3);
    EXPECT_EQ(lastEdit().nameTemplate.amountStyle, FileNameTemplate::AmountStyle::groupedYen);
    // No separator below 1,000.
    EXPECT_EQ(child<QLabel>(&view, "preview")->text(),
              QStringLiteral("2026-03-14_セブンイレブン_788円_領収書"));

    child<QCheckBox>(&view, "indexBook")->click();
    EXPECT_FALSE(lastEdit().writeIndexBook);
    child<QLineEdit>(&view, "indexBookName")->selectAll();
    QTest::keyClicks(child<QLineEdit>(&view, "indexBookName"), "book.csv");
    EXPECT_EQ(lastEdit().indexBookFileName, "book.csv");
    type(child<QLineEdit>(&view, "recipient"), QStringLiteral("山田商店"));
    EXPECT_EQ(lastEdit().recipientName, "山田商店");
    child<QCheckBox>(&view, "stripSuffix")->click();
    EXPECT_FALSE(lastEdit().aliases.stripCorporateSuffix);
    EXPECT_EQ(view.settings(), lastEdit());
}

TEST_F(SettingsViewTest, AnEmptyTemplateIsKeptAndPreviewsAsNothing) {
    child<QLineEdit>(&view, "template")->selectAll();
    QTest::keyClick(child<QLineEdit>(&view, "template"), Qt::Key_Delete);
    EXPECT_EQ(lastEdit().nameTemplate.templateText, "");
    EXPECT_EQ(child<QLabel>(&view, "preview")->text(), QString());
}

TEST_F(SettingsViewTest, TheStepperStaysBetweenEightAndSixty) {
    QSpinBox* stepper = child<QSpinBox>(&view, "vendorLength");
    stepper->setValue(3);
    EXPECT_EQ(lastEdit().nameTemplate.maxVendorLength, 8);
    EXPECT_EQ(child<QLabel>(&view, "vendorLengthText")->text(), QStringLiteral("取引先名の最大文字数: 8"));
    stepper->setValue(100);
    EXPECT_EQ(lastEdit().nameTemplate.maxVendorLength, 60);
}

TEST_F(SettingsViewTest, AStoredLengthOutsideTheRangeIsShownButNotRewritten) {
    AppSettings settings;
    settings.nameTemplate.maxVendorLength = 100;
    view.setSettings(settings);
    EXPECT_EQ(child<QSpinBox>(&view, "vendorLength")->value(), 60);
    EXPECT_EQ(child<QLabel>(&view, "vendorLengthText")->text(), QStringLiteral("取引先名の最大文字数: 100"));
    EXPECT_TRUE(edits.isEmpty());
    EXPECT_EQ(view.settings().nameTemplate.maxVendorLength, 100);
}

TEST_F(SettingsViewTest, RulesAreAddedAtTheEndAndDeletedByIdentity) {
    AppSettings settings;
    const Uuid first = Uuid::random();
    const Uuid twin = Uuid::random();
    settings.aliases.rules = {{first, "セブン", "セブンイレブン"}, {twin, "セブン", "セブンイレブン"}};
    view.setSettings(settings);
    ASSERT_EQ(rows(view, "rule").size(), 2);
    EXPECT_EQ(child<QLineEdit>(rows(view, "rule")[1], "pattern")->text(), QStringLiteral("セブン"));

    child<QPushButton>(&view, "addRule")->click();
    auto rules = lastEdit().aliases.rules;
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[2].pattern, "");
    EXPECT_EQ(rules[2].canonical, "");
    EXPECT_NE(rules[2].id, first);
    ASSERT_EQ(rows(view, "rule").size(), 3);
    EXPECT_TRUE(child<QLineEdit>(rows(view, "rule")[2], "pattern")->text().isEmpty());

    type(child<QLineEdit>(rows(view, "rule")[2], "canonical"), QStringLiteral("ローソン"));
    EXPECT_EQ(lastEdit().aliases.rules[2].canonical, "ローソン");

    // Two rows with the same texts: deleting the second leaves the first.
    child<QToolButton>(rows(view, "rule")[1], "remove")->click();
    // The row goes on the next event-loop turn: a button is not deleted inside its own click.
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows(view, "rule").size() == 2; }, 5000));
    rules = lastEdit().aliases.rules;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].id, first);
    EXPECT_EQ(rules[1].canonical, "ローソン");
    EXPECT_EQ(child<QLineEdit>(rows(view, "rule")[1], "canonical")->text(), QStringLiteral("ローソン"));
}

TEST_F(SettingsViewTest, RememberedVendorsAreListedAndEachCanBeForgotten) {
    AppSettings settings;
    settings.vendors.remember(VendorMemory::Kind::registrationNumber, "T5000012010024", "みなと製菓");
    settings.vendors.remember(VendorMemory::Kind::telephone, "0312345678", "みなと製菓");
    view.setSettings(settings);
    ASSERT_EQ(rows(view, "vendor").size(), 2);
    EXPECT_TRUE(
        rows(view, "vendor")[1]->findChild<QLabel*>()->text().contains(QStringLiteral("03-1234-5678")));
    child<QToolButton>(rows(view, "vendor")[0], "remove")->click();
    ASSERT_TRUE(edits.wait(1000));
    const auto left = lastEdit().vendors.entries;
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].kind, VendorMemory::Kind::telephone);
    EXPECT_EQ(rows(view, "vendor").size(), 1);
}

TEST_F(SettingsViewTest, ShowingNewSettingsKeepsTheFieldBeingTyped) {
    child<QLineEdit>(&view, "template")->setFocus();
    QTest::keyClicks(child<QLineEdit>(&view, "template"), "_x");
    child<QLineEdit>(&view, "template")->setCursorPosition(3);
    AppSettings settings = view.settings();
    settings.recipientName = "自分";
    view.setSettings(settings);
    EXPECT_EQ(child<QLineEdit>(&view, "template")->cursorPosition(), 3);
    EXPECT_EQ(child<QLineEdit>(&view, "recipient")->text(), QStringLiteral("自分"));
}

// The model writes the settings after a quiet time, on its worker: this waits for the write.
void waitForWrite(AppModel& model) {
    QSignalSpy written(&model, &AppModel::settingsWritten);
    ASSERT_TRUE(written.wait(10000));
}

TEST(SettingsWindowTest, EachChangeTakesEffectAtOnceIsStoredOnceTypingPausesAndModelChangesShow) {
    test::TestFolder folder;
    test::ScriptedDesktop desktop;
    const SettingsStore store(folder / "defaults.json");
    AppModel model(AppSettings{}, store, desktop);
    SettingsView view(model);
    view.show();
    QSignalSpy written(&model, &AppModel::settingsWritten);
    QTest::keyClicks(child<QLineEdit>(&view, "template"), "_{regno}");
    EXPECT_EQ(model.settings().nameTemplate.templateText, "{date}_{vendor}_{amount}_{regno}");
    EXPECT_EQ(written.count(), 0) << "not one write per key";
    ASSERT_TRUE(written.wait(10000));
    EXPECT_EQ(written.count(), 1);
    EXPECT_EQ(AppSettings::load(store).nameTemplate.templateText, "{date}_{vendor}_{amount}_{regno}");

    // A rule learnt elsewhere (the detail pane) shows as a row at once; removing it here is stored.
    AppSettings changed = model.settings();
    changed.aliases.rules = {{Uuid::random(), "ｾﾌﾞﾝ", "セブンイレブン"},
                             {Uuid::random(), "ﾛｰｿﾝ", "ローソン"}};
    model.setSettings(changed);
    ASSERT_EQ(rows(view, "rule").size(), 2);
    EXPECT_EQ(child<QLineEdit>(rows(view, "rule")[1], "canonical")->text(), QStringLiteral("ローソン"));
    child<QToolButton>(rows(view, "rule")[0], "remove")->click();
    waitForWrite(model);
    ASSERT_EQ(AppSettings::load(store).aliases.rules.size(), 1u);
    EXPECT_EQ(AppSettings::load(store).aliases.rules[0].canonical, "ローソン");
}

TEST(SettingsWindowTest, TheInboxTabChoosesAFolderTurnsItOffAndSwitchesAutoSave) {
    test::TestFolder folder;
    test::ScriptedDesktop desktop;
    desktop.folderAnswer = folder.path();
    const SettingsStore store(folder / "defaults.json");
    AppModel model(AppSettings{}, store, desktop);
    SettingsView view(model);
    EXPECT_EQ(child<QLabel>(&view, "inbox")->text(), QStringLiteral("オフ（監視しません）"));
    EXPECT_FALSE(child<QPushButton>(&view, "inboxOff")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(&view, "autoSave")->isChecked()) << "off by default";

    child<QPushButton>(&view, "chooseInbox")->click();
    waitForWrite(model);
    ASSERT_TRUE(AppSettings::load(store).inbox);
    EXPECT_EQ(*AppSettings::load(store).inbox, folder.path());
    EXPECT_EQ(child<QLabel>(&view, "inbox")->text(), QString::fromStdString(folder.path().native()));
    child<QCheckBox>(&view, "autoSave")->click();
    waitForWrite(model);
    EXPECT_TRUE(AppSettings::load(store).autoSaveConfident);

    child<QPushButton>(&view, "inboxOff")->click();
    waitForWrite(model);
    EXPECT_FALSE(AppSettings::load(store).inbox);
    EXPECT_TRUE(AppSettings::load(store).autoSaveConfident) << "the switch stays for the next folder";
    EXPECT_EQ(child<QLabel>(&view, "inbox")->text(), QStringLiteral("オフ（監視しません）"));
}

}  // namespace
}  // namespace tavori
