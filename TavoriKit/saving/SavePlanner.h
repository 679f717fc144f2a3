#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/IndexBookEntry.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriKit/base/FileSystemCalls.h"
#include "TavoriKit/saving/RenamePlan.h"
#include "TavoriKit/saving/RenameService.h"

namespace tavori {

// One document as a save or an export sees it.
struct SaveDocument {
    std::filesystem::path source;
    ReceiptFields fields;
    std::optional<std::filesystem::path> savedAs;  // where an earlier save put it (exports use its name)
};

// What a save needs of the settings.
struct SaveSettings {
    FileNameTemplate nameTemplate;
    RenamePlan::Mode mode = RenamePlan::Mode::copy;
    std::optional<std::filesystem::path> destination;  // the chosen folder, when there is one
    bool writeIndexBook = true;
    std::string indexBookFileName = "索引簿.csv";
    bool indexBookTaxColumns = false;  // a new book has the tax-rate columns after 備考
};

// Where a save would put each file, computed the way the save itself chooses names.
struct SavePreview {
    std::vector<RenamePlan> plans;
    std::vector<std::filesystem::path> destinations;  // one per plan
    std::optional<std::filesystem::path> indexBook;   // when rows would be written
};

// What a save did. Files saved before a failure are listed and have their rows.
struct SaveReport {
    std::vector<RenameResult> results;
    std::optional<std::filesystem::path> indexBook;  // the book that received rows
    // Why the save stopped: the error, with a note of how many documents were not saved.
    std::optional<RenameServiceError::Case> failureCase;
    std::optional<std::string> failure;
    // Files an earlier, interrupted save placed without their rows, whose rows this save added first.
    std::vector<std::string> recovered;

    bool succeeded() const { return !failure.has_value(); }
};

// The one way both front ends save documents and export index books: plans from documents, checks made before
// anything moves, each file's index-book row written right after the file is in place.
namespace SavePlanner {

// The base name the template gives (the source's own name when it renders nothing).
std::string baseName(const FileNameTemplate& nameTemplate, const SaveDocument& document);
// One plan per document, in order.
std::vector<RenamePlan> plans(std::span<const SaveDocument> documents, const SaveSettings& settings);
// The destination, or, renaming in place without one, the first document's own folder.
std::filesystem::path indexBookFolder(const SaveSettings& settings, const std::filesystem::path& firstSource);
// The index book a save whose first document is `firstSource` appends to, by the same rule also when the book
// is off (what was saved before is listed there): in indexBookFolder(); nothing when there is no destination
// and the save does not rename in place, or renames in place but has no first document yet.
std::optional<std::filesystem::path> indexBook(const SaveSettings& settings,
                                               const std::optional<std::filesystem::path>& firstSource);

// Throws RenameServiceError for whatever would stop a save before its first file: no destination where one is
// needed, an index-book name that is not a plain file name, a book that is a link, not a regular file or not
// UTF-8, a folder that cannot be written.
void check(std::span<const SaveDocument> documents, const SaveSettings& settings);

// The names the save would give now (nothing on disk changes). Throws as check() does.
SavePreview preview(std::span<const SaveDocument> documents, const SaveSettings& settings);

// Checks, then saves the documents in order, appending each one's row (numbered on in an existing book) as
// soon as its file is in place. Never throws; `saved` is called for each saved document, in order.
SaveReport save(std::span<const SaveDocument> documents, const SaveSettings& settings,
                const std::function<void(std::size_t index, const RenameResult& result)>& saved = {},
                const FileSystemCalls& calls = FileSystemCalls::posix());

// Completes the saves into `folder` that were interrupted between placing a file and writing its row, and
// removes the copies they left under temporary names; returns the names of the files whose rows were added.
// save() does this itself for its book's folder.
std::vector<std::string> completeInterrupted(const std::filesystem::path& folder,
                                             const FileSystemCalls& calls = FileSystemCalls::posix());

// The row of a document saved (or to be saved) as `fileName`; with `taxColumns` it carries the amounts by
// rate.
IndexBookEntry entry(std::int64_t sequence, const ReceiptFields& fields, std::string fileName,
                     bool taxColumns = false);
// Export rows numbered 1, 2, ...: the saved name when there is one, otherwise the template's name with the
// source's extension as it stands.
std::vector<IndexBookEntry> exportEntries(std::span<const SaveDocument> documents,
                                          const FileNameTemplate& nameTemplate);
// A complete new book at `output`. Without `replaceExisting`, an existing file (or link) there is refused
// with exportTargetExists and left untouched.
void writeExport(std::span<const IndexBookEntry> entries, const std::filesystem::path& output,
                 bool replaceExisting, const FileSystemCalls& calls = FileSystemCalls::posix());

}  // namespace SavePlanner

}  // namespace tavori
