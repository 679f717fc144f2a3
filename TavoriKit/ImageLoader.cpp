#include "TavoriKit/ImageLoader.h"

#include <fstream>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "TavoriKit/ExifOrientation.h"
#include "TavoriKit/HeifImage.h"

namespace tavori::ImageLoader {
namespace {

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || ec) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > kMaxFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (in.gcount() <= 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool isJpeg(std::span<const std::uint8_t> b) {
    return b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

}  // namespace

Image load(const std::filesystem::path& path, double minimumPixels) {
    const auto bytes = readFile(path);
    if (!bytes) return {};
    const bool heif = HeifImage::looksLikeHeif(*bytes);
    const auto header = heif ? HeifImage::readHeader(*bytes) : Leptonica::readHeader(*bytes);
    if (!header || header->width > kMaxImageSide || header->height > kMaxImageSide ||
        static_cast<double>(header->width) * header->height > kMaxImagePixels)
        return {};
    if (heif) return HeifImage::decode(*bytes, kMaxImagePixels);  // libheif applies the container's rotation
    const bool jpeg = isJpeg(*bytes);
    // libjpeg decodes at 1/2, 1/4 or 1/8 directly: the smallest that still has minimumPixels.
    int reduction = 1;
    while (jpeg && minimumPixels > 0 && reduction < 8 &&
           static_cast<double>(header->width / (2 * reduction)) * (header->height / (2 * reduction)) >=
               minimumPixels)
        reduction *= 2;
    Image image = Leptonica::decode(*bytes, reduction);
    if (image.empty()) return {};
    if (jpeg) {
        const int orientation = ExifOrientation::read(*bytes);
        if (orientation != 1) return oriented(image, orientation);
    }
    return image;
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
