#pragma once

#include <iosfwd>
#include <optional>
#include <vector>

#include "TavoriCore/PossibleDuplicate.h"
#include "TavoriKit/indexbook/DuplicateDetector.h"
#include "TavoriName/AppSettings.h"
#include "cli/CommandSupport.h"

namespace tavori {

// The possible duplicates of a batch whose rows are printed as they are read: each analysis is checked
// against the ones before it, the rows of the index book that a save would append to and the files beside
// it. So of two copies in one batch, the later one carries the warning.
class DuplicateReport {
  public:
    DuplicateReport(const AppSettings& settings, std::ostream& err);

    // The documents `analysis` may duplicate; nothing for a failed analysis. The first analysis given decides
    // where the book is when renaming in place without a destination. A book that cannot be read is reported
    // on `err` once and left out.
    std::vector<PossibleDuplicate> add(const FileAnalysis& analysis);

  private:
    const AppSettings& settings_;
    std::ostream& err_;
    DuplicateDetector detector_;
    bool bookChosen_ = false;
    std::vector<DuplicateDocument> documents_;
};

}  // namespace tavori
