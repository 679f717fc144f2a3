#include "TavoriName/DetailPane.h"

#include <cstdlib>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "TavoriKit/registry/RegistryImporter.h"
#include "TavoriName/AppModel.h"
#include "TavoriName/ConfidenceDot.h"
#include "TavoriName/DocumentDetailView.h"
#include "TavoriName/DocumentPreview.h"
#include "samples/RegistrySample.h"
#include "samples/SamplePdf.h"
#include "tests/TestFiles.h"
#include "tests/app/AppTestSupport.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using Field = DocumentItem::Field;
using Level = FieldConfidence::Level;

// Types `text` as key presses; QTest::keyClicks takes only ASCII.
void type(QWidget* widget, const QString& text) {
    widget->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
}

void replaceText(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        type(field, text);
}

class DetailPaneTest : public ::testing::Test {
  protected:
    DetailPaneTest() : model(AppSettings{}, SettingsStore(folder / "defaults.json"), desktop), pane(model) {
        pane.resize(520, 900);
        pane.show();
    }

    // Adds the document and waits until its analysis is over.
    const DocumentItem& add(const SamplePdf::Document& document) {
        const fs::path path = folder / document.fileName;
        SamplePdf::write(path, document);
        return addFile(path);
    }

    const DocumentItem& addFile(const fs::path& path) {
        model.addFiles({path});
        const int row = model.itemCount() - 1;
        EXPECT_GE(row, 0);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const auto status = model.itemAt(row).status();
                return status != DocumentItem::Status::queued && status != DocumentItem::Status::analyzing;
            },
            30000));
        return model.itemAt(row);
    }

    void select(const DocumentItem& item) { model.setSelection({item.id()}); }

    // Runs `action` and waits until the register has answered for the shown item's number.
    template <typename Action>
    void lookUp(Action action) {
        action();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.selectedItem()->needsRegistryCheck(); }, 10000))
            << "no look-up came back";
    }
    DocumentDetailView& view() { return *test::child<DocumentDetailView>(&pane, "detail"); }
    bool showsDetail() { return pane.currentWidget() == &view(); }
    QString placeholder(const char* name) { return test::child<QLabel>(&pane, name)->text(); }
    template <typename T = QWidget>
    T* part(const char* name) {
        return test::child<T>(&view(), name);
    }
    // Whether two parts stand in one row of the form.
    bool sideBySide(const char* a, const char* b) {
        return std::abs(part(a)->mapTo(&view(), QPoint()).y() - part(b)->mapTo(&view(), QPoint()).y()) <
               part(a)->height();
    }

    test::TestFolder folder;
    test::ScriptedDesktop desktop;
    AppModel model;
    DetailPane pane;
};

// Enough text for the text layer to be read, but no amount anywhere.
SamplePdf::Document receiptWithoutTotal(const std::string& fileName) {
    return {fileName,
            {{"さくら文具店", 36, 40, 16},
             {"東京都千代田区神田", 36, 62, 9},
             {"領収書", 36, 90, 12},
             {"2024年3月15日", 36, 116, 11},
             {"お買い上げありがとうございます", 36, 150, 10},
             {"またのご来店をお待ちしております", 36, 170, 10}}};
}

SamplePdf::Document namedReceipt(const std::string& fileName, const std::string& vendor, long amount) {
    SamplePdf::Document document = SamplePdf::receipt(vendor, 3, 15, amount);
    document.fileName = fileName;
    return document;
}

