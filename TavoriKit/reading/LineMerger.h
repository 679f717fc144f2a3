#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TavoriCore/TextLine.h"
#include "TavoriKit/reading/Rect.h"

// Joins the recogniser's fragments of one visual row (a label and its amount) into one line.
namespace tavori::LineMerger {

// One recogniser result: its normalised box and its text (empty when it produced none).
struct Observation {
    Rect box;
    std::string text;
    bool operator==(const Observation&) const = default;
};

// `heights` are the normalised box heights of every observation of the image, with or without text. Rows are
// formed against each group's first line, within 0.55 × the median height (at least 0.004).
std::vector<TextLine> merge(std::span<const TextLine> lines, std::span<const double> heights);
// One box per merged line: the union of the observations whose non-empty text occurs in the line's text;
// nothing when none does.
std::vector<std::optional<Rect>> boxes(std::span<const TextLine> lines,
                                       std::span<const Observation> observations);

}  // namespace tavori::LineMerger
