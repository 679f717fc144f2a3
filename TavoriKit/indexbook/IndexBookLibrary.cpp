#include "TavoriKit/indexbook/IndexBookLibrary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <optional>
#include <set>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "TavoriCore/Unicode.h"
#include "TavoriKit/base/FileDescriptor.h"
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

// The book's rows as they stream in; with `query`, only the rows that match it.
Book readBook(const fs::path& book, const IndexBookQuery* query) {
    // Non-blocking and checked before reading: a pipe would wait forever, /dev/zero never end.
    FileDescriptor fd(::open(book.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw IndexBookReadError(IndexBookReadError::Case::notFound, book.native());
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(errno));
    if (S_ISDIR(info.st_mode))
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(EISDIR));
    if (!S_ISREG(info.st_mode))
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(),
                                 "通常のファイルではありません");

    Book result{book, {}, {}};
    std::vector<IndexBookEntry> batch;
    const auto keepMatching = [&] {
        if (!query) {
            std::move(batch.begin(), batch.end(), std::back_inserter(result.rows));
        } else {
            std::vector<std::size_t> found = IndexBookSearch::search(batch, *query);
            std::sort(found.begin(), found.end());
            for (std::size_t k : found) result.rows.push_back(std::move(batch[k]));
        }
        batch.clear();
    };
    IndexBookReader::Parser parser(
        [&](IndexBookEntry&& row) {
            batch.push_back(std::move(row));
            if (batch.size() >= 4096) keepMatching();
        },
        [&](std::uint64_t, const std::string& message) {
            result.warnings.push_back(Unicode::toValidUtf8(book.native()) + ": " + message);
        });
    std::array<char, 1 << 16> buffer;
    try {
        for (;;) {
            const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EINTR) continue;
                throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native(), reasonFor(EIO));
            }
            if (got == 0) break;
            parser.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        }
        parser.finish();
    } catch (const IndexBookReadError& e) {
        throw e.about(book.native());
    }
    keepMatching();
    return result;
}

// Each book once, by device and inode, in the order first named.
std::vector<fs::path> distinctBooks(std::span<const fs::path> targets, std::string_view bookFileName) {
    std::vector<fs::path> books;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const fs::path& target : targets) {
        const fs::path book = locate(target, bookFileName);
        struct stat info {};
        if (::stat(book.c_str(), &info) == 0 && !seen.insert({info.st_dev, info.st_ino}).second) continue;
        books.push_back(book);
    }
    return books;
}

template <class BookSpan>
std::vector<Hit> hitsOf(BookSpan books, const IndexBookQuery& query);

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
    return readBook(book, nullptr);
}

std::vector<Book> readAll(std::span<const fs::path> targets, std::string_view bookFileName) {
    std::vector<Book> books;
    for (const fs::path& book : distinctBooks(targets, bookFileName)) books.push_back(read(book));
    return books;
}

std::vector<Hit> searchFiles(std::span<const fs::path> targets, std::string_view bookFileName,
                             const IndexBookQuery& query, std::vector<std::string>* warnings) {
    std::vector<Book> books;
    for (const fs::path& book : distinctBooks(targets, bookFileName)) {
        books.push_back(readBook(book, &query));
        if (warnings)
            warnings->insert(warnings->end(), books.back().warnings.begin(), books.back().warnings.end());
    }
    return hitsOf(std::span<Book>(books), query);
}

fs::path documentPath(const fs::path& book, std::string_view fileName) {
    if (!RenameService::isPlainFileName(fileName)) return {};
    return book.parent_path() / fs::path(std::string(fileName));
}

namespace {

// The hits of the books' matching rows; `Rows` is const for a search that leaves the books as they are, and
// the rows are moved out of books that are not kept.
template <class BookSpan>
std::vector<Hit> hitsOf(BookSpan books, const IndexBookQuery& query) {
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
        if constexpr (std::is_const_v<typename BookSpan::element_type>)
            hit.entry = books[b].rows[row];
        else
            hit.entry = std::move(books[b].rows[row]);
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

}  // namespace

std::vector<Hit> search(std::span<const Book> books, const IndexBookQuery& query) {
    return hitsOf(books, query);
}

}  // namespace tavori::IndexBookLibrary