TEST_F(DetailPaneTest, PlaceholdersForNoneAMissingAndSeveralSelectedDocuments) {
    EXPECT_FALSE(showsDetail());
    EXPECT_EQ(placeholder("placeholderTitle"), QStringLiteral("ファイルを選択"));
    EXPECT_EQ(placeholder("placeholderDescription"),
              QStringLiteral("左のリストから選ぶと、読み取り結果を確認・修正できます"));

    model.setSelection({QUuid::createUuid()});
    EXPECT_FALSE(showsDetail());
    EXPECT_EQ(placeholder("placeholderTitle"), QStringLiteral("ファイルを選択"));

    const DocumentItem& first = add(namedReceipt("a.pdf", "さくら文具店", 1100));
    const DocumentItem& second = add(namedReceipt("b.pdf", "青空書店", 2200));
    model.setSelection({first.id(), second.id()});
    EXPECT_FALSE(showsDetail());
    EXPECT_EQ(placeholder("placeholderTitle"), QStringLiteral("2件を選択中"));
    EXPECT_EQ(placeholder("placeholderDescription"), QStringLiteral("1件ずつ選ぶと内容を確認・修正できます"));

    select(second);
    EXPECT_TRUE(showsDetail());
    EXPECT_EQ(part<QLineEdit>("vendor")->text(), QStringLiteral("青空書店"));
    model.remove({second.id()});
    EXPECT_FALSE(showsDetail());
    EXPECT_EQ(placeholder("placeholderTitle"), QStringLiteral("ファイルを選択"));
}

TEST_F(DetailPaneTest, TheBannerGoesWhenTheReadingIsConfirmedOrCorrected) {
    const DocumentItem& confirmed = add(receiptWithoutTotal("no-total-1.pdf"));
    const DocumentItem& corrected = add(receiptWithoutTotal("no-total-2.pdf"));
    ASSERT_EQ(confirmed.status(), DocumentItem::Status::ready);
    select(confirmed);
    ASSERT_TRUE(part("banner")->isVisible());
    EXPECT_TRUE(part<QLabel>("bannerReasons")->text().startsWith(QStringLiteral("・")));
    EXPECT_TRUE(part<QLabel>("bannerReasons")->text().contains(QStringLiteral("金額")));
    EXPECT_EQ(part<QPushButton>("confirm")->text(), QStringLiteral("このままでOK"));
    EXPECT_EQ(part<QPushButton>("confirm")->toolTip(),
              QStringLiteral("読み取り結果を確認済みにします。値を直した場合は自動で確認済みになります"));
    part<QPushButton>("confirm")->click();
    EXPECT_TRUE(confirmed.confirmed());
    EXPECT_FALSE(part("banner")->isVisible());

    select(corrected);
    ASSERT_TRUE(part("banner")->isVisible());
    replaceText(part<QLineEdit>("amount"), QStringLiteral("500"));
    EXPECT_EQ(corrected.fields().amount, 500);
    EXPECT_FALSE(part("banner")->isVisible());
}

TEST_F(DetailPaneTest, DotsShowTheLevelsAndTurnBlueForCorrectedFields) {
    const DocumentItem& item = add(receiptWithoutTotal("no-total.pdf"));
    select(item);
    const FieldConfidence& confidence = item.fields().confidence;
    EXPECT_EQ(part<ConfidenceDot>("dateDot")->level(), confidence.date);
    EXPECT_EQ(part<ConfidenceDot>("vendorDot")->level(), confidence.vendor);
    EXPECT_EQ(part<ConfidenceDot>("amountDot")->level(), confidence.amount);
    EXPECT_EQ(part<ConfidenceDot>("amountDot")->toolTip(),
              ConfidenceDot::toolTipText(confidence.amount, false));
    EXPECT_EQ(part<ConfidenceDot>("registrationDot")->level(), Level::missing);
    EXPECT_EQ(part<ConfidenceDot>("typeDot")->level(), Level::high);  // 領収書

    replaceText(part<QLineEdit>("amount"), QStringLiteral("700"));
    EXPECT_TRUE(part<ConfidenceDot>("amountDot")->isEdited());
    EXPECT_EQ(part<ConfidenceDot>("amountDot")->toolTip(), QStringLiteral("手で修正済み"));
    EXPECT_FALSE(part<ConfidenceDot>("vendorDot")->isEdited());
}

TEST_F(DetailPaneTest, TheCheckDigitWarningShowsOnlyWhenTheNumberDoesNotMatch) {
    const DocumentItem& item = add(namedReceipt("r.pdf", "さくら文具店", 1100));
    select(item);
    struct Case {
        const char* number;
        bool warned;
    };
    const Case cases[] = {
        {"T6000012010024", true},   // 13 digits, wrong check digit
        {"T5000012010024", false},  // matches
        {"", false},                // no number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        replaceText(part<QLineEdit>("registration"), QString::fromUtf8(c.number));
        EXPECT_EQ(part("checkDigitWarning")->isVisible(), c.warned);
        EXPECT_EQ(part<ConfidenceDot>("registrationDot")->level(), c.warned    ? Level::low
                                                                   : *c.number ? Level::high
                                                                               : Level::missing);
        if (*c.number)
            EXPECT_EQ(item.fields().registrationNumber, std::string(c.number));
        else
            EXPECT_FALSE(item.fields().registrationNumber.has_value());
        EXPECT_TRUE(item.editedFields().contains(Field::registrationNumber));
    }
}

