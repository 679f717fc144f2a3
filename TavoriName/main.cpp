#include <filesystem>
#include <vector>

#include <QApplication>

#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriName/DetailPane.h"
#include "TavoriName/Icons.h"
#include "TavoriName/MainWindow.h"
#include "TavoriName/SettingsView.h"
#include "TavoriName/TavoriNameApp.h"

// tavori-name [FILE...]: the window, with the given files and folders added as if dropped on it.
int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavori-name"));
    QApplication::setApplicationDisplayName(QStringLiteral("タヴォリネーム"));
    QApplication::setDesktopFileName(QStringLiteral("tavori-name"));
    QApplication::setWindowIcon(tavori::Icons::application());
    tavori::TavoriNameApp::installQtTranslations(app);

    tavori::TavoriNameApp shell{tavori::SettingsStore(tavori::SettingsStore::standardLocation())};
    std::vector<std::filesystem::path> files;
    // QApplication has taken its own options out of argv; the rest are file names, kept as bytes.
    for (int i = 1; i < argc; ++i) files.push_back(std::filesystem::absolute(argv[i]));
    shell.setDetailPaneFactory([](tavori::AppModel& model) { return new tavori::DetailPane(model); });
    shell.setSettingsWindowFactory([](tavori::AppModel& model, QWidget* parent) {
        auto* settings = new tavori::SettingsView(model, parent);
        settings->setWindowFlag(Qt::Window);
        settings->setWindowTitle(QStringLiteral("設定"));
        return settings;
    });
    shell.window().show();
    shell.openFiles(std::move(files));
    return QApplication::exec();
}
