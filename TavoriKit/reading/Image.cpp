#include "TavoriKit/reading/Image.h"

#include <dlfcn.h>
#include <leptonica/allheaders.h>

#include <cstdarg>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace tavori {
namespace {

struct LeptFree {
    void operator()(l_uint8* p) const { lept_free(p); }
};
using LeptBytes = std::unique_ptr<l_uint8, LeptFree>;

struct NumaDestroy {
    void operator()(NUMA* n) const { numaDestroy(&n); }
};

struct BoxDestroy {
    void operator()(BOX* b) const { boxDestroy(&b); }
};

std::vector<std::uint8_t> takeBytes(l_uint8* data, size_t size) {
    LeptBytes owner(data);
    if (data == nullptr || size == 0) return {};
    return std::vector<std::uint8_t>(data, data + size);
}

Image fromResult(PIX* pix) {
    return Image(pix);
}

// A `depth`-bit picture of rows `bytesPerRow` apart in `bytes`, each set by `fillRow(row, source)`; null when
// the sizes do not fit `bytesPerPixel` or memory runs out.
template <class FillRow>
PIX* pixFromRows(int width, int height, int depth, int bytesPerPixel, std::span<const std::uint8_t> bytes,
                 int bytesPerRow, FillRow fillRow) {
    if (width < 1 || height < 1 || bytesPerRow < bytesPerPixel * width ||
        bytes.size() < static_cast<std::size_t>(bytesPerRow) * static_cast<std::size_t>(height))
        return nullptr;
    PIX* pix = pixCreate(width, height, depth);
    if (pix == nullptr) return nullptr;
    l_uint32* data = pixGetData(pix);
    const l_int32 wpl = pixGetWpl(pix);
    for (int y = 0; y < height; ++y)
        fillRow(data + static_cast<std::ptrdiff_t>(y) * wpl,
                bytes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bytesPerRow));
    return pix;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const PixelRect& rect) {
    return os << "PixelRect{" << rect.x << ',' << rect.y << ' ' << rect.width << 'x' << rect.height << '}';
}

Image::Image(Pix* adopted) : pix_(adopted) {}

Image::~Image() {
    if (pix_ != nullptr) pixDestroy(&pix_);
}

Image::Image(Image&& other) noexcept : pix_(std::exchange(other.pix_, nullptr)) {}

Image& Image::operator=(Image&& other) noexcept {
    if (this != &other) {
        if (pix_ != nullptr) pixDestroy(&pix_);
        pix_ = std::exchange(other.pix_, nullptr);
    }
    return *this;
}

Image Image::blankGrey(int width, int height, std::uint8_t grey) {
    if (width < 1 || height < 1) return {};
    PIX* pix = pixCreate(width, height, 8);
    if (pix != nullptr) pixSetAllGray(pix, grey);
    return Image(pix);
}

Image Image::fromGrey(int width, int height, std::span<const std::uint8_t> bytes, int bytesPerRow) {
    return Image(
        pixFromRows(width, height, 8, 1, bytes, bytesPerRow, [width](l_uint32* row, const std::uint8_t* src) {
            for (int x = 0; x < width; ++x) SET_DATA_BYTE(row, x, src[x]);
        }));
}

Image Image::fromRgb(int width, int height, std::span<const std::uint8_t> bytes, int bytesPerRow) {
    return Image(pixFromRows(width, height, 32, 3, bytes, bytesPerRow,
                             [width](l_uint32* row, const std::uint8_t* src) {
                                 for (int x = 0; x < width; ++x) {
                                     l_uint32 value = 0;
                                     composeRGBPixel(src[3 * x], src[3 * x + 1], src[3 * x + 2], &value);
                                     row[x] = value;
                                 }
                             }));
}

int Image::width() const {
    return pix_ ? pixGetWidth(pix_) : 0;
}
int Image::height() const {
    return pix_ ? pixGetHeight(pix_) : 0;
}
int Image::depth() const {
    return pix_ ? pixGetDepth(pix_) : 0;
}
int Image::resolution() const {
    return pix_ ? pixGetXRes(pix_) : 0;
}

void Image::setResolution(int ppi) {
    if (pix_) pixSetResolution(pix_, ppi, ppi);
}

Image Image::copy() const {
    return pix_ ? fromResult(pixCopy(nullptr, pix_)) : Image();
}

Image Image::toGrey() const {
    if (!pix_) return {};
    if (pixGetDepth(pix_) == 8 && pixGetColormap(pix_) == nullptr) return copy();
    return fromResult(pixConvertTo8(pix_, 0));
}

Image Image::toRgb() const {
    if (!pix_) return {};
    if (pixGetDepth(pix_) == 32) return copy();
    return fromResult(pixConvertTo32(pix_));
}

