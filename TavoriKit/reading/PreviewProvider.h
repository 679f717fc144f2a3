#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

namespace tavori {

// A picture for the document list: RGB pixels (3 bytes per pixel, rows without padding) and the size at which
// it is shown.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    double displayWidth = 0;
    double displayHeight = 0;
    bool operator==(const RgbImage&) const = default;
};

std::ostream& operator<<(std::ostream& os, const RgbImage& image);

namespace PreviewProvider {

// A PDF's first page fitted into maxPixel × maxPixel (small pages are enlarged), or an image upright and
// scaled down to fit (never enlarged). Nothing when the file cannot be read.
std::optional<RgbImage> thumbnail(const std::filesystem::path& path, double maxPixel);

}  // namespace PreviewProvider

}  // namespace tavori
