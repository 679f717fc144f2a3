#pragma once

#include <exception>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "TavoriCore/IndexBookEntry.h"
#include "TavoriKit/FileSystemCalls.h"
#include "TavoriKit/RenamePlan.h"

namespace tavori {

// A save that failed, with its Japanese description as what(). When a batch stops at a plan, the plans before
// it have been carried out on disk; completedResults() says where those files are now, so that the caller can
// still record them.
class RenameServiceError : public std::exception {
  public:
    enum class Case {
        sourceMissing,        // the file is gone
        destinationMissing,   // no folder was chosen
        folderNotCreated,     // the target folder could not be made
        copyFailed,           // nothing was changed: the copy was removed again
        moveFailed,           // nothing was changed: the file is where it was
        sourceNotRemoved,     // moved by copying: the copy is in place, but the original could not be removed
        indexBookNotWritten,  // the index book is as it was before
        invalidIndexBookName,  // the configured name is not a plain file name
    };

    // `path` is the file or folder concerned; `code` the system's reason, when there is one.
    RenameServiceError(Case c, std::filesystem::path path, std::error_code code = {});

    Case errorCase() const { return case_; }
    const std::filesystem::path& path() const { return path_; }
    std::error_code code() const { return code_; }
    const char* what() const noexcept override { return message_.c_str(); }

    const std::vector<RenameResult>& completedResults() const { return completed_; }
    void setCompletedResults(std::vector<RenameResult> results) { completed_ = std::move(results); }

  private:
    Case case_;
    std::filesystem::path path_;
    std::error_code code_;
    std::string message_;
    std::vector<RenameResult> completed_;
};

std::ostream& operator<<(std::ostream& os, RenameServiceError::Case c);

// Carries out saves on disk. Nothing existing is ever replaced: a name that turns out to be taken, even one
// taken by another program after the folder was read, gives way to the next free name.
namespace RenameService {

// The plans in order, one result per plan. Names are made unique per folder, ignoring case, against the
// folder's files and the batch's earlier plans. Throws RenameServiceError at the first failing plan, carrying
// the results of the plans before it; later plans are not attempted.
std::vector<RenameResult> execute(std::span<const RenamePlan> plans,
                                  const FileSystemCalls& calls = FileSystemCalls::posix());

// Appends the entries as rows to an existing index book, numbered on from its rows, or creates the book with
// a byte-order mark and header when there is none. A book that is not UTF-8 keeps the given numbers and is
// otherwise untouched. A failed append leaves the book as it was.
void appendIndexBook(std::span<const IndexBookEntry> entries, const std::filesystem::path& book,
                     const FileSystemCalls& calls = FileSystemCalls::posix());
// A complete new book, replacing any file at `book` atomically (an export whose target the user confirmed).
void writeIndexBook(std::span<const IndexBookEntry> entries, const std::filesystem::path& book,
                    const FileSystemCalls& calls = FileSystemCalls::posix());

// True for a name that stays inside its folder: not empty, not "." or "..", no "/" or NUL, at most 255 bytes.
bool isPlainFileName(std::string_view name);
// `folder` / `fileName`; throws invalidIndexBookName when the name is not a plain file name.
std::filesystem::path indexBookPath(const std::filesystem::path& folder, std::string_view fileName);

}  // namespace RenameService

}  // namespace tavori