Image Image::clipped(const PixelRect& rect) const {
    if (!pix_) return {};
    const int x0 = std::max(0, rect.x), y0 = std::max(0, rect.y);
    const int x1 = std::min(width(), rect.x + rect.width), y1 = std::min(height(), rect.y + rect.height);
    if (x1 <= x0 || y1 <= y0) return {};
    std::unique_ptr<BOX, BoxDestroy> box(boxCreate(x0, y0, x1 - x0, y1 - y0));
    if (!box) return {};
    return fromResult(pixClipRectangle(pix_, box.get(), nullptr));
}

Image Image::scaled(double factor) const {
    if (!pix_ || !(factor > 0) || !std::isfinite(factor)) return {};
    const double w = width() * factor, h = height() * factor;
    if (w < 1 || h < 1 || w > 100000 || h > 100000) return {};
    return fromResult(pixScale(pix_, static_cast<l_float32>(factor), static_cast<l_float32>(factor)));
}

Image Image::scaledTo(int w, int h) const {
    if (!pix_ || w < 1 || h < 1) return {};
    return fromResult(pixScaleToSize(pix_, w, h));
}

Image Image::rotated90(bool clockwise) const {
    return pix_ ? fromResult(pixRotateOrth(pix_, clockwise ? 1 : 3)) : Image();
}
Image Image::rotated180() const {
    return pix_ ? fromResult(pixRotate180(nullptr, pix_)) : Image();
}
Image Image::flippedLeftRight() const {
    return pix_ ? fromResult(pixFlipLR(nullptr, pix_)) : Image();
}
Image Image::flippedTopBottom() const {
    return pix_ ? fromResult(pixFlipTB(nullptr, pix_)) : Image();
}

Image Image::padded(int size, std::uint8_t grey) const {
    if (!pix_ || size < 0 || pixGetDepth(pix_) != 8) return {};
    return fromResult(pixAddBorder(pix_, size, grey));
}

std::uint8_t Image::greyPercentile(double fraction) const {
    if (!pix_ || pixGetDepth(pix_) != 8) return 0;
    std::unique_ptr<NUMA, NumaDestroy> histogram(pixGetGrayHistogram(pix_, 1));
    if (!histogram) return 0;
    const double total = static_cast<double>(width()) * height();
    double seen = 0;
    for (int v = 0; v < 256; ++v) {
        l_float32 count = 0;
        numaGetFValue(histogram.get(), v, &count);
        seen += count;
        if (seen >= fraction * total) return static_cast<std::uint8_t>(v);
    }
    return 255;
}

Image Image::erasingEdgeInk(std::uint8_t threshold, std::uint8_t fill, unsigned edges) const {
    if (!pix_ || pixGetDepth(pix_) != 8) return {};
    Image out = copy();
    const int w = width(), h = height();
    if (w < 3 || h < 3 || edges == 0) return out;
    // Dark pixels as 1s; the seed keeps only those on the chosen edges; filling the seed within the mask
    // gives every blob that touches them.
    Image mask(pixThresholdToBinary(pix_, threshold));
    Image seed = mask.copy();
    if (!mask || !seed) return out;
    const int x0 = (edges & left) ? 1 : 0, x1 = (edges & right) ? w - 1 : w;
    const int y0 = (edges & top) ? 1 : 0, y1 = (edges & bottom) ? h - 1 : h;
    if (x1 > x0 && y1 > y0)
        pixClearInRect(seed.pix_,
                       std::unique_ptr<BOX, BoxDestroy>(boxCreate(x0, y0, x1 - x0, y1 - y0)).get());
    Image touching(pixSeedfillBinary(nullptr, seed.pix_, mask.pix_, 8));
    if (!touching) return out;
    pixSetMasked(out.pix_, touching.pix_, fill);
    return out;
}

std::uint8_t Image::greyAt(int x, int y) const {
    if (!pix_ || pixGetDepth(pix_) != 8 || x < 0 || y < 0 || x >= width() || y >= height()) return 0;
    l_uint32 value = 0;
    pixGetPixel(pix_, x, y, &value);
    return static_cast<std::uint8_t>(value);
}

std::vector<std::uint8_t> Image::rgbBytes() const {
    if (!pix_) return {};
    const Image rgb = toRgb();
    if (!rgb) return {};
    const int w = rgb.width(), h = rgb.height();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
    const l_uint32* data = pixGetData(rgb.pix_);
    const l_int32 wpl = pixGetWpl(rgb.pix_);
    std::size_t k = 0;
    for (int y = 0; y < h; ++y) {
        const l_uint32* row = data + static_cast<std::ptrdiff_t>(y) * wpl;
        for (int x = 0; x < w; ++x) {
            l_int32 r = 0, g = 0, b = 0;
            extractRGBValues(row[x], &r, &g, &b);
            out[k++] = static_cast<std::uint8_t>(r);
            out[k++] = static_cast<std::uint8_t>(g);
            out[k++] = static_cast<std::uint8_t>(b);
        }
    }
    return out;
}

bool Image::writePng(const std::filesystem::path& path) const {
    return pix_ && pixWrite(path.c_str(), pix_, IFF_PNG) == 0;
}

