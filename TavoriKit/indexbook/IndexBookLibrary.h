#pragma once

#include <filesystem>
#include <functional>
#include <span>
#include <string>
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
    std::vector<std::string> warnings;  // lines left out (a quote never closed), in Japanese, naming the book
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

// Read as it streams in; only a regular file is read (a pipe or device named like a book is refused, never
// opened for long). Throws IndexBookReadError naming the book.
Book read(const std::filesystem::path& book);

// Every target located and read, in the given order, each book once however it is named (its folder, the
// file, "./" ...); throws at the first that cannot be read.
std::vector<Book> readAll(std::span<const std::filesystem::path> targets, std::string_view bookFileName);

// search() over readAll(), keeping only the matching rows while each book streams in, and those packed as
// bytes, so that a book of millions of rows is searched, or listed whole, in little memory. Each hit is
// handed to `each` in turn; returns how many there were. The books' warnings are added to `warnings`.
std::size_t searchFiles(std::span<const std::filesystem::path> targets, std::string_view bookFileName,
                        const IndexBookQuery& query, const std::function<void(const Hit&)>& each,
                        std::vector<std::string>* warnings = nullptr);
// The same, collected.
std::vector<Hit> searchFiles(std::span<const std::filesystem::path> targets, std::string_view bookFileName,
                             const IndexBookQuery& query, std::vector<std::string>* warnings = nullptr);

// Where a row's document lies: in the book's folder. A name that is not a plain file name (a path, "..")
// gives an empty path, so a hand-edited book cannot point anywhere else on the disk.
std::filesystem::path documentPath(const std::filesystem::path& book, std::string_view fileName);

// The matching rows of all books, in date order (undated last; otherwise in book order, then row order),
// with each document's place and whether it is still there.
std::vector<Hit> search(std::span<const Book> books, const IndexBookQuery& query);

}  // namespace tavori::IndexBookLibrary
