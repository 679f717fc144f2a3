#include <gtest/gtest.h>

#include <QSignalSpy>
#include <thread>

#include "../TestFiles.h"
#include "AppTestSupport.h"
#include "TavoriName/AppModel.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tavori::AppModel;
using tavori::AppSettings;
using tavori::DocumentItem;
using tavori::RenameMode;
using tavori::SettingsStore;
using tavori::test::readFile;
using tavori::test::ScriptedDesktop;
using tavori::test::TestFolder;
using tavori::test::waitUntil;
using tavori::test::writeFile;
using Status = DocumentItem::Status;

namespace {

constexpr const char* kStationery = "20240315_さくら文具店_990.pdf";
constexpr const char* kCafe = "20240402_喫茶ひまわり_1400.pdf";
constexpr const char* kInvoice = "20240531_みどり印刷_49500.pdf";
constexpr const char* kBookHeader =
    "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";

class AppModelTest : public ::testing::Test {
  protected:
    TestFolder dir;
    fs::path in = dir / "in";
    fs::path out = dir / "out";
    ScriptedDesktop desktop;
    std::unique_ptr<AppModel> model;
    tavori::AnalysisService* service = nullptr;  // the model's

    void SetUp() override {
        tavori::SamplePdf::writeSamples(in);
        model = makeModel(AppSettings());
    }

    std::unique_ptr<AppModel> makeModel(const AppSettings& settings) {
        auto own = tavori::test::rulesOnlyService();
        service = own.get();
        return std::make_unique<AppModel>(settings, SettingsStore(dir / "config" / "defaults.json"), desktop,
                                          std::move(own));
    }

    // Waits, without running the event loop, until the service has delivered every result: they wait in
    // the queue meanwhile.
    void waitForResultsPosted() const {
        for (int i = 0; i < 60000 && !(service->load() == tavori::AnalysisService::Load{}); ++i)
            std::this_thread::sleep_for(1ms);
        ASSERT_EQ(service->load(), tavori::AnalysisService::Load{});
    }

    // Lets every result the service delivered arrive, and anything they post in turn.
    void drain() {
        waitForResultsPosted();
        tavori::test::drainPosted();
    }

    fs::path sample(const std::string& name) const { return in / name; }

    bool allRead() const {
        for (const DocumentItem* item : model->items())
            if (item->status() == Status::queued || item->status() == Status::analyzing) return false;
        return true;
    }

    void addAndRead(const std::vector<fs::path>& files) {
        model->addFiles(files);
        ASSERT_TRUE(waitUntil([&] { return allRead(); })) << "analyses did not finish";
    }

    std::vector<std::string> sourceNames() const {
        std::vector<std::string> list;
        for (const DocumentItem* item : model->items())
            list.push_back(item->sourcePath().filename().native());
        return list;
    }

    void useDestination(const fs::path& folder, RenameMode mode = RenameMode::copy) {
        fs::create_directories(folder);
        AppSettings settings = model->settings();
        settings.setDestination(folder);
        settings.mode = mode;
        model->setSettings(settings);
    }

