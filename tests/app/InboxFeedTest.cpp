#include <gtest/gtest.h>

#include <set>

#include "../TestFiles.h"
#include "AppTestSupport.h"
#include "TavoriKit/service/InboxLedger.h"
#include "TavoriName/AppModel.h"
#include "TavoriName/InboxFeed.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tavori::AppModel;
using tavori::AppSettings;
using tavori::DocumentItem;
using tavori::test::names;
using tavori::test::ScriptedDesktop;
using tavori::test::TestFolder;
using tavori::test::waitUntil;

namespace {

class InboxFeedTest : public ::testing::Test {
  protected:
    TestFolder dir;
    fs::path inbox = dir / "inbox";
    fs::path out = dir / "out";
    ScriptedDesktop desktop;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<tavori::InboxFeed> feed;

    void SetUp() override {
        fs::create_directories(out);
        tavori::SamplePdf::writeSamples(inbox);
        // No date: it asks for review.
        tavori::SamplePdf::write(inbox / "undated.pdf", {"undated.pdf",
                                                         {{"くすのき書房", 36, 40, 16},
                                                          {"領収書", 36, 70, 12},
                                                          {"合計", 36, 160, 12},
                                                          {"¥500", 200, 160, 12}}});
    }
    void start(bool autoSave) {
        feed.reset();
        model.reset();
        AppSettings settings;
        settings.inbox = inbox;
        settings.destination = out;
        settings.autoSaveConfident = autoSave;
        model = std::make_unique<AppModel>(settings, tavori::SettingsStore(dir / "defaults.json"), desktop,
                                           tavori::test::rulesOnlyService());
        tavori::InboxWatcher::Configuration watching;
        watching.settleTime = 50ms;
        feed = std::make_unique<tavori::InboxFeed>(*model, watching);
    }
    std::map<std::string, DocumentItem::Status> statuses() const {
        std::map<std::string, DocumentItem::Status> result;
        for (const DocumentItem* item : model->items())
            result[item->sourcePath().filename()] = item->status();
        return result;
    }
    std::size_t savedPdfs() const {
        std::size_t n = 0;
        for (const auto& name : names(out)) n += name.ends_with(".pdf");
        return n;
    }
};

using Status = DocumentItem::Status;

TEST_F(InboxFeedTest, AddsWhatArrivesAndAutoSavesOnlyWhatAsksForNoReview) {
    start(true);
    ASSERT_TRUE(waitUntil([&] { return statuses().size() == 4 && savedPdfs() == 3; })) << savedPdfs();
    ASSERT_TRUE(waitUntil([&] { return statuses()["undated.pdf"] == Status::ready; }));
    const auto first = statuses();
    for (const char* name : {"scan_0001.pdf", "scan_0002.pdf", "invoice-may.pdf"})
        EXPECT_EQ(first.at(name), Status::saved) << name;

    tavori::SamplePdf::write(inbox / "later.pdf", tavori::SamplePdf::receipt("かえで食堂", 3, 2, 2400));
    ASSERT_TRUE(waitUntil([&] { return statuses()["later.pdf"] == Status::saved; }));
    EXPECT_EQ(savedPdfs(), 4u);

    // Started again: the copies saved are remembered, what waits for review comes back.
    ASSERT_TRUE(waitUntil([&] {
        return fs::exists(out / tavori::InboxLedger::fileName) &&
               tavori::InboxLedger(out).contains(inbox / "later.pdf",
                                                 *tavori::FileSignature::of(inbox / "later.pdf"));
    }));
    start(true);
    ASSERT_TRUE(waitUntil([&] { return statuses()["undated.pdf"] == Status::ready; }));
    EXPECT_FALSE(waitUntil([&] { return statuses().size() > 1; }, 500ms)) << "a saved copy came back";
    EXPECT_EQ(savedPdfs(), 4u);
}

TEST_F(InboxFeedTest, WithoutAutoSaveItemsWaitAndTurningTheInboxOffStopsIt) {
    start(false);
    ASSERT_TRUE(waitUntil([&] {
        const auto s = statuses();
        return s.size() == 4 &&
               std::all_of(s.begin(), s.end(), [](auto& e) { return e.second == Status::ready; });
    }));
    EXPECT_EQ(savedPdfs(), 0u);

    AppSettings off = model->settings();
    off.inbox.reset();
    model->setSettings(off);
    EXPECT_FALSE(feed->folder());
    tavori::SamplePdf::write(inbox / "later.pdf", tavori::SamplePdf::receipt("かえで食堂", 3, 2, 2400));
    EXPECT_FALSE(waitUntil([&] { return statuses().count("later.pdf") > 0; }, 500ms));
}

}  // namespace
