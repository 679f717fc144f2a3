#include "TavoriKit/indexbook/IndexBookLibrary.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_set>

#include "TavoriKit/saving/RenameService.h"

namespace fs = std::filesystem;

namespace tavori::IndexBookLibrary {
namespace {

std::string reasonFor(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "読み取りの権限がありません";
        case EISDIR:
            return "フォルダです";
        default:
            return "読み取りに失敗しました";
    }
}

std::string readBytes(const fs::path& book) {
    std::error_code ec;
    const fs::file_status status = fs::status(book, ec);
    if (ec || !fs::exists(status))
        throw IndexBookReadError(IndexBookReadError::Case::notFound, book.native());
    if (fs::is_directory(status))
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(EISDIR));
    errno = 0;
    std::ifstream in(book, std::ios::binary);
    if (!in) throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(errno));
    std::string bytes;
    std::array<char, 1 << 16> buffer;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        bytes.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(EIO));
    return bytes;
}

constexpr std::size_t kListFolderAbove = 64;

std::unordered_set<std::string> regularFileNames(const fs::path& folder) {
    std::unordered_set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code entryError;
        if (it->is_regular_file(entryError)) names.insert(it->path().filename().native());
    }
    return names;
}

}  // namespace

fs::path locate(const fs::path& target, std::string_view bookFileName) {
    std::error_code ec;
    if (fs::is_directory(target, ec)) return target / fs::path(std::string(bookFileName));
    return target;
}

Book read(const fs::path& book) {
    const std::string bytes = readBytes(book);
    try {
        return Book{book, IndexBookReader::parse(bytes)};
    } catch (const IndexBookReadError& e) {
        throw e.about(book.native());
    }
}

std::vector<Book> readAll(std::span<const fs::path> targets, std::string_view bookFileName) {
    std::vector<Book> books;
    for (const fs::path& target : targets) books.push_back(read(locate(target, bookFileName)));
    return books;
}

fs::path documentPath(const fs::path& book, std::string_view fileName) {
    if (!RenameService::isPlainFileName(fileName)) return {};
    return book.parent_path() / fs::path(std::string(fileName));
}

std::vector<Hit> search(std::span<const Book> books, const IndexBookQuery& query) {
    std::vector<std::pair<std::size_t, std::size_t>> found;  // (book, row)
    for (std::size_t b = 0; b < books.size(); ++b)
        for (std::size_t row : IndexBookSearch::search(books[b].rows, query)) found.emplace_back(b, row);
    // Each book's rows are already in date order; a stable sort merges the books and keeps book order within
    // a date.
    auto dateOf = [&](const std::pair<std::size_t, std::size_t>& at) -> const auto& {
        return books[at.first].rows[at.second].date;
    };
    std::stable_sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        const auto& da = dateOf(a);
        const auto& db = dateOf(b);
        if (!da || !db) return da.has_value() && !db.has_value();
        return *da < *db;
    });
    // Many hits in one book: one listing of its folder costs less than asking for each file.
    std::vector<std::size_t> hitsPerBook(books.size());
    for (const auto& at : found) ++hitsPerBook[at.first];
    std::vector<std::optional<std::unordered_set<std::string>>> listed(books.size());
    for (std::size_t b = 0; b < books.size(); ++b)
        if (hitsPerBook[b] > kListFolderAbove) listed[b] = regularFileNames(books[b].path.parent_path());

    std::vector<Hit> hits;
    hits.reserve(found.size());
    for (const auto& [b, row] : found) {
        Hit hit;
        hit.book = books[b].path;
        hit.entry = books[b].rows[row];
        hit.document = documentPath(hit.book, hit.entry.fileName);
        if (hit.document.empty()) {
            hit.documentExists = false;
        } else if (listed[b]) {
            hit.documentExists = listed[b]->contains(hit.entry.fileName);
        } else {
            std::error_code ec;
            hit.documentExists = fs::is_regular_file(hit.document, ec);
        }
        hits.push_back(std::move(hit));
    }
    return hits;
}

}  // namespace tavori::IndexBookLibrary