    // Saving runs on the I/O worker; this waits for it to end.
    void save() {
        model->saveReady();
        ASSERT_TRUE(waitUntil([&] { return !model->isSaving(); })) << "the save did not finish";
    }
};

TEST_F(AppModelTest, AddingSkipsDuplicatesAndUnsupportedFilesAndAnnouncesTheRows) {
    writeFile(in / "notes.txt", "not a document");
    QSignalSpy aboutToInsert(model.get(), &AppModel::itemsAboutToBeInserted);
    QSignalSpy inserted(model.get(), &AppModel::itemsInserted);

    model->addFiles({sample("scan_0002.pdf"), sample("scan_0002.pdf"), in / "notes.txt", in});
    EXPECT_EQ(sourceNames(), (std::vector<std::string>{"scan_0002.pdf", "invoice-may.pdf", "scan_0001.pdf"}));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(aboutToInsert.at(0), (QList<QVariant>{0, 2}));
    EXPECT_EQ(inserted.at(0), (QList<QVariant>{0, 2}));
    // Starting analyses has a time budget per event-loop turn: on a slow machine the last ones wait their
    // turn.
    EXPECT_EQ(model->itemAt(0).status(), Status::analyzing);
    for (const DocumentItem* item : model->items())
        EXPECT_TRUE(item->status() == Status::analyzing || item->status() == Status::queued);
    EXPECT_EQ(model->readingProgress(), (tavori::ReadingProgress{3, 3}));

    model->addFiles({in, sample("scan_0001.pdf")});
    EXPECT_EQ(model->itemCount(), 3) << "everything already listed";
    EXPECT_EQ(inserted.count(), 1);
    ASSERT_TRUE(waitUntil([&] { return allRead(); }));
    EXPECT_EQ(model->readingProgress(), (tavori::ReadingProgress{0, 0}));
}

TEST_F(AppModelTest, AnalysesFillTheItemsOrFailThemWithTheReason) {
    writeFile(in / "broken.pdf", "%PDF-1.4 this is not a PDF");
    QSignalSpy progress(model.get(), &AppModel::readingProgressChanged);
    addAndRead({sample("scan_0001.pdf"), in / "broken.pdf"});

    const DocumentItem& read = model->itemAt(0);
    EXPECT_EQ(read.status(), Status::ready);
    EXPECT_EQ(read.fields().vendor, "さくら文具店");
    EXPECT_EQ(read.fields().amount, 990);
    EXPECT_EQ(read.textSource(), tavori::RecognizedDocument::TextSource::pdfTextLayer);
    EXPECT_NE(read.recognizedText().find("合計"), std::string::npos);
    EXPECT_TRUE(waitUntil([&] { return read.thumbnail().has_value(); })) << "the thumbnail arrives";

    const DocumentItem& broken = model->itemAt(1);
    EXPECT_EQ(broken.status(), Status::failed);
    ASSERT_TRUE(broken.errorMessage());
    EXPECT_FALSE(broken.errorMessage()->empty());

    std::vector<tavori::ReadingProgress> seen;
    for (const auto& args : progress) seen.push_back(args.at(0).value<tavori::ReadingProgress>());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), (tavori::ReadingProgress{2, 2}));
    EXPECT_EQ(seen.back(), (tavori::ReadingProgress{0, 0}));
}

TEST_F(AppModelTest, AModelUrlOffThisMachineIsSaidAtOnce) {
    ::setenv("TAVORI_LLM_URL", "http://192.0.2.1:8080", 1);
    const auto refused = makeModel(AppSettings());
    ::unsetenv("TAVORI_LLM_URL");
    ASSERT_TRUE(refused->alertMessage());
    EXPECT_EQ(refused->alertMessage()->rfind("TAVORI_LLM_URL「http://192.0.2.1:8080」は使えません: ", 0), 0u);
    EXPECT_FALSE(model->alertMessage()) << "no URL, nothing to say";
}

TEST_F(AppModelTest, AnalysingAgainLeavesOnlyTheSecondResult) {
    model->addFiles({sample("scan_0001.pdf")});
    const QUuid id = model->itemAt(0).id();
    waitForResultsPosted();
    // The second analysis runs with an alias rule, so its result is told apart from the first one's.
    AppSettings settings = model->settings();
    settings.aliases.rules.push_back({tavori::Uuid::random(), "さくら", "サクラ文具"});
    model->setSettings(settings);
    model->analyze(id);

    int readyTransitions = 0;
    Status last = model->itemAt(0).status();
    QObject::connect(model.get(), &AppModel::itemChanged, [&](int row) {
        const Status now = model->itemAt(row).status();
        if (now == Status::ready && last != Status::ready) ++readyTransitions;
        last = now;
    });
    ASSERT_TRUE(waitUntil([&] { return allRead(); }));
    drain();
    EXPECT_EQ(model->item(id)->fields().vendor, "サクラ文具");
    EXPECT_EQ(readyTransitions, 1) << "the first result never arrived";
}

TEST_F(AppModelTest, RemovingAnItemDuringItsAnalysisLeavesNoTrace) {
    model->addFiles({sample("scan_0001.pdf"), sample("scan_0002.pdf")});
    const QUuid removed = model->itemAt(0).id();
    waitForResultsPosted();
    model->setSelection({removed});
    QSignalSpy aboutToRemove(model.get(), &AppModel::itemsAboutToBeRemoved);
    QSignalSpy selected(model.get(), &AppModel::selectedItemChanged);
    model->remove({removed});
    EXPECT_EQ(aboutToRemove.count(), 1);
    EXPECT_EQ(aboutToRemove.at(0), (QList<QVariant>{0, 0}));
    EXPECT_TRUE(model->selection().isEmpty());
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(model->selectedItem(), nullptr);

    QSignalSpy changed(model.get(), &AppModel::itemChanged);
    ASSERT_TRUE(waitUntil([&] { return allRead(); }));
    drain();
    EXPECT_EQ(sourceNames(), std::vector<std::string>{"scan_0002.pdf"});
    for (const auto& args : changed) EXPECT_EQ(args.at(0).toInt(), 0) << "only the remaining row changes";
    EXPECT_FALSE(model->alertMessage());
    EXPECT_EQ(model->readingProgress(), (tavori::ReadingProgress{0, 0}));
}

