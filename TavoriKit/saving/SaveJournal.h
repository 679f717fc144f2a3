#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "TavoriCore/IndexBookEntry.h"
#include "TavoriKit/base/FileDescriptor.h"
#include "TavoriKit/base/FileSystemCalls.h"

// What a save is about to do, written beside its index book before any file moves, so that a save killed
// between placing a file and writing its row can be completed by the next save into that folder: files that
// are in place without their rows get them, once.
namespace tavori::SaveJournal {

// One file the save will place, and the row it will have.
struct Intent {
    std::filesystem::path source;
    std::filesystem::path destination;  // the name the save will give, as planned
    std::uint64_t size = 0;             // of the source, to know the placed file again
    bool copy = false;                  // the source stays where it is
    IndexBookEntry row;
};

// The journal of a running save, locked for as long as it lives: another save leaves it alone.
class Record {
  public:
    Record() = default;
    // Written and synced in `folder`; rows of this save in `book` are numbered from `firstSequence`. Returns
    // an empty record when the journal cannot be written (the save goes on as before).
    static Record begin(const std::filesystem::path& folder, const std::filesystem::path& book,
                        std::int64_t firstSequence, std::span<const Intent> intents,
                        const FileSystemCalls& calls = FileSystemCalls::posix());
    // Every file has its row: the journal is no longer needed.
    void finish();
    bool active() const { return fd_.get() >= 0; }

  private:
    FileDescriptor fd_;
    std::filesystem::path path_;
};

// Completes the saves that were interrupted in `folder` (their journals are not locked by a running save):
// each planned file that is in place without its row gets the row, then the journal goes. Returns the names
// of the files whose rows were added. A journal that cannot be completed now (the book cannot be written)
// stays for the next time.
std::vector<std::string> recover(const std::filesystem::path& folder,
                                 const FileSystemCalls& calls = FileSystemCalls::posix());

// Removes this program's temporary files (".tavori-*.tmp") in `folder` that no running save holds: copies
// left by a save killed before their rename.
void removeLeftovers(const std::filesystem::path& folder);

}  // namespace tavori::SaveJournal
