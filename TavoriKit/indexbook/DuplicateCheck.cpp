#include "TavoriKit/indexbook/DuplicateCheck.h"

#include "TavoriKit/indexbook/IndexBookLibrary.h"

namespace fs = std::filesystem;

namespace tavori {

DuplicateCheck::DuplicateCheck(VendorAliasDictionary aliases, std::shared_ptr<FileDigests> digests)
    : aliases_(std::move(aliases)), digests_(std::move(digests)), detector_(aliases_, digests_) {}

void DuplicateCheck::setAliases(const VendorAliasDictionary& aliases) {
    if (aliases == aliases_) return;
    aliases_ = aliases;
    detector_ = DuplicateDetector(aliases_, digests_);
    if (book_) detector_.setBook(book_->path, book_->rows);
}

void DuplicateCheck::setBook(const std::optional<fs::path>& book) {
    if (!book) {
        if (book_) detector_.setBook({}, {});
        book_.reset();
        return;
    }
    std::optional<Stamp> stamp;
    std::error_code ec;
    if (fs::exists(*book, ec)) {
        std::error_code sizeError, timeError;
        const auto size = fs::file_size(*book, sizeError);
        stamp = Stamp{sizeError ? 0 : size, fs::last_write_time(*book, timeError)};
    }
    if (book_ && book_->path == *book && book_->stamp == stamp) return;
    Book read{*book, stamp, {}, std::nullopt};
    if (stamp) {
        try {
            read.rows = IndexBookLibrary::read(*book).rows;
        } catch (const IndexBookReadError& e) {
            read.error = e.what();
        }
    }
    book_ = std::move(read);
    detector_.setBook(book_->path, book_->rows);
}

std::optional<std::string> DuplicateCheck::bookError() const {
    return book_ ? book_->error : std::nullopt;
}

std::vector<std::vector<PossibleDuplicate>> DuplicateCheck::check(
    std::span<const DuplicateDocument> documents) {
    return detector_.check(documents);
}

std::vector<PossibleDuplicate> DuplicateCheck::add(DuplicateDocument document) {
    added_.push_back(std::move(document));
    // Digests and the book's index are kept by the detector, so checking the growing list again costs little.
    auto found = detector_.check(added_);
    return std::move(found.back());
}

}  // namespace tavori