TEST_F(AppModelTest, ScatteredRowsAreRemovedLastRunFirst) {
    for (int i = 0; i < 5; ++i)
        tavori::SamplePdf::write(in / ("r" + std::to_string(i) + ".pdf"),
                                 tavori::SamplePdf::receipt("店" + std::to_string(i), 1, 1 + i, 100 + i));
    model->addFiles({in / "r0.pdf", in / "r1.pdf", in / "r2.pdf", in / "r3.pdf", in / "r4.pdf"});
    QSignalSpy removed(model.get(), &AppModel::itemsRemoved);
    model->remove({model->itemAt(0).id(), model->itemAt(1).id(), model->itemAt(3).id()});
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(0), (QList<QVariant>{3, 3}));
    EXPECT_EQ(removed.at(1), (QList<QVariant>{0, 1}));
    EXPECT_EQ(sourceNames(), (std::vector<std::string>{"r2.pdf", "r4.pdf"}));
    EXPECT_EQ(model->rowOf(model->itemAt(1).id()), 1);
}

// That a correction survives another reading, and its mark does not, is the item's to test.
TEST_F(AppModelTest, CorrectionsGoThroughTheModel) {
    addAndRead({sample("scan_0002.pdf")});
    const QUuid id = model->itemAt(0).id();
    model->setSelection({id});
    QSignalSpy changed(model.get(), &AppModel::itemChanged);
    QSignalSpy selected(model.get(), &AppModel::selectedItemChanged);

    EXPECT_TRUE(model->setVendor(id, "ひまわり珈琲"));
    EXPECT_FALSE(model->setVendor(id, "ひまわり珈琲")) << "unchanged";
    EXPECT_TRUE(model->setAmount(id, 1500));
    EXPECT_FALSE(model->setAmount(QUuid::createUuid(), 1)) << "no such item";
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(selected.count(), 2) << "the detail pane hears of changes to its item";
    const DocumentItem& item = *model->item(id);
    EXPECT_TRUE(item.userEdited());
    EXPECT_EQ(item.editedFields(),
              (std::set<DocumentItem::Field>{DocumentItem::Field::vendor, DocumentItem::Field::amount}));
}

TEST_F(AppModelTest, SavesNumberTheBookOnAcrossSavesAndSkipItemsNotReady) {
    writeFile(in / "broken.pdf", "%PDF-1.4 broken");
    addAndRead(
        {sample("scan_0001.pdf"), sample("scan_0002.pdf"), in / "broken.pdf", sample("invoice-may.pdf")});
    useDestination(out);
    QSignalSpy saving(model.get(), &AppModel::savingChanged);
    save();
    EXPECT_FALSE(model->alertMessage()) << *model->alertMessage();
    EXPECT_EQ(model->lastSaveSummary(), "3件を保存しました");
    EXPECT_EQ(saving.count(), 2);
    EXPECT_FALSE(model->isSaving());
    EXPECT_EQ(model->itemAt(0).status(), Status::saved);
    EXPECT_EQ(model->itemAt(0).outputPath(), out / kStationery);
    EXPECT_EQ(model->itemAt(2).status(), Status::failed);
    EXPECT_EQ(readFile(out / "索引簿.csv"),
              std::string(kBookHeader) + "1,2024/03/15,990,さくら文具店,領収書," + kStationery +
                  ",T1234567890123,\r\n" + "2,2024/04/02,1400,喫茶ひまわり,領収書," + kCafe + ",,\r\n" +
                  "3,2024/05/31,49500,みどり印刷,請求書," + kInvoice + ",T9876543210987,\r\n");

    // Two more: one read, one still being read when the save runs.
    fs::copy_file(sample("scan_0002.pdf"), in / "again.pdf");
    fs::copy_file(sample("scan_0001.pdf"), in / "late.pdf");
    addAndRead({in / "again.pdf"});
    model->addFiles({in / "late.pdf"});
    save();
    EXPECT_EQ(model->lastSaveSummary(), "1件を保存しました");
    EXPECT_NE(model->itemAt(5).status(), Status::saved);
    const std::string book = readFile(out / "索引簿.csv");
    EXPECT_NE(book.find("\r\n4,2024/04/02,1400,喫茶ひまわり,領収書,20240402_喫茶ひまわり_1400 (2).pdf,,\r\n"),
              std::string::npos)
        << book;
    EXPECT_EQ(book.find("\r\n5,"), std::string::npos);

    ASSERT_TRUE(waitUntil([&] { return allRead(); }));
    save();
    EXPECT_NE(readFile(out / "索引簿.csv").find("\r\n5,2024/03/15,990,"), std::string::npos);
    model->clearSaved();
    EXPECT_EQ(sourceNames(), std::vector<std::string>{"broken.pdf"});
}