TEST_F(DetailPaneTest, TheAmountsByRateAreEditedUnderTheAmountAndHeldToIt) {
    const DocumentItem& item = add(namedReceipt("r.pdf", "さくら文具店", 3280));
    select(item);
    replaceText(part<QLineEdit>("amount10"), QStringLiteral("２，２００"));  // typed with the input method
    replaceText(part<QLineEdit>("tax10"), QStringLiteral("200"));
    EXPECT_EQ(item.fields().taxBreakdown, (std::vector<TaxRateAmount>{{10, 2200, 200, true}}));
    EXPECT_EQ(item.fields().confidence.taxBreakdown, FieldConfidence::Level::low) << "3,280 is not 2,200";
    replaceText(part<QLineEdit>("amount8"), QStringLiteral("1080"));
    EXPECT_EQ(item.fields().taxBreakdown.size(), 2u);
    EXPECT_NE(item.fields().confidence.taxBreakdown, FieldConfidence::Level::low);
    EXPECT_TRUE(item.editedFields().contains(Field::taxBreakdown));
}

TEST_F(DetailPaneTest, TheNewFileNameFollowsEveryEditWithTheExtensionInLowerCase) {
    AppSettings settings = model.settings();
    settings.nameTemplate.dateFormat = "yyyy-MM-dd";
    model.setSettings(settings);
    const DocumentItem& item = add(receiptWithoutTotal("Scan.PDF"));
    select(item);
    replaceText(part<QLineEdit>("vendor"), QStringLiteral("Shop"));
    replaceText(part<QLineEdit>("amount"), QStringLiteral("1100"));
    part<QDateEdit>("date")->setDate(QDate(2024, 1, 5));
    EXPECT_EQ(item.fields().date, (DateComponentsValue{2024, 1, 5}));
    EXPECT_EQ(part<QLabel>("newName")->text(), QStringLiteral("2024-01-05_Shop_1100.pdf"));
    EXPECT_TRUE(part<QLabel>("newName")->textInteractionFlags() & Qt::TextSelectableByMouse);

    settings.nameTemplate.templateText = "{vendor}-{type}";
    model.setSettings(settings);
    EXPECT_EQ(part<QLabel>("newName")->text(), QStringLiteral("Shop-領収書.pdf"));
}

TEST_F(DetailPaneTest, FieldControlsShowAndStoreTheValues) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const DocumentItem& item = add(receiptWithoutTotal("r.pdf"));
    select(item);
    // The date picker is Japanese; a missing date shows today and 未検出 until one is picked.
    EXPECT_EQ(part<QDateEdit>("date")->locale().language(), QLocale::Japanese);
    part<QDateEdit>("date")->setFocus();
    replaceText(part<QLineEdit>("amount"), QStringLiteral("12345"));
    part<QLineEdit>("vendor")->setFocus();  // leaving the field shows the locale's format
    EXPECT_EQ(part<QLineEdit>("amount")->text(), QStringLiteral("12,345"));
    EXPECT_EQ(item.fields().amount, 12345);
    replaceText(part<QLineEdit>("amount"), QString());
    EXPECT_FALSE(item.fields().amount.has_value());

    ASSERT_EQ(part<QComboBox>("type")->count(), 8);
    const QStringList types = {"領収書", "請求書", "納品書", "見積書",
                               "注文書", "明細書", "契約書", "その他"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(part<QComboBox>("type")->itemText(i), types[i]);
    emit part<QComboBox>("type")->activated(1);
    EXPECT_EQ(item.fields().documentType, DocumentType::invoice);
    EXPECT_TRUE(item.editedFields().contains(Field::documentType));
    EXPECT_EQ(part<ConfidenceDot>("typeDot")->toolTip(), QStringLiteral("手で修正済み"));
    QLocale::setDefault(QLocale::system());
}

