#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TavoriKit/indexbook/DuplicateDetector.h"

namespace tavori {

// The duplicate check of both front ends: the detector and the index book it compares with, read again only
// when the book's path, size or modification time has changed. The window checks its whole list after each
// change; the command line adds each document as it is read, so that of two copies in one batch the later
// one carries the warning.
class DuplicateCheck {
  public:
    explicit DuplicateCheck(VendorAliasDictionary aliases = {},
                            std::shared_ptr<FileDigests> digests = std::make_shared<FileDigests>());

    // Fields are compared after these alias rules; new rules index the book's rows again.
    void setAliases(const VendorAliasDictionary& aliases);
    // The book a save would append to; with none the documents are compared among themselves only. A book
    // that does not exist yet still names the folder whose files are compared, and so does one that cannot
    // be read, whose rows are left out.
    void setBook(const std::optional<std::filesystem::path>& book);
    // Why the book could not be read, naming it; nothing when it could, does not exist or there is none.
    std::optional<std::string> bookError() const;

    // One list per document, as DuplicateDetector::check gives them.
    std::vector<std::vector<PossibleDuplicate>> check(std::span<const DuplicateDocument> documents);
    // What `document` may duplicate among the documents added before it and the book; it is added to them.
    std::vector<PossibleDuplicate> add(DuplicateDocument document);

  private:
    struct Stamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        bool operator==(const Stamp&) const = default;
    };
    struct Book {
        std::filesystem::path path;
        std::optional<Stamp> stamp;  // nothing when the book does not exist
        std::vector<IndexBookEntry> rows;
        std::optional<std::string> error;
    };

    VendorAliasDictionary aliases_;
    std::shared_ptr<FileDigests> digests_;
    DuplicateDetector detector_;
    std::optional<Book> book_;
    std::vector<DuplicateDocument> added_;
};

}  // namespace tavori
