#include "tests/window/WindowTestSupport.h"

#include <QApplication>
#include <QDropEvent>
#include <QTest>

#include "TavoriName/QtDesktopServices.h"

namespace tavori::test {

WindowFixture::WindowFixture(const AppSettings& settings) {
    SettingsStore defaults(folder_ / "defaults.json");
    settings.save(defaults);
    app_ = std::make_unique<TavoriNameApp>(defaults, &desktop_);
}

std::filesystem::path WindowFixture::writeSample(std::size_t index, const std::string& name) {
    return writeDocument(SamplePdf::samples().at(index), name);
}

std::filesystem::path WindowFixture::writeDocument(const SamplePdf::Document& document,
                                                   const std::string& name) {
    const std::filesystem::path path = folder_ / name;
    std::filesystem::create_directories(path.parent_path());
    SamplePdf::write(path, document);
    return path;
}

QByteArray uriList(const std::vector<std::filesystem::path>& paths) {
    QByteArray list;
    for (const auto& path : paths) list += QtDesktopServices::fileUri(path).toLatin1() + "\r\n";
    return list;
}

bool WindowFixture::drop(const std::vector<std::filesystem::path>& paths) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), uriList(paths));
    return drop(data);
}

bool WindowFixture::drop(QMimeData* data) {
    const std::unique_ptr<QMimeData> owned(data);
    const QPointF where(window().width() / 3.0, window().height() / 2.0);
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window(), &enter);
    QDropEvent dropped(where, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window(), &dropped);
    return dropped.isAccepted();
}

bool WindowFixture::settled() const {
    for (int row = 0; row < app_->model().itemCount(); ++row) {
        const auto status = app_->model().itemAt(row).status();
        if (status == DocumentItem::Status::queued || status == DocumentItem::Status::analyzing) return false;
    }
    return true;
}

bool WindowFixture::waitSettled(int timeoutMs) {
    if (!QTest::qWaitFor([this] { return settled(); }, timeoutMs)) return false;
    // The window redraws what changed once per burst, from a posted call.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return true;
}

}  // namespace tavori::test
