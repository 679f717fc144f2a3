#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include <QWidget>

#include "TavoriName/PreviewZoom.h"

class QPdfDocument;
class QPdfView;

namespace tavori {

// The zoomable view of one document file: a PDF as it is, an image as a one-page PDF made from it. Files are
// read on a worker thread, so a large scan never stalls the window; a file that cannot be shown leaves the
// view empty, without a message.
class DocumentPreview : public QWidget {
    Q_OBJECT

  public:
    explicit DocumentPreview(QWidget* parent = nullptr);
    ~DocumentPreview() override;

    // Loads `path` unless it is the file already held (which keeps its document and scale); the current zoom
    // command is applied to the new document once it is there.
    void setFile(const std::filesystem::path& path);
    // A command given by the user: it becomes the current one and is applied on the next turn of the event
    // loop, when the view has its final size.
    void zoom(PreviewZoom command);
    // Makes `command` current without applying it: what a newly shown document starts from.
    void setCurrentZoom(PreviewZoom command) { current_ = command; }
    PreviewZoom currentZoom() const { return current_; }

    double scale() const;
    bool hasDocument() const;
    bool isLoading() const { return loading_; }
    int pageCount() const;
    QPdfView* pdfView() const { return view_; }
    // The first page's size at scale 1, in device-independent pixels (zero without a document).
    PreviewScale::Size pageSizeAtUnitScale() const;
    // The viewport's size available to a page, in device-independent pixels.
    PreviewScale::Size viewSize() const;

  signals:
    // A load finished, whether or not it gave a document; the pending zoom command is applied after it.
    void loadFinished(bool shown);
    // A zoom command took effect.
    void zoomApplied(tavori::PreviewZoom command, double scale);

  private:
    void showLoaded(QPdfDocument* document, std::uint64_t generation);
    void scheduleUserCommand(PreviewZoom command);
    void schedulePendingCommand();
    void apply(PreviewZoom command);

    QPdfView* view_ = nullptr;
    std::unique_ptr<QPdfDocument> document_;
    PreviewCoordinator coordinator_;
    PreviewZoom current_ = PreviewZoom::fitPage;
    std::uint64_t generation_ = 0;
    bool loading_ = false;
};

}  // namespace tavori
