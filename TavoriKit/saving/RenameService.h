#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "TavoriCore/IndexBookEntry.h"
#include "TavoriKit/base/FileSystemCalls.h"
#include "TavoriKit/saving/RenamePlan.h"

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
        invalidIndexBookName,     // the configured name is not a plain file name
        indexBookNotRegularFile,  // a link, folder or device stands where the book should be
        indexBookNotUtf8,         // appending would mix encodings in one file
        destinationNotWritable,   // a folder that has to change cannot be written
        exportTargetExists,       // an export would replace a file the user did not agree to replace
        exportNotWritten,         // an export file could not be written; nothing is left at its place
        cancelled,                // the user stopped the batch; the files before stay saved
    };

    // `path` is the file or folder concerned; `code` the system's reason, when there is one.
    RenameServiceError(Case c, std::filesystem::path path, std::error_code code = {});

    Case errorCase() const { return case_; }
    const std::filesystem::path& path() const { return path_; }
    std::error_code code() const { return code_; }
    const char* what() const noexcept override { return message_.c_str(); }

    const std::vector<RenameResult>& completedResults() const { return completed_; }
    void setCompletedResults(std::vector<RenameResult> results) { completed_ = std::move(results); }
    // Adds a remark, in the user's language, to the description.
    void appendToDescription(std::string_view remark) { message_ += remark; }

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
// The same, calling `placed` with each plan's index and result as soon as its file is in place, before the
// next plan starts. An exception from `placed` stops the batch like a failing plan.
std::vector<RenameResult> execute(std::span<const RenamePlan> plans, const FileSystemCalls& calls,
                                  const std::function<void(std::size_t, const RenameResult&)>& placed);
// Where execute() would put each file if nothing changed on disk in between, without changing anything.
std::vector<std::filesystem::path> plannedDestinations(std::span<const RenamePlan> plans);

// Appends the entries as rows to an existing index book, numbered on from its rows, or creates the book with
// a byte-order mark and header when there is none. A book that is not UTF-8 keeps the given numbers and is
// otherwise untouched. A failed append leaves the book as it was.
void appendIndexBook(std::span<const IndexBookEntry> entries, const std::filesystem::path& book,
                     const FileSystemCalls& calls = FileSystemCalls::posix());
// A complete new book, replacing any file at `book` atomically (an export whose target the user confirmed).
void writeIndexBook(std::span<const IndexBookEntry> entries, const std::filesystem::path& book,
                    const FileSystemCalls& calls = FileSystemCalls::posix());
// The same without replacing: an existing file at `book` is refused with exportTargetExists.
void writeNewIndexBook(std::span<const IndexBookEntry> entries, const std::filesystem::path& book,
                       const FileSystemCalls& calls = FileSystemCalls::posix());

// Any other export file (a journal for an accounting package), written whole and atomically; an existing file
// at `target` is replaced only with `replaceExisting`, and otherwise refused with exportTargetExists.
void writeExportFile(std::string_view bytes, const std::filesystem::path& target, bool replaceExisting,
                     const FileSystemCalls& calls = FileSystemCalls::posix());

// Throws what appending to `book` would meet before writing: a name that is not plain, a link or anything but
// a regular file, text that is not UTF-8, a file or folder that cannot be written. A missing book is fine
// when its folder (or the nearest existing one above it) can be written.
void checkIndexBook(const std::filesystem::path& book);
// Throws destinationNotWritable unless `folder`, or the nearest existing folder above it, can be written.
void checkWritableFolder(const std::filesystem::path& folder);

// Rows appended one at a time to one book, each synced before the call returns, so that a save can record
// every file as soon as it is in place. The book is created (byte-order mark, header, first row) on the first
// row when it does not exist; numbering continues after the rows it already has. Holds the book's lock from
// the first row until destroyed.
class IndexBookAppender {
  public:
    // A book it creates has the tax-rate columns with `taxColumns`; an existing book keeps its own.
    explicit IndexBookAppender(std::filesystem::path book,
                               const FileSystemCalls& calls = FileSystemCalls::posix(),
                               bool taxColumns = false);
    ~IndexBookAppender();
    IndexBookAppender(const IndexBookAppender&) = delete;
    IndexBookAppender& operator=(const IndexBookAppender&) = delete;

    // Opens the book, creating it with its header when there is none. append() does it when needed.
    void open();
    // Writes the entry with the next sequence number; returns the number given. A failed write leaves the
    // book as it was and throws indexBookNotWritten.
    std::int64_t append(IndexBookEntry entry);
    const std::filesystem::path& book() const { return book_; }
    // The number the next row will get (after open()).
    std::int64_t nextSequence() const { return nextSequence_; }

  private:
    std::filesystem::path book_;
    const FileSystemCalls& calls_;
    int fd_ = -1;
    std::int64_t nextSequence_ = 1;
    bool renumber_ = true;      // false for a book that is not UTF-8: it keeps the numbers given
    std::string pendingBreak_;  // ends the book's last record before the first new one
    bool taxColumns_ = false;   // the book has the tax-rate columns
};

// True for a name that stays inside its folder: not empty, not "." or "..", no "/" or NUL, at most 255 bytes.
bool isPlainFileName(std::string_view name);
// `folder` / `fileName`; throws invalidIndexBookName when the name is not a plain file name.
std::filesystem::path indexBookPath(const std::filesystem::path& folder, std::string_view fileName);

}  // namespace RenameService

}  // namespace tavori
