#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "TavoriKit/service/InboxWatcher.h"

namespace tavori {

// The inbox files already saved, so that a watch started again does not save a second copy of a file that
// copying left in the inbox. Kept as a small hidden file in the folder the files are saved to; a file counts
// as saved while its path, size and modification time are the ones recorded.
class InboxLedger {
  public:
    static constexpr const char* fileName = ".tavori-inbox-saved.tsv";

    // Reads what is recorded in `folder` (nothing when there is no ledger yet).
    explicit InboxLedger(std::filesystem::path folder);

    bool contains(const std::filesystem::path& source, const FileSignature& signature) const;
    // Appends one line and syncs it; false when the ledger cannot be written.
    bool record(const std::filesystem::path& source, const FileSignature& signature);

    std::filesystem::path path() const { return folder_ / fileName; }

  private:
    std::filesystem::path folder_;
    std::set<std::string> lines_;
    bool cutShort_ = false;
};

}  // namespace tavori
