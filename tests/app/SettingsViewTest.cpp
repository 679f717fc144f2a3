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
    EXPECT_EQ(view.templateField()->text(), QStringLiteral("{date}_{vendor}_{amount}"));
    EXPECT_EQ(view.dateFormatField()->text(), QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(view.vendorLengthLabel()->text(), QStringLiteral("取引先名の最大文字数: 30"));
    EXPECT_TRUE(view.indexBookToggle()->isChecked());
    EXPECT_EQ(view.indexBookNameField()->text(), QStringLiteral("索引簿.csv"));
    EXPECT_EQ(view.previewLabel()->text(), QStringLiteral("20260314_セブンイレブン_788"));
    EXPECT_TRUE(view.stripSuffixToggle()->isChecked());
    const QStringList styles = {"12345", "12345円", "12,345", "12,345円"};
    ASSERT_EQ(view.amountStylePicker()->count(), styles.size());
    for (int i = 0; i < styles.size(); ++i) EXPECT_EQ(view.amountStylePicker()->itemText(i), styles[i]);
    EXPECT_TRUE(edits.isEmpty());
}

TEST_F(SettingsViewTest, EachControlWritesThroughAtOnce) {
    QTest::keyClicks(view.templateField(), "_{type}");
    EXPECT_EQ(lastEdit().nameTemplate.templateText, "{date}_{vendor}_{amount}_{type}");
    EXPECT_EQ(view.previewLabel()->text(), QStringLiteral("20260314_セブンイレブン_788_領収書"));

    view.dateFormatField()->selectAll();
    QTest::keyClicks(view.dateFormatField(), "yyyy-MM-dd");
    EXPECT_EQ(lastEdit().nameTemplate.dateFormat, "yyyy-MM-dd");

    view.amountStylePicker()->setCurrentIndex(3);
    emit view.amountStylePicker()->activated(3);
    EXPECT_EQ(lastEdit().nameTemplate.amountStyle, FileNameTemplate::AmountStyle::groupedYen);
    // No separator below 1,000.
    EXPECT_EQ(view.previewLabel()->text(), QStringLiteral("2026-03-14_セブンイレブン_788円_領収書"));

    view.indexBookToggle()->click();
    EXPECT_FALSE(lastEdit().writeIndexBook);
    view.indexBookNameField()->selectAll();
    QTest::keyClicks(view.indexBookNameField(), "book.csv");
    EXPECT_EQ(lastEdit().indexBookFileName, "book.csv");
    type(view.recipientField(), QStringLiteral("山田商店"));
    EXPECT_EQ(lastEdit().recipientName, "山田商店");
    view.stripSuffixToggle()->click();
    EXPECT_FALSE(lastEdit().aliases.stripCorporateSuffix);
    EXPECT_EQ(view.settings(), lastEdit());
}

TEST_F(SettingsViewTest, AnEmptyTemplateIsKeptAndPreviewsAsNothing) {
    view.templateField()->selectAll();
    QTest::keyClick(view.templateField(), Qt::Key_Delete);
    EXPECT_EQ(lastEdit().nameTemplate.templateText, "");
    EXPECT_EQ(view.previewLabel()->text(), QString());
}

TEST_F(SettingsViewTest, TheStepperStaysBetweenEightAndSixty) {
    QSpinBox* stepper = view.vendorLengthStepper();
    stepper->setValue(9);
    EXPECT_EQ(lastEdit().nameTemplate.maxVendorLength, 9);
    stepper->stepDown();
    stepper->stepDown();
    stepper->stepDown();
    EXPECT_EQ(stepper->value(), 8);
    EXPECT_EQ(lastEdit().nameTemplate.maxVendorLength, 8);
    EXPECT_EQ(view.vendorLengthLabel()->text(), QStringLiteral("取引先名の最大文字数: 8"));
    stepper->setValue(100);
    EXPECT_EQ(lastEdit().nameTemplate.maxVendorLength, 60);
    stepper->stepUp();
    EXPECT_EQ(stepper->value(), 60);
}

TEST_F(SettingsViewTest, AStoredLengthOutsideTheRangeIsShownButNotRewritten) {
    AppSettings settings;
    settings.nameTemplate.maxVendorLength = 100;
    view.setSettings(settings);
    EXPECT_EQ(view.vendorLengthStepper()->value(), 60);
    EXPECT_EQ(view.vendorLengthLabel()->text(), QStringLiteral("取引先名の最大文字数: 100"));
    EXPECT_TRUE(edits.isEmpty());
    EXPECT_EQ(view.settings().nameTemplate.maxVendorLength, 100);
}