TEST_F(DetailPaneTest, AMissingDateIsMarkedUntilOneIsPicked) {
    const DocumentItem& item = add({"nodate.pdf",
                                    {{"さくら文具店", 36, 40, 16},
                                     {"東京都千代田区神田", 36, 62, 9},
                                     {"領収書", 36, 90, 12},
                                     {"お品代", 36, 120, 11},
                                     {"合計 ¥1,100", 36, 150, 12},
                                     {"お買い上げありがとうございます", 36, 180, 10}}});
    select(item);
    ASSERT_FALSE(item.fields().date.has_value());
    EXPECT_TRUE(part<QLabel>("dateMissing")->isVisible());
    EXPECT_EQ(part<QLabel>("dateMissing")->text(), QStringLiteral("未検出"));
    EXPECT_EQ(part<QDateEdit>("date")->date(), QDate::currentDate());
    part<QDateEdit>("date")->setDate(QDate(2024, 2, 29));
    EXPECT_EQ(item.fields().date, (DateComponentsValue{2024, 2, 29}));
    EXPECT_FALSE(part<QLabel>("dateMissing")->isVisible());
    EXPECT_TRUE(part<ConfidenceDot>("dateDot")->isEdited());
}

// The preview of what cannot be shown is the preview's to test.
TEST_F(DetailPaneTest, AFailedDocumentShowsItsError) {
    test::writeFile(folder / "broken.pdf", "%PDF-1.4 nothing here");
    const DocumentItem& item = addFile(folder / "broken.pdf");
    ASSERT_EQ(item.status(), DocumentItem::Status::failed);
    select(item);
    EXPECT_TRUE(part("error")->isVisible());
    EXPECT_EQ(part<QLabel>("errorText")->text().toStdString(), *item.errorMessage());
    EXPECT_FALSE(part("banner")->isVisible());
}

TEST_F(DetailPaneTest, ASavedDocumentLinksToItsFile) {
    fs::create_directories(folder / "out");
    AppSettings settings = model.settings();
    settings.setDestination(folder / "out");
    model.setSettings(settings);
    const DocumentItem& item = add(namedReceipt("r.pdf", "さくら文具店", 1100));
    select(item);
    EXPECT_FALSE(part<QLabel>("savedLocation")->isVisible());
    settings.mode = RenameMode::move;
    model.setSettings(settings);
    QSignalSpy loaded(part<DocumentPreview>("preview"), &DocumentPreview::loadFinished);
    model.saveReady();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isSaving(); }, 10000));
    ASSERT_EQ(item.status(), DocumentItem::Status::saved);
    // The file has moved: the preview shows it where it is now.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !loaded.isEmpty() && loaded.back().front().toBool(); }, 10000));
    EXPECT_FALSE(fs::exists(folder / "r.pdf"));
    ASSERT_TRUE(part<QLabel>("savedLocation")->isVisible());
    EXPECT_TRUE(
        part<QLabel>("savedLocation")->text().contains(QString::fromStdString(item.outputPath()->string())));
    emit part<QLabel>("savedLocation")->linkActivated(QStringLiteral("reveal"));
    ASSERT_EQ(desktop.revealed.size(), 1u);
    EXPECT_EQ(desktop.revealed[0], *item.outputPath());
}

