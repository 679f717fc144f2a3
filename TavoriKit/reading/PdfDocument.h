#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/DocumentFile.h"
#include "TavoriKit/reading/Image.h"

namespace poppler {
class document;
class page;
}  // namespace poppler

namespace tavori {

// Width and height in PDF points.
struct PageSize {
    double width = 0;
    double height = 0;
    bool operator==(const PageSize&) const = default;
};

// One page of a `PdfDocument`; valid while the document lives. Not to be shared between threads.
class PdfPage {
  public:
    ~PdfPage();
    PdfPage(PdfPage&&) noexcept;
    PdfPage& operator=(PdfPage&&) noexcept;

    // The text layer laid out as printed, so that a label and its amount stay on one row.
    std::string text() const;
    // The media box, turned by the page's rotation.
    PageSize mediaBox() const;
    // The page at `scale` pixels per point (72 × scale dpi), upright, on white. Grey unless `colour`. Empty
    // when rendering fails, the page would exceed `maxPixels`, or `cancel` is cancelled while drawing (it is
    // polled between the page's drawing operations, so a page of endless vector paths stops in time).
    Image render(double scale, bool colour = false, double maxPixels = kMaxRenderPixels,
                 const CancellationToken* cancel = nullptr) const;

    // Large enough for A3 at 300 dpi; a page declaring a larger size is rendered at a lower scale by callers.
    static constexpr double kMaxRenderPixels = 20e6;

  private:
    friend class PdfDocument;
    struct Renderer;
    PdfPage(std::unique_ptr<poppler::page> page, Renderer& renderer, int index);
    std::unique_ptr<poppler::page> page_;
    Renderer* renderer_;
    int index_;
};

// A poppler document opened from a file. Move-only; one per thread.
class PdfDocument {
  public:
    // Nothing when the file cannot be opened or is locked by a password; `failure`, when given, then says
    // which (passwordProtected or damaged).
    static std::optional<PdfDocument> open(const std::filesystem::path& path,
                                           DocumentFile::Failure* failure = nullptr);

    ~PdfDocument();
    PdfDocument(PdfDocument&&) noexcept;
    PdfDocument& operator=(PdfDocument&&) noexcept;

    int pageCount() const;
    std::optional<PdfPage> page(int index) const;

  private:
    PdfDocument(std::unique_ptr<poppler::document> document, const std::filesystem::path& path);
    std::unique_ptr<poppler::document> document_;
    std::unique_ptr<PdfPage::Renderer> renderer_;
};

}  // namespace tavori
