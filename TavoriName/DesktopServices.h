#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QString>

namespace tavori {

// A folder-choice panel: folders only, new folders may be created.
struct FolderChoice {
    QString buttonTitle;  // "この場所に保存"
    QString message;      // "リネームしたファイルの保存先フォルダを選んでください"
};

// A save panel for one file.
struct SaveChoice {
    QString proposedName;   // the settings' index-book file name
    QString nameFilter;     // "CSV (*.csv)": comma-separated values only
    QString defaultSuffix;  // "csv"
};

// What the model asks of the desktop: the window implements it with real panels, tests with answers given in
// advance. Every call is made on the GUI thread and may block on the user, as modal panels do.
class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    // The folder the user confirmed, or nothing when cancelled.
    virtual std::optional<std::filesystem::path> chooseFolder(const FolderChoice& choice) = 0;
    // The file the user confirmed, or nothing when cancelled. The panel asks before an existing file is
    // replaced, so a returned path may be written over.
    virtual std::optional<std::filesystem::path> chooseSaveLocation(const SaveChoice& choice) = 0;
    // Shows the file selected in a file-manager window; a failure found later goes to `reportFailure`.
    virtual void revealInFileManager(const std::filesystem::path& file) = 0;

    // Where a failure that is known only after a call returned is told, in a Japanese sentence (the model
    // shows it in its alert). Called on the GUI thread; may be empty.
    std::function<void(std::string)> reportFailure;
};

}  // namespace tavori
