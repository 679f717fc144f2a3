#pragma once

#include <iosfwd>
#include <span>
#include <vector>

#include "TavoriCore/PossibleDuplicate.h"
#include "TavoriName/AppSettings.h"
#include "cli/BatchAnalysis.h"

namespace tavori::DuplicateReport {

// For each analysis, in order, the documents it may duplicate: among the analyses that read, the rows of the
// index book that a save would append to and the files beside it. A book that cannot be read is reported on
// `err` and left out; failed analyses get no warnings.
std::vector<std::vector<PossibleDuplicate>> find(std::span<const FileAnalysis> analyses,
                                                 const AppSettings& settings, std::ostream& err);

}  // namespace tavori::DuplicateReport