TEST_F(DetailPaneTest, ACorrectedVendorIsLearntAsARuleForTheNextReceipt) {
    const DocumentItem& first = add(namedReceipt("first.pdf", "ｻｸﾗﾌﾞﾝｸﾞﾃﾝ", 1100));
    select(first);
    const std::string asRead = first.fields().vendor;
    ASSERT_FALSE(asRead.empty());
    EXPECT_FALSE(part<QPushButton>("learnVendor")->isVisible());
    replaceText(part<QLineEdit>("vendor"), QStringLiteral("さくら文具店"));
    ASSERT_TRUE(part<QPushButton>("learnVendor")->isVisible());
    EXPECT_EQ(part<QPushButton>("learnVendor")->text(), QStringLiteral("次回からこの名前にする"));
    part<QPushButton>("learnVendor")->click();
    ASSERT_EQ(model.settings().aliases.rules.size(), 1u);
    EXPECT_EQ(model.settings().aliases.rules[0].pattern, asRead);
    EXPECT_EQ(model.settings().aliases.rules[0].canonical, "さくら文具店");
    EXPECT_FALSE(part<QPushButton>("learnVendor")->isVisible());

    // An equal rule is not offered again on another document corrected the same way.
    const DocumentItem& again = add(namedReceipt("again.pdf", "ｻｸﾗﾌﾞﾝｸﾞﾃﾝ", 900));
    EXPECT_EQ(again.fields().vendor, "さくら文具店");  // the rule already applied
    select(again);
    EXPECT_FALSE(part<QPushButton>("learnVendor")->isVisible());
}

// A shop whose name is only a logo: the line under it names a branch.
SamplePdf::Document logoShopReceipt(const std::string& fileName, const std::string& numberLine) {
    return {fileName,
            {{"和菓子 本町店", 36, 40, 14},
             {"TEL 03-1234-5678", 36, 58, 9},
             {numberLine, 36, 70, 9},
             {"領収書", 36, 96, 12},
             {"2024年6月3日", 36, 120, 11},
             {"合計", 36, 160, 12},
             {"¥1,080", 200, 160, 12}}};
}

TEST_F(DetailPaneTest, ACorrectedOrConfirmedVendorIsRememberedByTheDocumentsNumbers) {
    const DocumentItem& first = add(logoShopReceipt("logo1.pdf", "登録番号 T5000012010024"));
    select(first);
    EXPECT_EQ(first.fields().vendor, "和菓子 本町店");
    EXPECT_EQ(first.fields().confidence.vendor, Level::medium) << "a branch alone is no certain vendor";
    replaceText(part<QLineEdit>("vendor"), QStringLiteral("みなと製菓"));
    ASSERT_TRUE(part<QPushButton>("learnVendor")->isVisible());
    part<QPushButton>("learnVendor")->click();
    EXPECT_FALSE(part<QPushButton>("learnVendor")->isVisible());
    const auto& entries = model.settings().vendors.entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0],
              (VendorMemory::Entry{VendorMemory::Kind::registrationNumber, "T5000012010024", "みなと製菓"}));
    EXPECT_EQ(entries[1], (VendorMemory::Entry{VendorMemory::Kind::telephone, "0312345678", "みなと製菓"}));

    // The next receipt shares only the telephone number.
    const DocumentItem& second = add(logoShopReceipt("logo2.pdf", "お買い上げありがとうございます"));
    EXPECT_EQ(second.fields().vendor, "みなと製菓");
    EXPECT_EQ(second.fields().confidence.vendor, Level::high);
    EXPECT_EQ(second.fields().confidence.notes.back(), "以前の修正から: 電話番号 03-1234-5678");

    // Confirming a reading remembers its vendor too.
    const DocumentItem& other = add({"other.pdf",
                                     {{"青空書店", 36, 40, 16},
                                      {"電話 06-1111-2222", 36, 58, 9},
                                      {"2024年6月3日", 36, 120, 11},
                                      {"お品代", 36, 140, 11}}});
    model.confirm({other.id()});
    EXPECT_EQ(model.settings().vendors.entries.back(),
              (VendorMemory::Entry{VendorMemory::Kind::telephone, "0611112222", "青空書店"}));
}

