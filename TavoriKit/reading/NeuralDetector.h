#pragma once

#include <filesystem>
#include <vector>

#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/Image.h"

namespace tavori {

// A row of text the neural detector found on a page, cut out and turned level.
struct DetectedRow {
    double top = 0, left = 0;      // of its upright bounds, as fractions of the page (0 at the top-left)
    double width = 0, height = 0;  // pixels along and across the row
    double angle = 0;              // degrees the row is tilted
    Image image;                   // the row level, in colour, as the recogniser takes it
};

// The PP-OCRv4 text detector run by OpenCV over a whole page: it finds rows Tesseract's layout loses, a
// tilted or faint date line among them. It costs about as much as the page's Tesseract reading, so it is
// run only where the first readings left a gap.
namespace NeuralDetector {

// The page is brought to at most this many pixels on its longer side, as the model was trained.
inline constexpr int kLongestSide = 960;

// Whether the folder holds the detection network.
bool installed(const std::filesystem::path& folder);

// The page's rows of text, top to bottom; none when the network is missing or cannot be loaded. The network
// is loaded for each page: OpenCV 4.6 returns nothing from a network run again at another input size, and
// loading takes a fiftieth of the run.
std::vector<DetectedRow> rows(const Image& page, const std::filesystem::path& folder,
                              const CancellationToken& cancel = {});

}  // namespace NeuralDetector

}  // namespace tavori