bool Image::writeJpeg(const std::filesystem::path& path, int quality) const {
    if (!pix_) return false;
    const std::vector<std::uint8_t> bytes = encodedJpeg(quality);
    if (bytes.empty()) return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool Image::write(const std::filesystem::path& path) const {
    return pix_ && pixWriteImpliedFormat(path.c_str(), pix_, 90, 0) == 0;
}

std::vector<std::uint8_t> Image::encodedPng() const {
    if (!pix_) return {};
    l_uint8* data = nullptr;
    size_t size = 0;
    if (pixWriteMem(&data, &size, pix_, IFF_PNG) != 0) size = 0;
    return takeBytes(data, size);
}

std::vector<std::uint8_t> Image::encodedJpeg(int quality) const {
    if (!pix_) return {};
    l_uint8* data = nullptr;
    size_t size = 0;
    if (pixWriteMemJpeg(&data, &size, pix_, quality, 0) != 0) size = 0;
    return takeBytes(data, size);
}

namespace Leptonica {
namespace {

std::uint16_t littleEndian16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

void quiet() {
    static const bool once = [] {
        setMsgSeverity(L_SEVERITY_NONE);
        // libtiff, which Leptonica loads, prints its warnings ("Unknown field with tag ...") on standard
        // error unless its handlers are cleared; it is looked up at run time as the program does not link it.
        using Handler = void (*)(const char*, const char*, va_list);
        using SetHandler = Handler (*)(Handler);
        for (const char* name : {"TIFFSetWarningHandler", "TIFFSetErrorHandler"})
            if (void* set = ::dlsym(RTLD_DEFAULT, name)) reinterpret_cast<SetHandler>(set)(nullptr);
        return true;
    }();
    (void)once;
}

std::optional<ImageHeader> readHeader(std::span<const std::uint8_t> bytes) {
    quiet();
    if (bytes.size() < 12) return std::nullopt;
    l_int32 format = IFF_UNKNOWN;
    if (findFileFormatBuffer(bytes.data(), &format) != 0 || format == IFF_UNKNOWN) return std::nullopt;
    if (format == IFF_GIF) {
        // Leptonica reads a GIF header by decoding the whole image; the logical screen size is in bytes 6
        // to 9.
        return ImageHeader{littleEndian16(bytes, 6), littleEndian16(bytes, 8)};
    }
    if (format == IFF_PS || format == IFF_LPDF || format == IFF_SPIX || format == IFF_DEFAULT)
        return std::nullopt;
    l_int32 w = 0, h = 0, bps = 0, spp = 0, iscmap = 0;
    if (pixReadHeaderMem(bytes.data(), bytes.size(), &format, &w, &h, &bps, &spp, &iscmap) != 0)
        return std::nullopt;
    if (w < 1 || h < 1) return std::nullopt;
    return ImageHeader{w, h};
}

int decodedBitsPerPixel(std::span<const std::uint8_t> bytes) {
    quiet();
    l_int32 format = IFF_UNKNOWN;
    if (bytes.size() < 12 || findFileFormatBuffer(bytes.data(), &format) != 0) return 32;
    // A GIF always becomes an image with a palette, a byte a pixel at most.
    if (format == IFF_GIF) return 8;
    l_int32 w = 0, h = 0, bps = 0, spp = 0, iscmap = 0;
    if (pixReadHeaderMem(bytes.data(), bytes.size(), &format, &w, &h, &bps, &spp, &iscmap) != 0) return 32;
    if (spp == 1 && bps == 1) return 1;
    if (spp == 1 || iscmap) return 8;
    return 32;
}

Image decode(std::span<const std::uint8_t> bytes, int jpegReduction) {
    quiet();
    if (bytes.size() < 12) return {};
    l_int32 format = IFF_UNKNOWN;
    if (findFileFormatBuffer(bytes.data(), &format) != 0 || format != IFF_JFIF_JPEG)
        return Image(pixReadMem(bytes.data(), bytes.size()));

    const int reduction = jpegReduction == 2 || jpegReduction == 4 || jpegReduction == 8 ? jpegReduction : 1;
    l_int32 warnings = 0;
    Image image(pixReadMemJpeg(bytes.data(), bytes.size(), 0, reduction, &warnings, 0));
    // A complete JPEG with a damaged stretch inside (viewers show it with a smear) is read as far as it
    // decodes; a file cut short, without its end marker, stays unreadable.
    const bool complete = bytes[bytes.size() - 2] == 0xFF && bytes[bytes.size() - 1] == 0xD9;
    if (image.empty() && complete)
        image = Image(pixReadMemJpeg(bytes.data(), bytes.size(), 0, reduction, &warnings,
                                     L_JPEG_CONTINUE_WITH_BAD_DATA));
    // libjpeg shrinks the pixels but Leptonica keeps the file's density.
    if (!image.empty() && reduction > 1 && image.resolution() > 0)
        image.setResolution(image.resolution() / reduction);
    return image;
}

}  // namespace Leptonica

}  // namespace tavori