TEST_F(AppModelTest, RenamingInPlaceKeepsTheBookBesideTheFirstFileWhateverDestinationIsStored) {
    addAndRead({sample("scan_0001.pdf"), sample("scan_0002.pdf")});
    AppSettings settings = model->settings();
    settings.mode = RenameMode::renameInPlace;
    model->setSettings(settings);
    save();
    EXPECT_EQ(model->lastSaveSummary(), "2件を保存しました");
    EXPECT_TRUE(fs::exists(in / kStationery));
    EXPECT_TRUE(fs::exists(in / "索引簿.csv"));

    // A destination stored by an earlier copy does not take the book: it would list files not beside it.
    tavori::SamplePdf::write(in / "other.pdf", tavori::SamplePdf::receipt("青空商店", 6, 1, 500));
    addAndRead({in / "other.pdf"});
    fs::create_directories(out);
    settings.setDestination(out);
    model->setSettings(settings);
    EXPECT_EQ(model->indexBookTarget(), in / "索引簿.csv");
    save();
    EXPECT_TRUE(fs::exists(in / "20240601_青空商店_500.pdf")) << "still renamed where it is";
    EXPECT_FALSE(fs::exists(out / "索引簿.csv"));
    EXPECT_NE(readFile(in / "索引簿.csv")
                  .find("\r\n3,2024/06/01,500,青空商店,領収書,20240601_青空商店_500.pdf,,\r\n"),
              std::string::npos);
}

TEST_F(AppModelTest, ACancelledSaveStopsAfterTheFileInHandAndKeepsWhatWasSaved) {
    std::vector<fs::path> files;
    for (int k = 0; k < 6; ++k) {
        files.push_back(in / ("r" + std::to_string(k) + ".pdf"));
        tavori::SamplePdf::write(files.back(), tavori::SamplePdf::receipt("青空商店", 6, 1 + k, 500 + k));
    }
    addAndRead(files);
    useDestination(out);
    std::vector<int> progress;
    QObject::connect(model.get(), &AppModel::saveProgressChanged, model.get(),
                     [&](tavori::SaveProgress p) { progress.push_back(p.done); });
    model->saveReady();
    // Each file takes a sync or two: the worker is still at the first when 中止 is pressed.
    model->cancelSave();
    ASSERT_TRUE(waitUntil([&] { return !model->isSaving(); }));
    ASSERT_TRUE(model->lastSaveSummary());
    int saved = 0;
    for (const DocumentItem* item : model->items()) saved += item->status() == Status::saved;
    EXPECT_GE(saved, 1);
    EXPECT_LT(saved, 6) << "the save went on after the cancel";
    EXPECT_EQ(*model->lastSaveSummary(), std::to_string(saved) + "件を保存しました（" +
                                             std::to_string(6 - saved) + "件は中止しました）");
    EXPECT_EQ(tavori::test::names(out).size(), static_cast<std::size_t>(saved) + 1) << "files and the book";
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 0) << "the progress is cleared when the save ends";
    EXPECT_FALSE(model->alertMessage());
}

TEST_F(AppModelTest, ASaveThatStopsKeepsWhatWasSavedAndSaysHowManyWereNot) {
    addAndRead({sample("scan_0001.pdf"), sample("scan_0002.pdf"), sample("invoice-may.pdf")});
    useDestination(out, RenameMode::move);
    fs::remove(sample("scan_0002.pdf"));
    save();
    EXPECT_EQ(model->alertMessage(),
              "保存に失敗しました: 元ファイルが見つかりません: scan_0002.pdf（2件は保存されていません）");
    EXPECT_EQ(model->itemAt(0).status(), Status::saved) << "its file has moved: it must not be saved again";
    EXPECT_EQ(model->itemAt(1).status(), Status::ready);
    EXPECT_EQ(model->itemAt(2).status(), Status::ready);
    EXPECT_FALSE(model->isSaving());
    EXPECT_EQ(readFile(out / "索引簿.csv"), std::string(kBookHeader) +
                                                "1,2024/03/15,990,さくら文具店,領収書," + kStationery +
                                                ",T1234567890123,\r\n");
}

