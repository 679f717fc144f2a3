#pragma once

#include <cstdint>
#include <vector>

#include "TavoriCore/TextLine.h"
#include "TavoriKit/Image.h"

// Table rows read by a document-structure recogniser. None is available on this platform, so no rows are ever
// added, as on systems that lack one.
namespace tavori::StructuredOCR {

bool isAvailable();
// Always empty here.
std::vector<TextLine> tableRows(const Image& image, std::int64_t page);

}  // namespace tavori::StructuredOCR
