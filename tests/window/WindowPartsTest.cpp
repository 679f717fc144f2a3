#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/FileDrop.h"
#include "TavoriName/QtDesktopServices.h"
#include "TavoriName/StatusBadge.h"
#include "TavoriName/UpdaterBridge.h"
#include "tests/window/WindowTestSupport.h"

using namespace tavori;
namespace fs = std::filesystem;

namespace {

const std::string validKey = "MCowBQYDK2VwAyEAq83vZ8TlV7Q3n2J1rX0pWfH5o1c=";  // 44 characters

ReceiptFields confidentFields() {
    ReceiptFields fields;
    fields.date = DateComponentsValue{2024, 3, 15};
    fields.vendor = "さくら文具店";
    fields.amount = 990;
    fields.confidence = {
        FieldConfidence::Level::high, FieldConfidence::Level::high, FieldConfidence::Level::high, {}};
    return fields;
}

enum class Step { start, finish, finishDoubtful, confirm, edit };

// One transition, as the app model makes it.
void apply(DocumentItem& item, Step step) {
    PipelineResult result;
    result.fields = confidentFields();
    if (step == Step::finishDoubtful) {
        result.fields.amount.reset();
        result.fields.confidence.amount = FieldConfidence::Level::missing;
    }
    if (step == Step::start) item.beginAnalysis();
    if (step == Step::finish || step == Step::finishDoubtful) item.finishAnalysis(result);
    if (step == Step::confirm) item.confirm();
    if (step == Step::edit) item.markEdited(DocumentItem::Field::vendor);
}

}  // namespace

// The badges the window's own tests do not reach; the others (reading, ready, saved, failed) are checked
// in the table there.
TEST(WindowPartsTest, badgesOfWaitingDoubtfulAndConfirmedItems) {
    const std::vector<std::pair<std::vector<Step>, QString>> cases = {
        {{}, "読み取り待ち"},
        {{Step::start, Step::finishDoubtful, Step::confirm}, "確認済み。保存できます"},
        {{Step::start, Step::finish, Step::confirm, Step::edit}, "手で修正済み。保存できます"},
    };
    for (const auto& [steps, toolTip] : cases) {
        DocumentItem item(fs::path("/tmp/a.pdf"));
        for (Step step : steps) apply(item, step);
        EXPECT_EQ(StatusBadge::forItem(item).toolTip, toolTip);
        EXPECT_EQ(StatusBadge::forItem(item).color, steps.empty() ? Icons::secondary() : Icons::green);
    }
    DocumentItem doubtful(fs::path("/tmp/a.pdf"));
    apply(doubtful, Step::start);
    apply(doubtful, Step::finishDoubtful);
    const StatusBadge badge = StatusBadge::forItem(doubtful);
    EXPECT_TRUE(badge.toolTip.startsWith("要確認\n") && badge.toolTip.contains("金額")) << badge.toolTip;
    EXPECT_EQ(badge.color, Icons::orange);
}

TEST(WindowPartsTest, cellTexts) {
    ReceiptFields fields;
    EXPECT_EQ(DocumentTableModel::dateText(fields), "—");
    EXPECT_EQ(DocumentTableModel::vendorText(fields), "—");
    EXPECT_EQ(DocumentTableModel::amountText(fields), "—");
    fields = confidentFields();
    fields.date = DateComponentsValue{2024, 1, 5};
    fields.amount = 1234567;
    EXPECT_EQ(DocumentTableModel::dateText(fields), "2024/01/05");
    EXPECT_EQ(DocumentTableModel::amountText(fields), "¥1,234,567");
    fields.amount = 0;
    EXPECT_EQ(DocumentTableModel::amountText(fields), "¥0");
}

// A template that renders nothing shows the name the save falls back to, not a hidden ".jpeg". The template's
// name and the name a save gave are in the window's tests.
TEST(WindowPartsTest, newNameCell) {
    AppSettings settings;
    settings.nameTemplate.templateText = "{seq}";
    DocumentItem item(fs::path("/tmp/SCAN.JPEG"));
    apply(item, Step::start);
    apply(item, Step::finish);
    EXPECT_EQ(DocumentTableModel::newNameText(item, settings), "SCAN.jpeg");
}

