#include "TavoriKit/indexbook/IndexBookLibrary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <limits>
#include <optional>
#include <set>
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

// The book's rows handed to `keep` as they stream in, in file order; with `query`, only the rows that match.
void streamBook(const fs::path& book, const IndexBookQuery* query,
                const std::function<void(IndexBookEntry&&)>& keep, std::vector<std::string>& warnings) {
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

    std::vector<IndexBookEntry> batch;
    const auto keepMatching = [&] {
        if (!query) {
            for (IndexBookEntry& row : batch) keep(std::move(row));
        } else {
            std::vector<std::size_t> found = IndexBookSearch::search(batch, *query);
            std::sort(found.begin(), found.end());
            for (std::size_t k : found) keep(std::move(batch[k]));
        }
        batch.clear();
    };
    IndexBookReader::Parser parser(
        [&](IndexBookEntry&& row) {
            batch.push_back(std::move(row));
            if (batch.size() >= 4096) keepMatching();
        },
        [&](std::uint64_t, const std::string& message) {
            warnings.push_back(Unicode::toValidUtf8(book.native()) + ": " + message);
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

// Whether each hit's document is there. Many hits in one book: one listing of its folder costs less than
// asking for each file.
class DocumentCheck {
  public:
    DocumentCheck(const fs::path& book, std::size_t hits) {
        if (hits > kListFolderAbove) listed_ = regularFileNames(book.parent_path());
    }
    void fill(Hit& hit) const {
        hit.document = documentPath(hit.book, hit.entry.fileName);
        if (hit.document.empty()) {
            hit.documentExists = false;
        } else if (listed_) {
            hit.documentExists = listed_->contains(hit.entry.fileName);
        } else {
            std::error_code ec;
            hit.documentExists = fs::is_regular_file(hit.document, ec);
        }
    }

  private:
    std::optional<std::unordered_set<std::string>> listed_;
};

// Each book's rows are already in date order; a stable sort merges the books and keeps book order within a
// date. Undated rows sort last.
std::int64_t dateKey(const std::optional<DateComponentsValue>& date) {
    return date ? (std::int64_t{date->year} * 100 + date->month) * 100 + date->day
                : std::numeric_limits<std::int64_t>::max();
}

// Matching rows kept as bytes while the books stream in: as objects they take three times the room of
// their text, and listing a book of a million rows must not take gigabytes.
class PackedRows {
  public:
    struct Place {
        std::int64_t date;
        std::size_t book;
        std::size_t offset;
    };

    void add(const IndexBookEntry& row, std::size_t book) {
        places_.push_back({dateKey(row.date), book, bytes_.size()});
        putSigned(row.sequence);
        putByte((row.date ? 1 : 0) | (row.amount ? 2 : 0) | (row.registrationNumber ? 4 : 0) |
                (row.taxBreakdown ? 8 : 0));
        if (row.date) {
            putSigned(row.date->year);
            putSigned(row.date->month);
            putSigned(row.date->day);
        }
        if (row.amount) putSigned(*row.amount);
        putText(row.vendor);
        putSigned(static_cast<std::int64_t>(row.documentType));
        putText(row.fileName);
        if (row.registrationNumber) putText(*row.registrationNumber);
        putText(row.note);
        if (row.taxBreakdown) {
            putSigned(static_cast<std::int64_t>(row.taxBreakdown->size()));
            for (const TaxRateAmount& part : *row.taxBreakdown) {
                putSigned(part.rate);
                putSigned(part.taxableAmount);
                putByte((part.tax ? 1 : 0) | (part.taxIncluded ? 2 : 0));
                if (part.tax) putSigned(*part.tax);
            }
        }
    }

    std::vector<Place>& places() { return places_; }

    IndexBookEntry row(const Place& place) const {
        std::string_view in = std::string_view(bytes_).substr(place.offset);
        IndexBookEntry row;
        row.sequence = getSigned(in);
        const unsigned flags = getByte(in);
        if (flags & 1) {
            const auto year = static_cast<int>(getSigned(in));
            const auto month = static_cast<int>(getSigned(in));
            row.date = DateComponentsValue{year, month, static_cast<int>(getSigned(in))};
        }
        if (flags & 2) row.amount = getSigned(in);
        row.vendor = getText(in);
        row.documentType = static_cast<DocumentType>(getSigned(in));
        row.fileName = getText(in);
        if (flags & 4) row.registrationNumber = getText(in);
        row.note = getText(in);
        if (flags & 8) {
            row.taxBreakdown.emplace(static_cast<std::size_t>(getSigned(in)));
            for (TaxRateAmount& part : *row.taxBreakdown) {
                part.rate = static_cast<int>(getSigned(in));
                part.taxableAmount = getSigned(in);
                const unsigned partFlags = getByte(in);
                part.taxIncluded = (partFlags & 2) != 0;
                if (partFlags & 1) part.tax = getSigned(in);
            }
        }
        return row;
    }

  private:
    void putByte(unsigned value) { bytes_.push_back(static_cast<char>(value)); }
    // Seven bits a byte, the sign folded into the lowest bit: most numbers of a row take one to three bytes.
    void putSigned(std::int64_t value) {
        auto bits = (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
        for (; bits >= 0x80; bits >>= 7) putByte(static_cast<unsigned>(bits & 0x7f) | 0x80);
        putByte(static_cast<unsigned>(bits));
    }
    void putText(std::string_view text) {
        putSigned(static_cast<std::int64_t>(text.size()));
        bytes_.append(text);
    }
    static unsigned getByte(std::string_view& in) {
        const auto value = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        return value;
    }
    static std::int64_t getSigned(std::string_view& in) {
        std::uint64_t bits = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned byte = getByte(in);
            bits |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) break;
        }
        return static_cast<std::int64_t>(bits >> 1) ^ -static_cast<std::int64_t>(bits & 1);
    }
    static std::string getText(std::string_view& in) {
        const auto size = static_cast<std::size_t>(getSigned(in));
        std::string text(in.substr(0, size));
        in.remove_prefix(size);
        return text;
    }

    std::string bytes_;
    std::vector<Place> places_;
};

}  // namespace

fs::path locate(const fs::path& target, std::string_view bookFileName) {
    std::error_code ec;
    if (fs::is_directory(target, ec)) return target / fs::path(std::string(bookFileName));
    return target;
}

Book read(const fs::path& book) {
    Book result{book, {}, {}};
    streamBook(
        book, nullptr, [&](IndexBookEntry&& row) { result.rows.push_back(std::move(row)); }, result.warnings);
    return result;
}

std::vector<Book> readAll(std::span<const fs::path> targets, std::string_view bookFileName) {
    std::vector<Book> books;
    for (const fs::path& book : distinctBooks(targets, bookFileName)) books.push_back(read(book));
    return books;
}

std::size_t searchFiles(std::span<const fs::path> targets, std::string_view bookFileName,
                        const IndexBookQuery& query, const std::function<void(const Hit&)>& each,
                        std::vector<std::string>* warnings) {
    const std::vector<fs::path> books = distinctBooks(targets, bookFileName);
    PackedRows rows;
    std::vector<std::size_t> hitsPerBook(books.size());
    std::vector<std::string> unwanted;
    std::vector<std::string>& bookWarnings = warnings ? *warnings : unwanted;
    for (std::size_t b = 0; b < books.size(); ++b) {
        streamBook(
            books[b], &query,
            [&](IndexBookEntry&& row) {
                rows.add(row, b);
                ++hitsPerBook[b];
            },
            bookWarnings);
    }
    std::vector<PackedRows::Place>& places = rows.places();
    std::stable_sort(places.begin(), places.end(),
                     [](const auto& a, const auto& b) { return a.date < b.date; });
    std::vector<DocumentCheck> checks;
    for (std::size_t b = 0; b < books.size(); ++b) checks.emplace_back(books[b], hitsPerBook[b]);
    Hit hit;
    for (const PackedRows::Place& place : places) {
        hit.book = books[place.book];
        hit.entry = rows.row(place);
        checks[place.book].fill(hit);
        each(hit);
    }
    return places.size();
}

std::vector<Hit> searchFiles(std::span<const fs::path> targets, std::string_view bookFileName,
                             const IndexBookQuery& query, std::vector<std::string>* warnings) {
    std::vector<Hit> hits;
    searchFiles(
        targets, bookFileName, query, [&](const Hit& hit) { hits.push_back(hit); }, warnings);
    return hits;
}

fs::path documentPath(const fs::path& book, std::string_view fileName) {
    if (!RenameService::isPlainFileName(fileName)) return {};
    return book.parent_path() / fs::path(std::string(fileName));
}

std::vector<Hit> search(std::span<const Book> books, const IndexBookQuery& query) {
    std::vector<std::pair<std::size_t, std::size_t>> found;  // (book, row)
    for (std::size_t b = 0; b < books.size(); ++b)
        for (std::size_t row : IndexBookSearch::search(books[b].rows, query)) found.emplace_back(b, row);
    std::stable_sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        return dateKey(books[a.first].rows[a.second].date) < dateKey(books[b.first].rows[b.second].date);
    });
    std::vector<std::size_t> hitsPerBook(books.size());
    for (const auto& at : found) ++hitsPerBook[at.first];
    std::vector<DocumentCheck> checks;
    for (std::size_t b = 0; b < books.size(); ++b) checks.emplace_back(books[b].path, hitsPerBook[b]);
    std::vector<Hit> hits(found.size());
    for (std::size_t k = 0; k < found.size(); ++k) {
        const auto [b, row] = found[k];
        hits[k].book = books[b].path;
        hits[k].entry = books[b].rows[row];
        checks[b].fill(hits[k]);
    }
    return hits;
}

}  // namespace tavori::IndexBookLibrary
