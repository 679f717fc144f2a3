#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <QObject>

#include "TavoriName/DesktopServices.h"

class QWidget;

namespace tavori {
class AnalysisService;
}

// What the app-model and widget tests share: a desktop whose answers are set in advance, a service that reads
// by the rules alone, waiting on the event loop, and finding a window's parts by name.
namespace tavori::test {

class ScriptedDesktop : public DesktopServices {
  public:
    std::optional<std::filesystem::path> folderAnswer;
    std::optional<std::filesystem::path> saveAnswer;
    std::vector<FolderChoice> folderRequests;
    std::vector<SaveChoice> saveRequests;
    std::vector<std::filesystem::path> revealed;

    std::optional<std::filesystem::path> chooseFolder(const FolderChoice& choice) override {
        folderRequests.push_back(choice);
        return folderAnswer;
    }
    std::optional<std::filesystem::path> chooseSaveLocation(const SaveChoice& choice) override {
        saveRequests.push_back(choice);
        return saveAnswer;
    }
    void revealInFileManager(const std::filesystem::path& file) override { revealed.push_back(file); }
};

// Two workers, no local model.
std::unique_ptr<AnalysisService> rulesOnlyService();

// Runs the event loop until `done` holds or `timeout` passes; returns whether it holds.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));
// Delivers what has been posted so far, and what that posts in turn.
void drainPosted();

// The part of `parent` named `name` (its objectName); a missing one ends the test with what was looked for.
template <typename T = QWidget>
T* child(const QObject* parent, const char* name) {
    if (T* found = parent->findChild<T*>(QString::fromLatin1(name))) return found;
    throw std::runtime_error(std::string("no ") + T::staticMetaObject.className() + " named \"" + name +
                             "\"");
}

}  // namespace tavori::test
