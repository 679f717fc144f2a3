#include "TavoriKit/reading/PdfDocument.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

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

}  // namespace

PdfPage::PdfPage(std::unique_ptr<poppler::page> page) : page_(std::move(page)) {}
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

Image PdfPage::render(double scale, bool colour, double maxPixels) const {
    const PageSize size = mediaBox();
    if (!(scale > 0) || !std::isfinite(scale)) return {};
    const double w = size.width * scale, h = size.height * scale;
    if (!(w >= 1 && h >= 1) || w * h > maxPixels) return {};
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_paper_color(0xffffffff);
    renderer.set_image_format(colour ? poppler::image::format_rgb24 : poppler::image::format_gray8);
    const poppler::image image = renderer.render_page(page_.get(), 72.0 * scale, 72.0 * scale);
    if (!image.is_valid() || image.width() < 1 || image.height() < 1) return {};
    const auto* data = reinterpret_cast<const std::uint8_t*>(image.const_data());
    const std::span<const std::uint8_t> bytes(
        data, static_cast<std::size_t>(image.bytes_per_row()) * image.height());
    Image out = colour ? Image::fromRgb(image.width(), image.height(), bytes, image.bytes_per_row())
                       : Image::fromGrey(image.width(), image.height(), bytes, image.bytes_per_row());
    out.setResolution(static_cast<int>(std::lround(72.0 * scale)));
    return out;
}

PdfDocument::PdfDocument(std::unique_ptr<poppler::document> document) : document_(std::move(document)) {}
PdfDocument::~PdfDocument() = default;
PdfDocument::PdfDocument(PdfDocument&&) noexcept = default;
PdfDocument& PdfDocument::operator=(PdfDocument&&) noexcept = default;

std::optional<PdfDocument> PdfDocument::open(const std::filesystem::path& path,
                                             DocumentFile::Failure* failure) {
    quietPoppler();
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path.native()));
    if (document && !document->is_locked()) return PdfDocument(std::move(document));
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
    return PdfPage(std::move(page));
}

}  // namespace tavori
