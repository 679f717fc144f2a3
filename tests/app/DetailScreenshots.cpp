// Pictures of the detail pane and the settings window for review by eye:
//   xvfb-run -a detail_screenshots OUTPUT_FOLDER FILE...
// Each file is analysed for real, shown in the pane and written as detail_<n>_<file name>.png; then the
// settings tabs (the inbox watching OUTPUT_FOLDER) as settings_<n>.png. The whole window, with the pane, is
// window_screenshots' to draw.
#include <filesystem>
#include <iostream>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "TavoriName/AppModel.h"
#include "TavoriName/DetailPane.h"
#include "TavoriName/DocumentPreview.h"
#include "TavoriName/SettingsView.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

bool busy(const tavori::AppModel& model) {
    for (const auto* item : model.items())
        if (item->status() == tavori::DocumentItem::Status::queued ||
            item->status() == tavori::DocumentItem::Status::analyzing)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::cerr << "usage: detail_screenshots OUTPUT_FOLDER FILE...\n";
        return 2;
    }
    const fs::path output = argv[1];
    fs::create_directories(output);
    const fs::path store = output / "defaults.json";
    fs::remove(store);
    tavori::test::ScriptedDesktop desktop;
    tavori::AppModel model(tavori::AppSettings{}, tavori::SettingsStore(store), desktop);
    std::vector<fs::path> files;
    for (int i = 2; i < argc; ++i) files.emplace_back(fs::absolute(argv[i]));
    model.addFiles(files);
    while (busy(model)) QTest::qWait(100);

    tavori::DetailPane pane(model);
    pane.resize(560, 940);
    pane.show();
    for (int row = 0; row < model.itemCount(); ++row) {
        const auto& item = model.itemAt(row);
        auto* preview = pane.findChild<tavori::DocumentPreview*>("preview");
        QSignalSpy applied(preview, &tavori::DocumentPreview::zoomApplied);
        QSignalSpy finished(preview, &tavori::DocumentPreview::loadFinished);
        model.setSelection({item.id()});
        if (finished.isEmpty()) finished.wait(10000);
        if (applied.isEmpty()) applied.wait(1000);
        QTest::qWait(700);  // the page renders on the view's own threads
        const fs::path picture = output / ("detail_" + std::to_string(row + 1) + "_" +
                                           item.sourcePath().filename().string() + ".png");
        pane.grab().save(QString::fromStdString(picture.string()));
        std::cout << picture.native() << ": " << item.status() << ", " << item.fields() << '\n';
    }

    tavori::AppSettings settings = model.settings();
    settings.recipientName = "山田デザイン事務所";
    settings.aliases.rules.push_back({tavori::Uuid::random(), "ｾﾌﾞﾝ", "セブンイレブン"});
    settings.aliases.rules.push_back({tavori::Uuid::random(), "こむぎ舎", "ベーカリーこむぎ舎"});
    settings.inbox = fs::absolute(output);
    model.setSettings(settings);
    tavori::SettingsView view(model);
    view.show();
    for (int tab = 0; tab < view.count(); ++tab) {
        view.setCurrentIndex(tab);
        QTest::qWait(200);
        const fs::path picture = output / ("settings_" + std::to_string(tab + 1) + ".png");
        view.grab().save(QString::fromStdString(picture.string()));
        std::cout << picture.native() << '\n';
    }
    return 0;
}