TEST_F(SettingsViewTest, RulesAreAddedAtTheEndAndDeletedByIdentity) {
    AppSettings settings;
    const Uuid first = Uuid::random();
    const Uuid twin = Uuid::random();
    settings.aliases.rules = {{first, "セブン", "セブンイレブン"}, {twin, "セブン", "セブンイレブン"}};
    view.setSettings(settings);
    ASSERT_EQ(view.ruleRows().size(), 2u);
    EXPECT_EQ(view.ruleRows()[1].pattern->text(), QStringLiteral("セブン"));

    view.addRuleButton()->click();
    auto rules = lastEdit().aliases.rules;
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[2].pattern, "");
    EXPECT_EQ(rules[2].canonical, "");
    EXPECT_NE(rules[2].id, first);
    ASSERT_EQ(view.ruleRows().size(), 3u);
    EXPECT_TRUE(view.ruleRows()[2].pattern->text().isEmpty());

    type(view.ruleRows()[2].canonical, QStringLiteral("ローソン"));
    EXPECT_EQ(lastEdit().aliases.rules[2].canonical, "ローソン");

    // Two rows with the same texts: deleting the second leaves the first.
    view.ruleRows()[1].remove->click();
    // The row goes on the next event-loop turn: a button is not deleted inside its own click.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.ruleRows().size() == 2; }, 5000));
    rules = lastEdit().aliases.rules;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].id, first);
    EXPECT_EQ(rules[1].canonical, "ローソン");
    EXPECT_EQ(view.ruleRows()[1].canonical->text(), QStringLiteral("ローソン"));
}

TEST_F(SettingsViewTest, RememberedVendorsAreListedAndEachCanBeForgotten) {
    AppSettings settings;
    settings.vendors.remember(VendorMemory::Kind::registrationNumber, "T5000012010024", "みなと製菓");
    settings.vendors.remember(VendorMemory::Kind::telephone, "0312345678", "みなと製菓");
    view.setSettings(settings);
    ASSERT_EQ(view.vendorRows().size(), 2u);
    EXPECT_TRUE(
        view.vendorRows()[1].row->findChild<QLabel*>()->text().contains(QStringLiteral("03-1234-5678")));
    view.vendorRows()[0].remove->click();
    ASSERT_TRUE(edits.wait(1000));
    const auto left = lastEdit().vendors.entries;
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].kind, VendorMemory::Kind::telephone);
    EXPECT_EQ(view.vendorRows().size(), 1u);
}

TEST_F(SettingsViewTest, ShowingNewSettingsKeepsTheFieldBeingTyped) {
    view.templateField()->setFocus();
    QTest::keyClicks(view.templateField(), "_x");
    view.templateField()->setCursorPosition(3);
    AppSettings settings = view.settings();
    settings.recipientName = "自分";
    view.setSettings(settings);
    EXPECT_EQ(view.templateField()->cursorPosition(), 3);
    EXPECT_EQ(view.recipientField()->text(), QStringLiteral("自分"));
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
    QTest::keyClicks(view.templateField(), "_{regno}");
    EXPECT_EQ(model.settings().nameTemplate.templateText, "{date}_{vendor}_{amount}_{regno}");
    EXPECT_EQ(written.count(), 0) << "not one write per key";
    ASSERT_TRUE(written.wait(10000));
    EXPECT_EQ(written.count(), 1);
    EXPECT_EQ(AppSettings::load(store).nameTemplate.templateText, "{date}_{vendor}_{amount}_{regno}");
    view.vendorLengthStepper()->stepDown();
    waitForWrite(model);
    EXPECT_EQ(AppSettings::load(store).nameTemplate.maxVendorLength, 29);
    view.addRuleButton()->click();
    waitForWrite(model);
    ASSERT_EQ(AppSettings::load(store).aliases.rules.size(), 1u);

    // A rule learnt elsewhere (the detail pane) shows as a row at once.
    AppSettings changed = model.settings();
    changed.aliases.rules.push_back({Uuid::random(), "ｾﾌﾞﾝ", "セブンイレブン"});
    model.setSettings(changed);
    ASSERT_EQ(view.ruleRows().size(), 2u);
    EXPECT_EQ(view.ruleRows()[1].canonical->text(), QStringLiteral("セブンイレブン"));
    view.ruleRows()[0].remove->click();
    waitForWrite(model);
    ASSERT_EQ(AppSettings::load(store).aliases.rules.size(), 1u);
    EXPECT_EQ(AppSettings::load(store).aliases.rules[0].canonical, "セブンイレブン");
}

TEST(SettingsWindowTest, TheInboxTabChoosesAFolderTurnsItOffAndSwitchesAutoSave) {
    test::TestFolder folder;
    test::ScriptedDesktop desktop;
    desktop.folderAnswer = folder.path();
    const SettingsStore store(folder / "defaults.json");
    AppModel model(AppSettings{}, store, desktop);
    SettingsView view(model);
    EXPECT_EQ(view.inboxFolderLabel()->text(), QStringLiteral("オフ（監視しません）"));
    EXPECT_FALSE(view.inboxOffButton()->isEnabled());
    EXPECT_FALSE(view.autoSaveToggle()->isChecked()) << "off by default";

    view.chooseInboxButton()->click();
    waitForWrite(model);
    ASSERT_TRUE(AppSettings::load(store).inbox);
    EXPECT_EQ(*AppSettings::load(store).inbox, folder.path());
    EXPECT_EQ(view.inboxFolderLabel()->text(), QString::fromStdString(folder.path().native()));
    view.autoSaveToggle()->click();
    waitForWrite(model);
    EXPECT_TRUE(AppSettings::load(store).autoSaveConfident);

    view.inboxOffButton()->click();
    waitForWrite(model);
    EXPECT_FALSE(AppSettings::load(store).inbox);
    EXPECT_TRUE(AppSettings::load(store).autoSaveConfident) << "the switch stays for the next folder";
    EXPECT_EQ(view.inboxFolderLabel()->text(), QStringLiteral("オフ（監視しません）"));
}

}  // namespace
}  // namespace tavori
