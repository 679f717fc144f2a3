#pragma once

#include <iosfwd>
#include <vector>

#include "TavoriCore/PossibleDuplicate.h"
#include "TavoriKit/indexbook/DuplicateCheck.h"
#include "TavoriKit/saving/SavePlanner.h"
#include "cli/CommandSupport.h"

namespace tavori {

// The possible duplicates of a batch whose rows are printed as they are read: each analysis is checked
// against the ones before it, the rows of the index book that saving them would append to and the files
// beside it. So of two copies in one batch, the later one carries the warning.
class DuplicateReport {
  public:
    DuplicateReport(SaveSettings saveSettings, const VendorAliasDictionary& aliases, std::ostream& err);

    // The documents `analysis` may duplicate; nothing for a failed analysis. The first analysis read decides
    // where the book is when renaming in place without a destination, as it would for a save. A book that
    // cannot be read is reported on `err` once and left out.
    std::vector<PossibleDuplicate> add(const FileAnalysis& analysis);

  private:
    SaveSettings saveSettings_;
    std::ostream& err_;
    DuplicateCheck check_;
    bool bookChosen_ = false;
};

}  // namespace tavori
