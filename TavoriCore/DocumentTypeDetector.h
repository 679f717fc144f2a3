#pragma once

#include <span>
#include <string_view>

#include "TavoriCore/DocumentType.h"
#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

namespace tavori::DocumentTypeDetector {

// The most likely kind from marker words, lines in reading order; `other` when no marker occurs.
DocumentType detect(std::span<const TextLine> lines);
DocumentType detect(const PreparedLines& lines);

// Whether `text` holds one of the marker words of `type` (ignoring case); always true for `other`, which has
// none.
bool hasMarker(DocumentType type, std::string_view text);

}  // namespace tavori::DocumentTypeDetector
