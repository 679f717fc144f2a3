#pragma once

#include <cstdint>
#include <filesystem>

#include "TavoriKit/reading/DocumentFile.h"
#include "TavoriKit/reading/Image.h"

// Reads image files upright, for recognition and for thumbnails alike. Leptonica decodes the common formats
// (and applies a TIFF's orientation itself), libheif decodes HEIC/HEIF (applying the container's rotation and
// mirroring), and a JPEG's EXIF orientation is applied here.
namespace tavori::ImageLoader {

// Images that declare more are refused before decoding, as decompression bombs.
inline constexpr double kMaxImagePixels = 150e6;
inline constexpr int kMaxImageSide = 30000;
// Larger files are not documents this program reads (an uncompressed 150 MP TIFF is about 450 MB).
inline constexpr std::uintmax_t kMaxFileBytes = 512ull * 1024 * 1024;

// The image upright, or empty when the file cannot be read, is not an image, or declares more than
// kMaxImagePixels or a side over kMaxImageSide. A large image may come back smaller, though never below
// `minimumPixels` (0: full size), and comes back smaller still when it would not fit in the memory one
// document may use; one that cannot be made to fit is refused as too large.
Image load(const std::filesystem::path& path, double minimumPixels = 0);

struct Loaded {
    Image image;
    DocumentFile::Failure failure = DocumentFile::Failure::none;  // why `image` is empty
};
// As `load`, saying why nothing came back.
Loaded read(const std::filesystem::path& path, double minimumPixels = 0);

// `image` with an EXIF orientation (1 to 8) applied; other values return a copy.
Image oriented(const Image& image, int orientation);

}  // namespace tavori::ImageLoader
