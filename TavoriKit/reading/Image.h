#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

struct Pix;  // Leptonica's image; only the Kit's wrappers see its API.

namespace tavori {

// A rectangle in whole pixels, origin at the top-left corner of the image.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

std::ostream& operator<<(std::ostream& os, const PixelRect& rect);

// What an image file's header declares, read without decoding the pixels.
struct ImageHeader {
    int width = 0;
    int height = 0;
    bool operator==(const ImageHeader&) const = default;
};

// Owner of one Leptonica image. Move-only; every operation returns a new image and leaves this one untouched.
class Image {
  public:
    Image() = default;
    explicit Image(Pix* adopted);  // takes ownership; null gives an empty image
    ~Image();
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // A white (or `grey`-filled) 8-bit grey image.
    static Image blankGrey(int width, int height, std::uint8_t grey = 255);
    // 8-bit grey from rows of `bytesPerRow` bytes, one byte per pixel.
    static Image fromGrey(int width, int height, std::span<const std::uint8_t> bytes, int bytesPerRow);
    // 32-bit colour from interleaved RGB (3 bytes per pixel) rows of `bytesPerRow` bytes.
    static Image fromRgb(int width, int height, std::span<const std::uint8_t> bytes, int bytesPerRow);

    bool empty() const { return pix_ == nullptr; }
    explicit operator bool() const { return pix_ != nullptr; }
    int width() const;
    int height() const;
    int depth() const;
    int resolution() const;  // 0 when unknown
    void setResolution(int ppi);

    Image copy() const;
    Image toGrey() const;                        // 8-bit grey
    Image toRgb() const;                         // 32-bit colour
    Image clipped(const PixelRect& rect) const;  // intersected with the image; empty when nothing is left
    Image scaled(double factor) const;  // smoothing when shrinking, linear interpolation when enlarging
    Image scaledTo(int width, int height) const;
    Image rotated90(bool clockwise) const;
    Image rotated180() const;
    Image flippedLeftRight() const;
    Image flippedTopBottom() const;
    // The image inside a border of `size` pixels filled with `grey` (8-bit grey images only).
    Image padded(int size, std::uint8_t grey) const;

    // The grey value below which `fraction` of the pixels of an 8-bit image lie (0 for an empty image).
    std::uint8_t greyPercentile(double fraction) const;
    // Edges of an image, for `erasingEdgeInk`.
    enum Edge : unsigned { left = 1, right = 2, top = 4, bottom = 8, allEdges = 15 };
    // An 8-bit grey image with every dark blob (darker than `threshold`) that touches one of `edges` painted
    // `fill`: the cut-off pieces of neighbouring lines in a crop.
    Image erasingEdgeInk(std::uint8_t threshold, std::uint8_t fill, unsigned edges = allEdges) const;

    // Grey value at a pixel of an 8-bit image; 0 outside it.
    std::uint8_t greyAt(int x, int y) const;
    // Interleaved RGB bytes, row after row without padding.
    std::vector<std::uint8_t> rgbBytes() const;

    // Encoders, used by tests to write fixtures and by tools.
    bool writePng(const std::filesystem::path& path) const;
    bool writeJpeg(const std::filesystem::path& path, int quality = 90) const;
    std::vector<std::uint8_t> encodedPng() const;
    std::vector<std::uint8_t> encodedJpeg(int quality = 90) const;
    // Encodes in the format Leptonica takes from the extension (png, jpg, tif, gif, bmp, webp).
    bool write(const std::filesystem::path& path) const;

    Pix* pix() const { return pix_; }

  private:
    Pix* pix_ = nullptr;
};

namespace Leptonica {

// Header of an image in any format Leptonica reads (JPEG, PNG, TIFF, GIF, BMP, WebP, PNM, JPEG 2000).
std::optional<ImageHeader> readHeader(std::span<const std::uint8_t> bytes);
// Decodes the first image of the bytes; TIFF orientation is applied by the decoder. A JPEG is decoded at
// 1/`jpegReduction` of its size (1, 2, 4 or 8), its resolution reduced with it, which saves most of the
// memory and time a large photo would cost.
Image decode(std::span<const std::uint8_t> bytes, int jpegReduction = 1);
// Bits per pixel of the image `decode` would make of these bytes (1, 8 or 32), judged from the header; 32
// when the header cannot be read.
int decodedBitsPerPixel(std::span<const std::uint8_t> bytes);
// Silences Leptonica's messages on standard error; corrupt input is reported through return values.
void quiet();

}  // namespace Leptonica

}  // namespace tavori