TEST_F(AppModelTest, ExportListsReadyAndSavedItemsWhereTheUserChooses) {
    writeFile(in / "broken.pdf", "%PDF-1.4 broken");
    fs::copy_file(sample("scan_0002.pdf"), in / "CAFE.PDF");
    addAndRead({sample("scan_0001.pdf"), in / "broken.pdf", in / "CAFE.PDF"});
    useDestination(out);
    save();
    fs::copy_file(sample("scan_0001.pdf"), in / "late.pdf");
    model->addFiles({in / "late.pdf"});

    model->exportIndexBook();
    ASSERT_EQ(desktop.saveRequests.size(), 1u);
    EXPECT_EQ(desktop.saveRequests[0].proposedName, QStringLiteral("索引簿.csv"));
    EXPECT_EQ(desktop.saveRequests[0].nameFilter, QStringLiteral("CSV (*.csv)"));
    EXPECT_FALSE(fs::exists(dir / "export.csv")) << "cancelled: nothing written";

    writeFile(dir / "export.csv", "replaced after the panel asked");
    desktop.saveAnswer = dir / "export.csv";
    QSignalSpy exported(model.get(), &AppModel::exportFinished);
    model->exportIndexBook();
    ASSERT_TRUE(exported.wait(10000));
    EXPECT_EQ(readFile(dir / "export.csv"),
              std::string(kBookHeader) + "1,2024/03/15,990,さくら文具店,領収書," + kStationery +
                  ",T1234567890123,\r\n" + "2,2024/04/02,1400,喫茶ひまわり,領収書," + kCafe + ",,\r\n");

    desktop.saveAnswer = dir / "no-such-folder" / "export.csv";
    model->exportIndexBook();
    ASSERT_TRUE(exported.wait(10000));
    ASSERT_TRUE(model->alertMessage());
    EXPECT_TRUE(model->alertMessage()->starts_with("索引簿に書き込めません")) << *model->alertMessage();
}

TEST_F(AppModelTest, ChoosingADestinationStoresItAndEveryChangeIsPersisted) {
    model->chooseDestination();
    ASSERT_EQ(desktop.folderRequests.size(), 1u);
    EXPECT_EQ(desktop.folderRequests[0].buttonTitle, QStringLiteral("この場所に保存"));
    EXPECT_EQ(desktop.folderRequests[0].message,
              QStringLiteral("リネームしたファイルの保存先フォルダを選んでください"));
    EXPECT_FALSE(model->settings().destination) << "cancelled";

    fs::create_directories(out);
    desktop.folderAnswer = out;
    QSignalSpy settingsChanged(model.get(), &AppModel::settingsChanged);
    model->chooseDestination();
    EXPECT_EQ(settingsChanged.count(), 1);
    EXPECT_EQ(model->settings().destinationFolder(), out);
    // Written after a quiet time by the worker (once for a burst of changes: see the settings window's test),
    // and a change made just before the model goes is written all the same.
    EXPECT_TRUE(QSignalSpy(model.get(), &AppModel::settingsWritten).wait(10000));
    EXPECT_EQ(AppSettings::load(SettingsStore(dir / "config" / "defaults.json")), model->settings());
    AppSettings typed = model->settings();
    typed.recipientName = "最後の変更";
    model->setSettings(typed);
    model.reset();
    EXPECT_EQ(AppSettings::load(SettingsStore(dir / "config" / "defaults.json")).recipientName, "最後の変更");
}

TEST_F(AppModelTest, RevealShowsTheSavedFileOrTheSource) {
    addAndRead({sample("scan_0001.pdf")});
    const QUuid id = model->itemAt(0).id();
    model->revealInFileManager(id);
    useDestination(out, RenameMode::move);
    save();
    model->revealInFileManager(id);
    EXPECT_EQ(desktop.revealed, (std::vector<fs::path>{sample("scan_0001.pdf"), out / kStationery}));

    // Read again after the move: from where the file is now, not from where it was added.
    model->analyze(id);
    ASSERT_TRUE(waitUntil([&] { return allRead(); }));
    EXPECT_EQ(model->itemAt(0).status(), Status::ready) << model->itemAt(0).errorMessage().value_or("");
    EXPECT_EQ(model->itemAt(0).currentPath(), out / kStationery);
}

}  // namespace
