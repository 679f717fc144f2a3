#include "TavoriName/DocumentPreview.h"

#include <fcntl.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QPdfWriter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include "TavoriKit/reading/PreviewProvider.h"

namespace tavori {

namespace {

// An image is shown at most this many pixels on its long side: enough to read a receipt at high zoom, and a
// 35-megapixel scan does not become a page the view would have to render whole.
constexpr double imageMaxPixel = 3000;
// An image pixel is one point at 96 dpi, so at scale 1 one image pixel covers one screen pixel.
constexpr double pointsPerImagePixel = 72.0 / 96.0;

bool isPdf(const std::filesystem::path& path) {
    return QString::fromStdString(path.extension().string()).toLower() == QStringLiteral(".pdf");
}

// Device-independent pixels per point, as the PDF view counts them.
double pixelsPerPoint() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->logicalDotsPerInch() : 96.0) / 72.0;
}

// A one-page PDF holding the image, or nothing.
std::unique_ptr<QTemporaryFile> imageAsPdf(const std::filesystem::path& path) {
    const auto picture = PreviewProvider::thumbnail(path, imageMaxPixel);
    if (!picture || picture->width <= 0 || picture->height <= 0) return nullptr;
    const QImage image(picture->pixels.data(), picture->width, picture->height, picture->width * 3,
                       QImage::Format_RGB888);
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open()) return nullptr;
    {
        QPdfWriter writer(file.get());
        writer.setResolution(96);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setPageSize(
            QPageSize(QSizeF(picture->width * pointsPerImagePixel, picture->height * pointsPerImagePixel),
                      QPageSize::Point));
        QPainter painter;
        if (!painter.begin(&writer)) return nullptr;
        painter.drawImage(QRectF(0, 0, writer.width(), writer.height()), image);
        painter.end();
    }
    file->flush();
    return file;
}

// Runs on a worker thread: the document ready to be shown on the GUI thread, or null.
QPdfDocument* loadDocument(const std::filesystem::path& path, QThread* guiThread) {
    auto document = std::make_unique<QPdfDocument>();
    if (isPdf(path)) {
        // Opened by its bytes: a name that is not UTF-8 cannot make the round trip through a QString.
        auto* file = new QFile(document.get());
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0) ::close(fd);
            return nullptr;
        }
        document->load(file);
    } else {
        const std::unique_ptr<QTemporaryFile> madeFromImage = imageAsPdf(path);
        if (!madeFromImage) return nullptr;
        // The document keeps the file open, so the temporary copy may go when this function returns.
        document->load(madeFromImage->fileName());
    }
    if (document->error() != QPdfDocument::Error::None || document->status() != QPdfDocument::Status::Ready ||
        document->pageCount() < 1)
        return nullptr;
    const QSizeF page = document->pagePointSize(0);
    if (!(page.width() > 0) || !(page.height() > 0)) return nullptr;
    document->moveToThread(guiThread);
    return document.release();
}

}  // namespace

DocumentPreview::DocumentPreview(QWidget* parent) : QWidget(parent), view_(new QPdfView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    view_->setPageMode(QPdfView::PageMode::MultiPage);
    view_->setZoomMode(QPdfView::ZoomMode::Custom);
    view_->setPageSpacing(0);
    view_->setDocumentMargins(QMargins(0, 0, 0, 0));
    view_->setFrameShape(QFrame::NoFrame);
    // Reached by Tab between the list and the form, so that the arrow keys scroll the page.
    view_->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(view_);
    QPalette palette = view_->palette();
    palette.setBrush(QPalette::Dark, palette.brush(QPalette::Window));
    view_->setPalette(palette);
}

DocumentPreview::~DocumentPreview() {
    view_->setDocument(nullptr);
}

void DocumentPreview::setFile(const std::filesystem::path& path) {
    if (!coordinator_.beginLoading(path)) return;
    const std::uint64_t generation = ++generation_;
    loading_ = true;
    view_->setDocument(nullptr);
    document_.reset();
    QPointer<DocumentPreview> self(this);
    QThread* guiThread = thread();
    QThreadPool::globalInstance()->start([self, path, generation, guiThread] {
        QPdfDocument* document = loadDocument(path, guiThread);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, document, generation] {
                if (self)
                    self->showLoaded(document, generation);
                else
                    delete document;
            },
            Qt::QueuedConnection);
    });
}

void DocumentPreview::showLoaded(QPdfDocument* document, std::uint64_t generation) {
    std::unique_ptr<QPdfDocument> owned(document);
    if (generation != generation_) return;  // a later file was asked for meanwhile
    loading_ = false;
    document_ = std::move(owned);
    view_->setDocument(document_.get());
    emit loadFinished(document_ != nullptr);
    schedulePendingCommand();
}

void DocumentPreview::zoom(PreviewZoom command) {
    current_ = command;
    scheduleUserCommand(command);
}

void DocumentPreview::scheduleUserCommand(PreviewZoom command) {
    QTimer::singleShot(0, this, [this, command] {
        if (loading_) return;  // the current command is applied when the file is there
        // Checked now rather than at the press, so that two presses of a fit in one turn fit once.
        if (coordinator_.shouldApply(command)) apply(command);
    });
}

void DocumentPreview::schedulePendingCommand() {
    QTimer::singleShot(0, this, [this] {
        if (!loading_ && coordinator_.isPending()) apply(current_);
    });
}

void DocumentPreview::apply(PreviewZoom command) {
    double scale = view_->zoomFactor();
    // A new file asked to zoom in or out keeps the scale the user chose rather than compounding it.
    const bool compounding = command == PreviewZoom::in || command == PreviewZoom::out;
    if (!(compounding && coordinator_.isPending())) {
        const PreviewScale::Size view = viewSize();
        const double scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view_);
        scale = PreviewScale::apply(command, scale, view, pageSizeAtUnitScale(), view.width - scrollBar);
    }
    view_->setZoomFactor(scale);
    coordinator_.applied(command);
    emit zoomApplied(command, scale);
}

double DocumentPreview::scale() const {
    return view_->zoomFactor();
}

bool DocumentPreview::hasDocument() const {
    return document_ != nullptr;
}

int DocumentPreview::pageCount() const {
    return document_ ? document_->pageCount() : 0;
}

PreviewScale::Size DocumentPreview::pageSizeAtUnitScale() const {
    if (!document_ || document_->pageCount() < 1) return {};
    const QSizeF points = document_->pagePointSize(0);
    const double factor = pixelsPerPoint();
    return {points.width() * factor, points.height() * factor};
}

PreviewScale::Size DocumentPreview::viewSize() const {
    const QSize size = view_->maximumViewportSize();
    return {double(size.width()), double(size.height())};
}

}  // namespace tavori