// The paths a file manager's URL list names, as bytes; none when the drop carries no files.
std::optional<std::vector<std::string>> droppedPaths(const QByteArray& list) {
    QMimeData data;
    data.setData("text/uri-list", list);
    const auto files = FileDrop::files(data);
    if (!files) return std::nullopt;
    std::vector<std::string> paths;
    for (const auto& file : *files) paths.push_back(file.native());
    return paths;
}

TEST(WindowPartsTest, uriListDecoding) {
    const std::vector<std::pair<QByteArray, std::vector<std::string>>> cases = {
        {"file:///b/2.pdf\r\nfile:///a/1.pdf\r\n", {"/b/2.pdf", "/a/1.pdf"}},  // order kept
        {"# copied\r\n\r\nfile:///x.pdf\n", {"/x.pdf"}},
        {"file://localhost/x.pdf", {"/x.pdf"}},
        {"file://server/x.pdf\r\nhttps://example.com/y.pdf\r\nsmb://s/z.pdf\r\n",
         {}},  // other hosts, schemes
        {"file:///tmp/%E9%A0%98%E5%8F%8E%E6%9B%B8%20%231.pdf", {"/tmp/領収書 #1.pdf"}},
        {"file:///tmp/%FF%FE.pdf", {"/tmp/\xff\xfe.pdf"}},  // bytes that are not UTF-8
        {"file:///tmp/a%00b.pdf", {}},                      // NUL refused
        {"file:a.pdf", {}},                                 // relative refused
    };
    for (const auto& [list, paths] : cases) EXPECT_EQ(droppedPaths(list), paths) << list.toStdString();

    // A drop without a URL list, or with nothing but comments in it, carries no files.
    QMimeData text;
    text.setText("file:///tmp/a.pdf");
    EXPECT_FALSE(FileDrop::canAccept(text));
    EXPECT_FALSE(FileDrop::files(text).has_value());
    EXPECT_EQ(droppedPaths("# nothing here\r\n\r\n"), std::nullopt);

    for (const std::string name : {"/tmp/領収書 #1%.pdf", "/tmp/\xff\x80 a.pdf", "/tmp/a?b.pdf"})
        EXPECT_EQ(droppedPaths(QtDesktopServices::fileUri(name).toLatin1()), std::vector<std::string>{name});
}

TEST(WindowPartsTest, updateGate) {
    const std::string feed = "https://example.com/appcast.xml";
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {feed, validKey, true},
        {"", validKey, false},
        {"http://example.com/appcast.xml", validKey, false},
        {feed, "", false},
        {feed, validKey.substr(0, 43), false},
        {feed, validKey + "A", false},
        {feed, "REPLACE" + validKey.substr(7), false},  // the placeholder key
    };
    for (const auto& [url, key, configured] : cases) {
        const UpdaterBridge bridge(url, key);
        EXPECT_EQ(bridge.controller() != nullptr, configured) << url << " " << key;
        EXPECT_EQ(UpdaterBridge::isConfigured(url, key), configured) << url << " " << key;
    }
    // A build without update configuration has no controller, and checking does nothing.
    const UpdaterBridge unconfigured;
    EXPECT_EQ(unconfigured.controller(), nullptr);
    unconfigured.checkForUpdates();
}

TEST(WindowPartsTest, failuresToOpenAFolderOrThePageAreShown) {
    // Neither a file manager on the session bus nor a program to open folders and pages with.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    QtDesktopServices desktop;
    std::vector<std::string> reported;
    desktop.reportFailure = [&](std::string message) { reported.push_back(std::move(message)); };
    desktop.revealInFileManager("/tmp/保存先/a.pdf");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reported.empty(); }));
    EXPECT_EQ(reported, std::vector<std::string>{
                            "フォルダを開けませんでした（ファイルマネージャが見つかりません）: /tmp/保存先"});

    test::WindowFixture f;
    f.app().openSupportPage();
    ASSERT_TRUE(f.model().alertMessage().has_value());
    EXPECT_TRUE(f.model().alertMessage()->starts_with("サポートページを開けませんでした"))
        << *f.model().alertMessage();
    qputenv("PATH", path);
}
