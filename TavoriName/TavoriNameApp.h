#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>

class QCoreApplication;
#include <QPointer>

#include "TavoriKit/service/AnalysisService.h"
#include "TavoriName/DesktopServices.h"
#include "TavoriName/SettingsStore.h"
#include "TavoriName/UpdaterBridge.h"

class QWidget;

namespace tavori {

class AppModel;
class InboxFeed;
class MainWindow;
class QtDesktopServices;

// The program: the one app model made from the stored settings, the main window with its menus, the settings
// window and the update gate.
class TavoriNameApp final : public QObject {
    Q_OBJECT
  public:
    // Qt's own texts (the standard buttons of dialogs, the file panel, a text field's context menu) in
    // Japanese, from the system's Qt catalogue. False when the catalogue is not installed.
    static bool installQtTranslations(QCoreApplication& application);
    // Makes the window that edits the settings; the window deletes it when closed.
    using SettingsWindowFactory = std::function<QWidget*(AppModel& model, QWidget* parent)>;
    // Makes the detail pane for the right side of the main window.
    using DetailPaneFactory = std::function<QWidget*(AppModel& model)>;

    // Settings come from `defaults`. Without `desktop` the desktop's own panels are used; without a service
    // the model makes the application's own.
    explicit TavoriNameApp(SettingsStore defaults, DesktopServices* desktop = nullptr,
                           std::unique_ptr<AnalysisService> service = nullptr, QObject* parent = nullptr);
    ~TavoriNameApp() override;

    AppModel& model() { return *model_; }
    MainWindow& window() { return *window_; }
    DesktopServices& desktop() { return *desktop_; }
    const UpdaterBridge& updater() const { return updater_; }

    void setSettingsWindowFactory(SettingsWindowFactory factory) { settingsFactory_ = std::move(factory); }
    void setDetailPaneFactory(const DetailPaneFactory& factory);

    // Files named on the command line, added as if dropped once the event loop runs.
    void openFiles(std::vector<std::filesystem::path> files);
    void showSettings();
    QWidget* settingsWindow() const { return settingsWindow_; }
    // 「索引簿を検索」 over the destination's book.
    void showSearch();
    void openSupportPage();

  private:
    void buildMenus();

    std::unique_ptr<QtDesktopServices> ownDesktop_;
    DesktopServices* desktop_ = nullptr;  // ownDesktop_ or the one given
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<InboxFeed> inboxFeed_;  // watches the inbox folder while the window runs
    std::unique_ptr<MainWindow> window_;
    UpdaterBridge updater_;
    SettingsWindowFactory settingsFactory_;
    QPointer<QWidget> settingsWindow_;
    QPointer<QWidget> searchWindow_;
};

}  // namespace tavori
