#include "TavoriName/UpdaterBridge.h"

#include <QDesktopServices>
#include <QUrl>

#include "TavoriName/BuildInfo.h"

namespace tavori {

void UpdateController::checkForUpdates() const {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(feedURL_)));
}

UpdaterBridge::UpdaterBridge() : UpdaterBridge(BuildInfo::updateFeedURL, BuildInfo::updatePublicKey) {}

UpdaterBridge::UpdaterBridge(std::string_view feedURL, std::string_view publicKey) {
    if (isConfigured(feedURL, publicKey))
        controller_ = std::make_unique<UpdateController>(std::string(feedURL));
}

bool UpdaterBridge::isConfigured(std::string_view feedURL, std::string_view publicKey) {
    // The key is an Ed25519 public key in Base64: exactly 44 characters. "REPLACE…" is the template's
    // placeholder left in an unfinished package.
    return feedURL.starts_with("https://") && publicKey.size() == 44 && !publicKey.starts_with("REPLACE");
}

void UpdaterBridge::checkForUpdates() const {
    if (controller_) controller_->checkForUpdates();
}

}  // namespace tavori
