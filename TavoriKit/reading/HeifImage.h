#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "TavoriKit/reading/Image.h"

// libheif at the Kit's edge: HEIC and HEIF stills.
namespace tavori::HeifImage {

// True when the bytes start like a HEIF file (an ftyp box with a brand libheif reads).
bool looksLikeHeif(std::span<const std::uint8_t> bytes);
// Size of the primary image as displayed (after the container's rotation), without decoding it.
std::optional<ImageHeader> readHeader(std::span<const std::uint8_t> bytes);
// The primary image as 32-bit colour with the container's rotation and mirroring applied. Empty when it
// cannot be decoded or declares more than `maxPixels`.
Image decode(std::span<const std::uint8_t> bytes, double maxPixels);
// HEVC-encoded HEIC of `image`, with `orientation` (EXIF numbering, 1 to 8) stored as the container's
// rotation and mirroring. Empty when no encoder is available.
std::vector<std::uint8_t> encode(const Image& image, int orientation = 1, int quality = 90);

}  // namespace tavori::HeifImage
