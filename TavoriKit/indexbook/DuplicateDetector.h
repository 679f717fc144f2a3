#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "TavoriCore/IndexBookEntry.h"
#include "TavoriCore/PossibleDuplicate.h"
#include "TavoriCore/VendorAliasDictionary.h"

namespace tavori {

// SHA-256 digests of file contents, kept per path for as long as the file's size and modification time stay
// the same, so a folder of saved documents is read once however often it is compared. Safe to share between
// threads.
class FileDigests {
  public:
    // The digest (32 bytes), or nullopt when the file cannot be read.
    std::optional<std::string> digest(const std::filesystem::path& file);
    // How many files have been read so far (a cached digest reads nothing).
    std::size_t filesRead() const;

  private:
    struct Stamp {
        std::int64_t seconds = 0;
        std::int64_t nanoseconds = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        std::uintmax_t size = 0;
        Stamp modified;
        std::string digest;
    };
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    std::size_t filesRead_ = 0;
};

// A document of the list as the duplicate check sees it.
struct DuplicateDocument {
    std::filesystem::path file;
    DuplicateRecord record;  // its fields, and the name by which other documents' warnings show it
};

// Finds, for each document of a list, the other documents that may be the same receipt: another document of
// the list or a row of the destination's index book with the same date, amount and vendor (after the alias
// rules), or a file with the same content among the list and the files already saved beside the book.
// Contents are compared only between files of equal size, so most documents are never read.
class DuplicateDetector {
  public:
    explicit DuplicateDetector(VendorAliasDictionary aliases,
                               std::shared_ptr<FileDigests> digests = std::make_shared<FileDigests>());

    // The destination's book and its rows (none when the book does not exist yet); its folder holds the files
    // compared by content.
    void setBook(const std::filesystem::path& book, std::span<const IndexBookEntry> rows);

    // One list per document, in order: book matches before list matches, content before fields; one warning
    // per other document. A document is never its own duplicate, also when it is itself a file beside the
    // book or the document of a row.
    std::vector<std::vector<PossibleDuplicate>> check(std::span<const DuplicateDocument> documents);

  private:
    // The regular files beside the book by size, read again only when the folder has changed.
    const std::multimap<std::uintmax_t, std::filesystem::path>& savedFiles();
    void bookMatches(const DuplicateDocument& document, std::vector<PossibleDuplicate>& out);
    void listMatches(std::span<const DuplicateDocument> documents,
                     std::vector<std::vector<PossibleDuplicate>>& out);
    DuplicateRecord savedRecord(const std::filesystem::path& file) const;

    VendorAliasDictionary aliases_;
    std::shared_ptr<FileDigests> digests_;
    std::filesystem::path book_;
    DuplicateIndex bookIndex_;
    std::multimap<std::uintmax_t, std::filesystem::path> savedFiles_;
    std::optional<std::filesystem::file_time_type> savedFilesListed_;
};

}  // namespace tavori
