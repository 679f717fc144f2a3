#include "TavoriName/QtDesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QUrl>

namespace tavori {

namespace {

std::filesystem::path pathFrom(const QString& file) {
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

}  // namespace

QString QtDesktopServices::fileUri(const std::filesystem::path& path) {
    const QByteArray bytes(path.native().data(), static_cast<qsizetype>(path.native().size()));
    return QStringLiteral("file://") + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

std::optional<std::filesystem::path> QtDesktopServices::chooseFolder(const FolderChoice& choice) {
    QFileDialog panel(window_, choice.message);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly);
    panel.setLabelText(QFileDialog::Accept, choice.buttonTitle);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return pathFrom(panel.selectedFiles().front());
}

std::optional<std::filesystem::path> QtDesktopServices::chooseSaveLocation(const SaveChoice& choice) {
    QFileDialog panel(window_);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setNameFilter(choice.nameFilter);
    panel.setDefaultSuffix(choice.defaultSuffix);
    panel.selectFile(choice.proposedName);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return pathFrom(panel.selectedFiles().front());
}

void QtDesktopServices::revealInFileManager(const std::filesystem::path& file) {
    const QString folder = fileUri(file.parent_path());
    const std::string shown = file.parent_path().string();
    const auto openFolder = [folder, shown, report = reportFailure] {
        if (!QDesktopServices::openUrl(QUrl(folder, QUrl::TolerantMode)) && report)
            report("フォルダを開けませんでした（ファイルマネージャが見つかりません）: " + shown);
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUri(file)} << QString();
    // The answer is awaited by a watcher, never by blocking the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* done) {
                         if (done->isError()) openFolder();
                         done->deleteLater();
                     });
}

}  // namespace tavori