TEST_F(DetailPaneTest, CtrlShortcutsZoomThePreviewAndAnotherDocumentStartsFitted) {
    const DocumentItem& first = add(namedReceipt("first.pdf", "さくら文具店", 1100));
    const DocumentItem& second = add(namedReceipt("second.pdf", "青空書店", 2200));
    pane.activateWindow();
    QApplication::setActiveWindow(&pane);
    DocumentPreview* preview = part<DocumentPreview>("preview");
    QSignalSpy applied(preview, &DocumentPreview::zoomApplied);
    select(first);
    ASSERT_TRUE(applied.wait(10000));
    const double fit = preview->scale();
    // Each step's scale is the preview's to test; here, that the keys reach it from anywhere in the pane.
    QTest::keyClick(&pane, Qt::Key_Equal, Qt::ControlModifier);
    ASSERT_TRUE(applied.wait(1000));
    EXPECT_NEAR(preview->scale(), fit * 1.25, 1e-9);
    QTest::keyClick(&pane, Qt::Key_0, Qt::ControlModifier);
    ASSERT_TRUE(applied.wait(1000));
    EXPECT_NEAR(preview->scale(), fit, 1e-9);

    QTest::keyClick(&pane, Qt::Key_Equal, Qt::ControlModifier);
    ASSERT_TRUE(applied.wait(1000));
    applied.clear();
    select(second);
    ASSERT_TRUE(applied.wait(10000));
    EXPECT_EQ(applied.front().front().value<PreviewZoom>(), PreviewZoom::fitPage);
    EXPECT_NEAR(preview->scale(), fit, 1e-9);  // the same page size
}

TEST_F(DetailPaneTest, TheRegisterNamesTheIssuerOrWarnsAndOffersItsNameAsVendor) {
    RegistryRecord shop = RegistrySample::record(3);
    shop.number = "T1234567890123";
    shop.kind = RegistryRecord::Kind::soleProprietor;
    shop.name = "見本　花子";
    shop.tradeName = "さくら文具店";
    shop.registrationDate = shop.updateDate = DateComponentsValue{2023, 10, 1};
    RegistryRecord lapsed = RegistrySample::record(4);
    lapsed.number = "T5000012010024";
    lapsed.expiryDate = DateComponentsValue{2024, 3, 1};
    const fs::path csv = folder / "issuers.csv", location = folder / "data" / "registry.sqlite";
    test::writeFile(csv, RegistrySample::csv(std::vector{shop, lapsed}));

    // A receipt whose shop name the rules cannot find: only the number says who issued it.
    const DocumentItem& item = add({"noname.pdf",
                                    {{"登録番号 T1234567890123", 36, 40, 9},
                                     {"領収書", 36, 70, 14},
                                     {"2024年3月15日", 36, 96, 11},
                                     {"合計", 36, 130, 13},
                                     {"¥1,100", 200, 130, 13}}});
    select(item);
    lookUp([&] { model.setRegistryLocation(location); });
    EXPECT_FALSE(part("registryStatus")->isVisible()) << "no register imported yet";
    EXPECT_FALSE(part<QPushButton>("registryVendor")->isVisible());

    // Imported while the window is open: the answer follows without the user doing anything.
    RegistryImporter::importFiles(std::vector{csv}, location);
    ASSERT_TRUE(QTest::qWaitFor([&] { return part("registryStatus")->isVisible(); }, 10000));
    EXPECT_EQ(part<QLabel>("registryStatusText")->text(),
              QStringLiteral("登録済み: 見本　花子（屋号: さくら文具店）、個人事業者、2023年10月1日登録"));
    ASSERT_TRUE(item.fields().vendor.empty() || item.fields().confidence.vendor == Level::low)
        << item.fields().vendor;
    ASSERT_TRUE(part<QPushButton>("registryVendor")->isVisible());
    EXPECT_EQ(part<QPushButton>("registryVendor")->text(), QStringLiteral("取引先を「さくら文具店」にする"));
    EXPECT_NE(item.fields().vendor, "さくら文具店") << "nothing changes until the button is pressed";
    lookUp([&] { part<QPushButton>("registryVendor")->click(); });
    EXPECT_EQ(item.fields().vendor, "さくら文具店");
    EXPECT_TRUE(item.editedFields().contains(Field::vendor));
    EXPECT_FALSE(part<QPushButton>("registryVendor")->isVisible());

    struct Case {
        const char* number;
        const char* message;  // a part of it
    };
    const Case warnings[] = {
        {"T5000012010024", "2024年3月1日に失効しています"},
        {"T1111111111111", "公表データに見つかりません"},
    };
    for (const Case& c : warnings) {
        SCOPED_TRACE(c.number);
        lookUp([&] { replaceText(part<QLineEdit>("registration"), QString::fromUtf8(c.number)); });
        ASSERT_TRUE(part("registryStatus")->isVisible());
        EXPECT_TRUE(part<QLabel>("registryStatusText")->text().contains(QString::fromUtf8(c.message)))
            << part<QLabel>("registryStatusText")->text().toStdString();
        EXPECT_EQ(part<QLabel>("registryStatusText")->palette().color(QPalette::WindowText),
                  QColor(0xff, 0x95, 0x00));
        EXPECT_FALSE(part<QPushButton>("registryVendor")->isVisible()) << "the vendor was set by hand";
    }
    replaceText(part<QLineEdit>("registration"), QString());
    EXPECT_FALSE(part("registryStatus")->isVisible());
}

