#include "TavoriKit/reading/ImageLoader.h"

#include <utility>
#include <vector>

#include "TavoriKit/reading/BoundedDecoding.h"
#include "TavoriKit/reading/ExifOrientation.h"
#include "TavoriKit/reading/HeifImage.h"

namespace tavori::ImageLoader {
namespace {

using Failure = DocumentFile::Failure;
using Status = BoundedDecoding::Decoded::Status;

Loaded failed(Failure failure) {
    return {Image(), failure};
}

// What Leptonica's decoders hold at once for an image of this header: its pixels (1-bit pages stay 1-bit,
// grey and palette images take a byte a pixel, colour four) and about as much again in the format
// library's own buffers.
double leptonicaBytes(const ImageHeader& header, int bitsPerPixel) {
    return static_cast<double>(header.width) * header.height * bitsPerPixel / 8.0 * 2.0;
}

Loaded decoded(BoundedDecoding::Decoded result) {
    if (result.status == Status::tooLarge) return failed(Failure::imageTooLarge);
    if (result.image.empty()) return failed(Failure::damaged);
    return {std::move(result.image), Failure::none};
}

}  // namespace

Image load(const std::filesystem::path& path, double minimumPixels) {
    return read(path, minimumPixels).image;
}

Loaded read(const std::filesystem::path& path, double minimumPixels) {
    auto contents = DocumentFile::read(path, kMaxFileBytes);
    if (contents.failure != Failure::none) return failed(contents.failure);
    const std::vector<std::uint8_t>& bytes = contents.bytes;
    if (!DocumentFile::looksLikeImage(bytes)) return failed(Failure::notImage);
    const bool heif = HeifImage::looksLikeHeif(bytes);
    const bool png = BoundedDecoding::isPng(bytes), jpeg = BoundedDecoding::isJpeg(bytes);
    const auto header = heif          ? HeifImage::readHeader(bytes)
                        : png || jpeg ? BoundedDecoding::readHeader(bytes)
                                      : Leptonica::readHeader(bytes);
    if (!header) return failed(Failure::damaged);
    if (header->width > kMaxImageSide || header->height > kMaxImageSide ||
        static_cast<double>(header->width) * header->height > kMaxImagePixels)
        return failed(Failure::imageTooLarge);
    const double budget =
        static_cast<double>(BoundedDecoding::kMaxImageBytes + BoundedDecoding::kMaxWorkingBytes);
    if (heif) {
        // libheif decodes the whole picture in colour, and applies the container's rotation itself.
        if (static_cast<double>(header->width) * header->height * 4 > budget)
            return failed(Failure::imageTooLarge);
        Image image = HeifImage::decode(bytes, kMaxImagePixels);
        return image.empty() ? failed(Failure::damaged) : Loaded{std::move(image), Failure::none};
    }
    if (png) return decoded(BoundedDecoding::png(bytes, minimumPixels));

    Loaded loaded;
    bool byLeptonica = !jpeg;
    if (jpeg) {
        BoundedDecoding::Decoded result = BoundedDecoding::jpeg(bytes, minimumPixels);
        if (result.status == Status::notHandled)
            byLeptonica = true;
        else
            loaded = decoded(std::move(result));
    }
    if (byLeptonica) {
        // TIFF, GIF, BMP, WebP and CMYK JPEGs: Leptonica decodes them whole, so only what fits is read.
        if (leptonicaBytes(*header, Leptonica::decodedBitsPerPixel(bytes)) > budget)
            return failed(Failure::imageTooLarge);
        int reduction = 1;
        while (jpeg && minimumPixels > 0 && reduction < 8 &&
               static_cast<double>(header->width / (2 * reduction)) * (header->height / (2 * reduction)) >=
                   minimumPixels)
            reduction *= 2;
        Image image = Leptonica::decode(bytes, reduction);
        if (image.empty()) return failed(Failure::damaged);
        loaded = {std::move(image), Failure::none};
    }
    if (loaded.image.empty()) return loaded;
    if (jpeg) {
        const int orientation = ExifOrientation::read(bytes);
        if (orientation != 1) loaded.image = oriented(loaded.image, orientation);
    }
    return loaded;
}

Image oriented(const Image& image, int orientation) {
    switch (orientation) {
        case 2:
            return image.flippedLeftRight();
        case 3:
            return image.rotated180();
        case 4:
            return image.flippedTopBottom();
        case 5:
            return image.rotated90(true).flippedLeftRight();
        case 6:
            return image.rotated90(true);
        case 7:
            return image.rotated90(true).flippedTopBottom();
        case 8:
            return image.rotated90(false);
        default:
            return image.copy();
    }
}

}  // namespace tavori::ImageLoader
