#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/CsvReader.h"
#include "TavoriCore/IndexBookEntry.h"

namespace tavori {

// Why an index book could not be read; what() is the Japanese sentence the user sees, naming the book when
// the reader was told its path.
class IndexBookReadError : public std::exception {
  public:
    enum class Case {
        notFound,      // no such file, or the folder holds no book of that name
        unreadable,    // the file exists but cannot be read
        notText,       // neither UTF-8 nor Shift_JIS
        notIndexBook,  // text, but its first record is not the book's header
        malformed,     // a line beyond the reader's limits (the detail names it)
    };

    explicit IndexBookReadError(Case c, std::string book = {}, std::string detail = {});

    Case errorCase() const { return case_; }
    const std::string& book() const { return book_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // The same error about the named book.
    IndexBookReadError about(std::string book) const {
        return IndexBookReadError(case_, std::move(book), detail_);
    }

  private:
    Case case_;
    std::string book_;
    std::string detail_;
    std::string message_;
};

std::ostream& operator<<(std::ostream& os, IndexBookReadError::Case c);

// Reads index books as this program writes them and as spreadsheet programs save them back: with or without
// a byte-order mark, CR LF or LF, quoted fields holding commas, quotes and line breaks, columns found by
// their titles, Shift_JIS from older spreadsheets, and cells that a writer protected from being read as
// formulas.
namespace IndexBookReader {

// The text as UTF-8 without a byte-order mark. Each line is UTF-8 when it is valid UTF-8 and is otherwise
// read as Shift_JIS (Windows code page 932, as Japanese spreadsheet programs save CSV), so a book saved by a
// spreadsheet and then appended to by this program reads whole. Throws notText when a line is neither.
std::string decode(std::string_view bytes);

// A cell without the apostrophe a writer puts before text that a spreadsheet would take for a formula (one
// that begins with = + - @, a tab or CR); every other cell is returned unchanged.
std::string withoutFormulaGuard(std::string cell);

// Cell texts as the book's columns hold them; nullopt when the text is not such a value. Full-width digits,
// grouping commas and a yen sign or 円 are accepted, and dates as 2024/3/5 (a spreadsheet drops the zeros),
// 2024-03-05 or 2024年3月5日.
std::optional<DateComponentsValue> parseDate(std::string_view cell);
std::optional<std::int64_t> parseAmount(std::string_view cell);

// Every row of a book's bytes, in file order; blank records are skipped. Throws IndexBookReadError (notText,
// notIndexBook, malformed) without a book name. A quote left open is reported to `warning` and hides no
// other row.
std::vector<IndexBookEntry> parse(std::string_view bytes, const CsvReader::WarningHandler& warning = {});

// The same, fed in chunks of any size, handing on each row as it is read: a book of any length is read in
// little memory.
class Parser {
  public:
    using RowHandler = std::function<void(IndexBookEntry&& row)>;
    explicit Parser(RowHandler row, CsvReader::WarningHandler warning = {}, CsvLimits limits = {});
    ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    void feed(std::string_view bytes);
    void finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace IndexBookReader
}  // namespace tavori
