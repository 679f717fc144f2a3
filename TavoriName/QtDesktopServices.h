#pragma once

#include <QPointer>
#include <QWidget>

#include "TavoriName/DesktopServices.h"

namespace tavori {

// The desktop's own panels and file manager, for the app model.
class QtDesktopServices final : public DesktopServices {
  public:
    // Panels open over `window` once it is set.
    void setWindow(QWidget* window) { window_ = window; }

    std::optional<std::filesystem::path> chooseFolder(const FolderChoice& choice) override;
    std::optional<std::filesystem::path> chooseSaveLocation(const SaveChoice& choice) override;
    // Asks the file manager over D-Bus to show the file selected; when none answers, opens its folder.
    void revealInFileManager(const std::filesystem::path& file) override;

    // A file URL for any path, its bytes percent-encoded, so that names that are not UTF-8 survive.
    static QString fileUri(const std::filesystem::path& path);

  private:
    QPointer<QWidget> window_;
};

}  // namespace tavori
