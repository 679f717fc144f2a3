#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QMimeData>
#include <QString>
#include <QTableView>

#include "TavoriName/AppModel.h"
#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/DropPlaceholder.h"
#include "TavoriName/MainWindow.h"
#include "TavoriName/TavoriNameApp.h"
#include "samples/SamplePdf.h"
#include "tests/TestFiles.h"
#include "tests/app/AppTestSupport.h"

// A real app model and main window over files in a fresh folder, for the widget tests, the screenshots and
// the window benchmark.
namespace tavori::test {

class WindowFixture {
  public:
    // The application as it starts with `settings` stored.
    explicit WindowFixture(const AppSettings& settings = {});

    TavoriNameApp& app() { return *app_; }
    AppModel& model() { return app_->model(); }
    MainWindow& window() { return app_->window(); }
    ScriptedDesktop& desktop() { return desktop_; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    // The window's document list, its rows and the placeholder shown while it is empty.
    QTableView* list() { return child<QTableView>(&window(), "documentList"); }
    DocumentTableModel* documents() { return child<DocumentTableModel>(&window(), "documents"); }
    DropPlaceholder* placeholder() { return child<DropPlaceholder>(&window(), "placeholder"); }

    // A sample document (index into SamplePdf::samples()) written under `name`.
    std::filesystem::path writeSample(std::size_t index, const std::string& name);
    std::filesystem::path writeDocument(const SamplePdf::Document& document, const std::string& name);

    // Drops the paths' URLs on the window as a file manager does; true when the window accepted the drop.
    bool drop(const std::vector<std::filesystem::path>& paths);
    bool drop(QMimeData* data);
    // No item queued or being read.
    bool settled() const;
    // Runs the event loop until settled() and the window has drawn the outcome; whether that came in time.
    bool waitSettled(int timeoutMs = 30000);

  private:
    TestFolder folder_;
    ScriptedDesktop desktop_;
    std::unique_ptr<TavoriNameApp> app_;
};

// The URL list a file manager puts on a drag, one file URL per path with its bytes percent-encoded.
QByteArray uriList(const std::vector<std::filesystem::path>& paths);

}  // namespace tavori::test

// Qt's strings in test failures, as their UTF-8.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
