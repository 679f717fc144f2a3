#pragma once

#include <span>

#include "TavoriCore/DocumentType.h"
#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

namespace tavori::DocumentTypeDetector {

// The most likely kind from marker words, lines in reading order; `other` when no marker occurs.
DocumentType detect(std::span<const TextLine> lines);
DocumentType detect(const PreparedLines& lines);

}  // namespace tavori::DocumentTypeDetector
