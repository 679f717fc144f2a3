#include "TavoriName/TavoriNameApp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenuBar>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include "TavoriName/AppModel.h"
#include "TavoriName/BuildInfo.h"
#include "TavoriName/InboxFeed.h"
#include "TavoriName/IndexBookSearchWindow.h"
#include "TavoriName/MainWindow.h"
#include "TavoriName/QtDesktopServices.h"

namespace tavori {

namespace {

// Stands in until a real settings window is installed.
QWidget* emptySettingsWindow(AppModel&, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(QStringLiteral("設定"));
    dialog->resize(480, 320);
    return dialog;
}

}  // namespace

TavoriNameApp::TavoriNameApp(SettingsStore defaults, DesktopServices* desktop,
                             std::unique_ptr<AnalysisService> service, QObject* parent)
    : QObject(parent), settingsFactory_(emptySettingsWindow) {
    if (!desktop) {
        ownDesktop_ = std::make_unique<QtDesktopServices>();
        desktop = ownDesktop_.get();
    }
    desktop_ = desktop;
    AppSettings settings = AppSettings::load(defaults);
    model_ =
        std::make_unique<AppModel>(std::move(settings), std::move(defaults), *desktop, std::move(service));
    inboxFeed_ = std::make_unique<InboxFeed>(*model_);
    window_ = std::make_unique<MainWindow>(*model_);
    if (ownDesktop_) ownDesktop_->setWindow(window_.get());
    buildMenus();
    // Closing the main window ends the program.
    QApplication::setQuitOnLastWindowClosed(true);
}

TavoriNameApp::~TavoriNameApp() {
    // The window refers to the model, the model to the desktop services.
    window_.reset();
    inboxFeed_.reset();
    model_.reset();
}

void TavoriNameApp::setDetailPaneFactory(const DetailPaneFactory& factory) {
    window_->setDetailWidget(factory(*model_));
}

void TavoriNameApp::openFiles(std::vector<std::filesystem::path> files) {
    if (files.empty()) return;
    QTimer::singleShot(0, window_.get(), [this, files = std::move(files)] { window_->addFiles(files); });
}

void TavoriNameApp::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = settingsFactory_(*model_, window_.get());
        settingsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void TavoriNameApp::showSearch() {
    if (!searchWindow_) {
        searchWindow_ = new IndexBookSearchWindow(*model_, *desktop_, window_.get());
        searchWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    searchWindow_->show();
    searchWindow_->raise();
    searchWindow_->activateWindow();
}

void TavoriNameApp::openSupportPage() {
    const QString address =
        QString::fromUtf8(BuildInfo::supportURL.data(), static_cast<qsizetype>(BuildInfo::supportURL.size()));
    if (!QDesktopServices::openUrl(QUrl(address)))
        model_->showAlert("サポートページを開けませんでした。ブラウザで次のページを開いてください: " +
                          address.toStdString());
}

bool TavoriNameApp::installQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void TavoriNameApp::buildMenus() {
    QMenuBar* bar = window_->menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("ファイル"));
    QAction* add = file->addAction(QStringLiteral("ファイルを追加…"));
    add->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    connect(add, &QAction::triggered, window_.get(), &MainWindow::chooseFilesToAdd);
    file->addAction(window_->addFoldersAction());
    QAction* settings = file->addAction(QStringLiteral("設定…"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, &TavoriNameApp::showSettings);
    QAction* search = file->addAction(QStringLiteral("索引簿を検索…"));
    search->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    connect(search, &QAction::triggered, this, &TavoriNameApp::showSearch);
    // One entry per accounting package, each writing that package's import file.
    QMenu* journal = file->addMenu(QStringLiteral("会計ソフト用の仕訳を書き出す"));
    for (const auto& [label, format] : {std::pair{"弥生会計（仕訳日記帳）…", JournalExport::Format::yayoi},
                                        std::pair{"freee（取引）…", JournalExport::Format::freee},
                                        std::pair{"CSV（汎用）…", JournalExport::Format::generic}}) {
        QAction* entry = journal->addAction(QString::fromUtf8(label));
        connect(entry, &QAction::triggered, this, [this, format] { model_->exportJournal(format); });
    }
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("終了"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, window_.get(), &QWidget::close);

    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ"));
    QAction* update = help->addAction(QStringLiteral("アップデートを確認…"));
    connect(update, &QAction::triggered, this, [this] { updater_.checkForUpdates(); });
    QAction* support = help->addAction(QStringLiteral("サポートページを開く"));
    connect(support, &QAction::triggered, this, &TavoriNameApp::openSupportPage);
}

}  // namespace tavori
