#pragma once

#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "TavoriCore/IndexBookEntry.h"
#include "TavoriCore/IndexBookReader.h"
#include "TavoriCore/IndexBookSearch.h"

// Index books on disk: finding them, reading them and searching across several at once.
namespace tavori::IndexBookLibrary {

struct Book {
    std::filesystem::path path;
    std::vector<IndexBookEntry> rows;
};

struct Hit {
    std::filesystem::path book;
    IndexBookEntry entry;
    std::filesystem::path document;  // beside the book; empty when the row's file name is not a plain name
    bool documentExists = false;

    bool operator==(const Hit&) const = default;
};

// `target` itself when it is a file (or does not exist), `target` / `bookFileName` when it is a folder.
std::filesystem::path locate(const std::filesystem::path& target, std::string_view bookFileName);

// Throws IndexBookReadError naming the book.
Book read(const std::filesystem::path& book);

// Every target located and read, in the given order; throws at the first that cannot be read.
std::vector<Book> readAll(std::span<const std::filesystem::path> targets, std::string_view bookFileName);

// Where a row's document lies: in the book's folder. A name that is not a plain file name (a path, "..")
// gives an empty path, so a hand-edited book cannot point anywhere else on the disk.
std::filesystem::path documentPath(const std::filesystem::path& book, std::string_view fileName);

// The matching rows of all books, in date order (undated last; otherwise in book order, then row order),
// with each document's place and whether it is still there.
std::vector<Hit> search(std::span<const Book> books, const IndexBookQuery& query);

}  // namespace tavori::IndexBookLibrary
