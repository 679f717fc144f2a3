#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "TavoriCore/TextLine.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/Image.h"
#include "TavoriKit/reading/Rect.h"
#include "TavoriKit/reading/TesseractEngine.h"

// One recognition pass over one image, shared by the page reading and the zoomed re-reading of its lines.
namespace tavori::LineRecognizer {

// Merged lines and one box per line (normalised, origin bottom-left; nothing when no recogniser result
// belongs to the line).
struct RecognizedLines {
    std::vector<TextLine> lines;
    std::vector<std::optional<Rect>> boxes;
};

// Tesseract lines of the calling thread's engine, split numbers joined, fragments merged into rows. Throws
// TextRecognizerError when the recogniser cannot start; returns what was read so far when `cancel` fires.
RecognizedLines recognizeLines(const Image& image, std::int64_t page,
                               const RecognitionSettings& settings = {},
                               const CancellationToken& cancel = {});

}  // namespace tavori::LineRecognizer
