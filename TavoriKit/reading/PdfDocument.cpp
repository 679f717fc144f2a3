#include "TavoriKit/reading/PdfDocument.h"

#include <poppler/GlobalParams.h>
#include <poppler/PDFDoc.h>
#include <poppler/SplashOutputDev.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>
#include <poppler/splash/SplashBitmap.h>

#include <cmath>
#include <span>

namespace tavori {
namespace {

// Poppler reports damaged files on standard error; the callers see the damage through return values.
void quietPoppler() {
    static const bool once = [] {
        poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
        return true;
    }();
    (void)once;
}

bool cancelled(void* token) {
    return static_cast<const CancellationToken*>(token)->isCancelled();
}

void ignoreError(ErrorCategory, Goffset, const char*) {}

}  // namespace

// The page drawing goes through Poppler's own document class, the only way to hand it a callback that stops
// a drawing half-way. It is opened on the first page drawn: a document with a text layer is never drawn.
struct PdfPage::Renderer {
    std::filesystem::path path;
    std::unique_ptr<GlobalParamsIniter> params;  // before `document`: it must outlive it
    std::unique_ptr<PDFDoc> document;
    bool tried = false;

    PDFDoc* get() {
        if (!tried) {
            tried = true;
            params = std::make_unique<GlobalParamsIniter>(ignoreError);
            auto opened = std::make_unique<PDFDoc>(std::make_unique<GooString>(path.c_str()));
            if (opened->isOk()) document = std::move(opened);
        }
        return document.get();
    }
};

PdfPage::PdfPage(std::unique_ptr<poppler::page> page, Renderer& renderer, int index)
    : page_(std::move(page)), renderer_(&renderer), index_(index) {}
PdfPage::~PdfPage() = default;
PdfPage::PdfPage(PdfPage&&) noexcept = default;
PdfPage& PdfPage::operator=(PdfPage&&) noexcept = default;

std::string PdfPage::text() const {
    const poppler::byte_array utf8 = page_->text(poppler::rectf(), poppler::page::physical_layout).to_utf8();
    return std::string(utf8.begin(), utf8.end());
}

PageSize PdfPage::mediaBox() const {
    const poppler::rectf box = page_->page_rect(poppler::media_box);
    PageSize size{std::fabs(box.width()), std::fabs(box.height())};
    const auto orientation = page_->orientation();
    if (orientation == poppler::page::landscape || orientation == poppler::page::seascape)
        std::swap(size.width, size.height);
    return size;
}

Image PdfPage::render(double scale, bool colour, double maxPixels, const CancellationToken* cancel) const {
    const PageSize size = mediaBox();
    if (!(scale > 0) || !std::isfinite(scale)) return {};
    const double w = size.width * scale, h = size.height * scale;
    if (!(w >= 1 && h >= 1) || w * h > maxPixels) return {};
    PDFDoc* document = renderer_->get();
    if (document == nullptr) return {};
    // White paper, anti-aliased shapes and glyphs, no hinting: as Poppler's own page renderer draws.
    SplashColor paper = {0xff, 0xff, 0xff, 0xff};
    SplashOutputDev device(colour ? splashModeRGB8 : splashModeMono8, 4, false, paper, true);
    device.setFontAntialias(true);
    device.setVectorAntialias(true);
    device.setFreeTypeHinting(false, false);
    device.startDoc(document);
    const double dpi = 72.0 * scale;
    document->displayPageSlice(&device, index_ + 1, dpi, dpi, 0, false, true, false, -1, -1, -1, -1,
                               cancel ? cancelled : nullptr, const_cast<CancellationToken*>(cancel), nullptr,
                               nullptr, true);
    if (cancel && cancel->isCancelled()) return {};
    const SplashBitmap* bitmap = device.getBitmap();
    if (bitmap == nullptr || bitmap->getWidth() < 1 || bitmap->getHeight() < 1) return {};
    const std::span<const std::uint8_t> bytes(
        bitmap->getDataPtr(),
        static_cast<std::size_t>(bitmap->getRowSize()) * static_cast<std::size_t>(bitmap->getHeight()));
    Image out = colour
                    ? Image::fromRgb(bitmap->getWidth(), bitmap->getHeight(), bytes, bitmap->getRowSize())
                    : Image::fromGrey(bitmap->getWidth(), bitmap->getHeight(), bytes, bitmap->getRowSize());
    out.setResolution(static_cast<int>(std::lround(72.0 * scale)));
    return out;
}

PdfDocument::PdfDocument(std::unique_ptr<poppler::document> document, const std::filesystem::path& path)
    : document_(std::move(document)), renderer_(std::make_unique<PdfPage::Renderer>()) {
    renderer_->path = path;
}
PdfDocument::~PdfDocument() = default;
PdfDocument::PdfDocument(PdfDocument&&) noexcept = default;
PdfDocument& PdfDocument::operator=(PdfDocument&&) noexcept = default;

std::optional<PdfDocument> PdfDocument::open(const std::filesystem::path& path,
                                             DocumentFile::Failure* failure) {
    quietPoppler();
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path.native()));
    if (document && !document->is_locked()) return PdfDocument(std::move(document), path);
    if (failure != nullptr)
        *failure = document ? DocumentFile::Failure::passwordProtected : DocumentFile::Failure::damaged;
    return std::nullopt;
}

int PdfDocument::pageCount() const {
    return document_->pages();
}

std::optional<PdfPage> PdfDocument::page(int index) const {
    if (index < 0 || index >= pageCount()) return std::nullopt;
    std::unique_ptr<poppler::page> page(document_->create_page(index));
    if (!page) return std::nullopt;
    return PdfPage(std::move(page), *renderer_, index);
}

}  // namespace tavori