TEST_F(DetailPaneTest, ThePreviewTakesTheRoomAndNothingMovesWhenTheBannerOrAWarningComesAndGoes) {
    pane.resize(420, 520);
    const DocumentItem& item = add(receiptWithoutTotal("no-total.pdf"));
    select(item);
    QCoreApplication::processEvents();
    ASSERT_TRUE(part("banner")->isVisible());
    EXPECT_TRUE(sideBySide("date", "amount"));
    const QRect preview = part<DocumentPreview>("preview")->geometry();
    const auto where = [&](QWidget* w) { return w->mapTo(&view(), QPoint(0, 0)); };
    const QPoint registration = where(part<QLineEdit>("registration"));
    // The form is compact: the preview has more than half of the pane.
    EXPECT_GT(preview.height(), view().height() / 2 - 40) << preview.height() << " of " << view().height();

    part<QPushButton>("confirm")->click();
    replaceText(part<QLineEdit>("registration"),
                QStringLiteral("T6000012010024"));  // a check digit that fails
    QCoreApplication::processEvents();
    EXPECT_FALSE(part("banner")->isVisible());
    EXPECT_TRUE(part("checkDigitWarning")->isVisible());
    EXPECT_EQ(part<DocumentPreview>("preview")->geometry(), preview);
    EXPECT_EQ(where(part<QLineEdit>("registration")), registration);

    pane.resize(360, 520);
    QCoreApplication::processEvents();
    EXPECT_FALSE(sideBySide("date", "amount")) << "too narrow for two fields side by side";
}

TEST_F(DetailPaneTest, AnAmountThatIsNotANumberIsRefusedAndSaysSo) {
    const DocumentItem& item = add(namedReceipt("r.pdf", "さくら文具店", 1100));
    select(item);
    QLineEdit* amount = part<QLineEdit>("amount");
    amount->setFocus();
    amount->selectAll();
    for (const QString key : {"1", "2", "a", "b", "c", "3", "4"}) type(amount, key);
    EXPECT_EQ(amount->text(), QStringLiteral("12abc34")) << "what was typed stays to be fixed";
    EXPECT_EQ(item.fields().amount, 1100) << "not 12, the part before the mistake";
    ASSERT_TRUE(part<QLabel>("amountWarning")->isVisible());
    EXPECT_TRUE(
        part<QLabel>("amountWarning")->text().contains(QStringLiteral("「12abc34」は金額として読めません")));

    emit amount->editingFinished();
    EXPECT_EQ(amount->text(), QStringLiteral("1,100"));
    EXPECT_TRUE(part<QLabel>("amountWarning")->text().contains(QStringLiteral("金額は¥1,100のままです")));
    replaceText(amount, QStringLiteral("２，４００円"));
    EXPECT_EQ(item.fields().amount, 2400);
    EXPECT_FALSE(part<QLabel>("amountWarning")->isVisible());
}

TEST_F(DetailPaneTest, AFileWhoseNameIsNotUtf8IsPreviewed) {
    const SamplePdf::Document document = namedReceipt("x.pdf", "さくら文具店", 1100);
    const fs::path path = folder / std::string("\xff\xfe\x93\xfa.pdf");
    SamplePdf::write(path, document);
    const DocumentItem& item = addFile(path);
    QSignalSpy loaded(part<DocumentPreview>("preview"), &DocumentPreview::loadFinished);
    select(item);
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_TRUE(loaded.front().front().toBool());
    EXPECT_TRUE(part<DocumentPreview>("preview")->hasDocument());
}

}  // namespace
}  // namespace tavori
