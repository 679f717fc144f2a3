#include "TavoriCore/IndexBookReader.h"

#include <array>
#include <charconv>
#include <memory>
#include <optional>
#include <span>

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "TavoriCore/IndexBookCSV.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace tavori {
namespace {

std::string messageFor(IndexBookReadError::Case c, const std::string& book, const std::string& detail) {
    using Case = IndexBookReadError::Case;
    const std::string named = book.empty() ? std::string() : ": " + Unicode::toValidUtf8(book);
    switch (c) {
        case Case::notFound:
            return "索引簿が見つかりません" + named;
        case Case::unreadable:
            return "索引簿を開けません" + named + (detail.empty() ? "" : "（" + detail + "）");
        case Case::notText:
            return "索引簿を読めません" + named + "（文字コードがUTF-8でもShift_JISでもありません）";
        case Case::notIndexBook:
            return "索引簿を読めません" + named +
                   "（最初の行が索引簿の見出し「連番,取引年月日,取引金額,取引先,…」ではありません）";
        case Case::malformed:
            return "索引簿を読めません" + named + "（" + detail + "）";
    }
    return "索引簿を読めません" + named;
}

}  // namespace

IndexBookReadError::IndexBookReadError(Case c, std::string book, std::string detail)
    : case_(c),
      book_(std::move(book)),
      detail_(std::move(detail)),
      message_(messageFor(case_, book_, detail_)) {}

std::ostream& operator<<(std::ostream& os, IndexBookReadError::Case c) {
    using Case = IndexBookReadError::Case;
    switch (c) {
        case Case::notFound:
            return os << "notFound";
        case Case::unreadable:
            return os << "unreadable";
        case Case::notText:
            return os << "notText";
        case Case::notIndexBook:
            return os << "notIndexBook";
        case Case::malformed:
            return os << "malformed";
    }
    return os << "?";
}

namespace IndexBookReader {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Code page 932 is what Japanese spreadsheet programs mean by Shift_JIS (it adds NEC and IBM characters such
// as ① and ㈱). Conversion stops at the first byte sequence that is not a character.
Converter shiftJisConverter() {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open("windows-31j", &status));
    if (U_FAILURE(status)) return nullptr;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

std::optional<std::string> fromShiftJis(UConverter* converter, std::string_view bytes) {
    if (!converter) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const auto length = static_cast<std::int32_t>(bytes.size());
    icu::UnicodeString text;
    // A Shift_JIS byte sequence never gives more UTF-16 units than it has bytes.
    UChar* buffer = text.getBuffer(length + 1);
    const std::int32_t written = ucnv_toUChars(converter, buffer, length + 1, bytes.data(), length, &status);
    text.releaseBuffer(U_SUCCESS(status) ? written : 0);
    if (U_FAILURE(status)) return std::nullopt;
    return Unicode::fromUtf16(text);
}

// Locates the book's columns by their titles, so that a spreadsheet that moved or added columns still reads.
struct Columns {
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    std::array<std::size_t, 8> index{};

    static std::optional<Columns> of(std::span<const std::string> titles) {
        Columns columns;
        columns.index.fill(kAbsent);
        for (std::size_t k = 0; k < titles.size(); ++k) {
            const std::string title = Unicode::trim(TextNormalizer::normalize(titles[k]));
            for (std::size_t c = 0; c < IndexBookCSV::header.size(); ++c)
                if (title == IndexBookCSV::header[c] && columns.index[c] == kAbsent) columns.index[c] = k;
        }
        // Date, amount and vendor are what the book is kept for; without them it is some other table.
        if (columns.index[1] == kAbsent || columns.index[2] == kAbsent || columns.index[3] == kAbsent)
            return std::nullopt;
        return columns;
    }

    // The cell's text, without a formula guard.
    std::string cell(std::span<const std::string> record, std::size_t column) const {
        const std::size_t k = index[column];
        if (k == kAbsent || k >= record.size()) return {};
        return withoutFormulaGuard(record[k]);
    }
};

bool isBlank(std::span<const std::string> record) {
    for (const auto& field : record) {
        if (field.empty()) continue;
        const auto first = static_cast<unsigned char>(field.front());
        if (first != ' ' && first != '\t' && first < 0x80) return false;
        if (!Unicode::trim(field).empty()) return false;
    }
    return true;
}

std::optional<std::int64_t> parseInteger(std::string_view digits) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// The leading run of ASCII digits of `s` from `i`, advancing `i`.
std::string_view digitRun(std::string_view s, std::size_t& i) {
    const std::size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    return s.substr(start, i - start);
}

}  // namespace

std::string decode(std::string_view bytes) {
    if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
    if (Unicode::isValidUtf8(bytes)) return std::string(bytes);
    const Converter converter = shiftJisConverter();
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    // Line feeds are the same byte in both encodings and never part of a Shift_JIS character.
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(start, end - start);
        if (Unicode::isValidUtf8(line)) {
            out += line;
        } else if (auto converted = fromShiftJis(converter.get(), line)) {
            out += *converted;
        } else {
            throw IndexBookReadError(IndexBookReadError::Case::notText);
        }
        start = end;
    }
    return out;
}

std::string withoutFormulaGuard(std::string cell) {
    if (cell.size() >= 2 && cell[0] == '\'') {
        const char next = cell[1];
        if (next == '=' || next == '+' || next == '-' || next == '@' || next == '\t' || next == '\r')
            cell.erase(0, 1);
    }
    return cell;
}

std::optional<DateComponentsValue> parseDate(std::string_view cell) {
    // The form this program writes, read without normalising: most cells of a large book are in it.
    if (cell.size() == 10 && cell[4] == '/' && cell[7] == '/') {
        const auto year = parseInteger(cell.substr(0, 4));
        const auto month = parseInteger(cell.substr(5, 2));
        const auto day = parseInteger(cell.substr(8, 2));
        if (year && month && day && *year >= 0 && *month >= 0 && *day >= 0) {
            const DateComponentsValue date{static_cast<int>(*year), static_cast<int>(*month),
                                           static_cast<int>(*day)};
            if (date.isValid()) return date;
            return std::nullopt;
        }
    }
    const std::string s = Unicode::trim(TextNormalizer::normalize(cell));
    std::size_t i = 0;
    const std::string_view year = digitRun(s, i);
    if (year.size() != 4) return std::nullopt;
    const std::string_view rest = std::string_view(s).substr(i);
    std::string_view separator;
    for (std::string_view candidate : {"/", "-", ".", "年"})
        if (rest.starts_with(candidate)) separator = candidate;
    if (separator.empty()) return std::nullopt;
    i += separator.size();
    const std::string_view month = digitRun(s, i);
    const std::string_view second = separator == "年" ? std::string_view("月") : separator;
    if (month.empty() || month.size() > 2 || std::string_view(s).substr(i).substr(0, second.size()) != second)
        return std::nullopt;
    i += second.size();
    const std::string_view day = digitRun(s, i);
    if (day.empty() || day.size() > 2) return std::nullopt;
    // What may follow: 日, or a time of day that a spreadsheet added to a date cell.
    const std::string_view tail = std::string_view(s).substr(i);
    if (!(tail.empty() || tail == "日" || tail.starts_with(" "))) return std::nullopt;
    DateComponentsValue date{static_cast<int>(*parseInteger(year)), static_cast<int>(*parseInteger(month)),
                             static_cast<int>(*parseInteger(day))};
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<std::int64_t> parseAmount(std::string_view cell) {
    if (!cell.empty() && cell.size() < 19 && cell.find_first_not_of("0123456789") == std::string_view::npos)
        return parseInteger(cell);
    std::string s = Unicode::trim(TextNormalizer::normalize(cell));
    for (std::string_view mark : {"¥", "円", ","}) {
        for (std::size_t at = s.find(mark); at != std::string::npos; at = s.find(mark, at))
            s.erase(at, mark.size());
    }
    s = Unicode::trim(s);
    const bool negative = !s.empty() && s.front() == '-';
    const std::string_view digits = std::string_view(s).substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const auto value = parseInteger(digits);
    if (!value) return std::nullopt;
    return negative ? -*value : *value;
}

struct Parser::State {
    RowHandler row;
    CsvLimits limits;
    Converter converter = shiftJisConverter();
    std::optional<Columns> columns;
    bool sawText = false;
    bool notBook = false;  // the first record is not the header
    bool started = false;  // past a byte-order mark
    std::string line;      // bytes of a line not yet ended
    std::uint64_t lineNumber = 1;
    std::optional<CsvReader> csv;

    void record(std::span<const std::string> cells) {
        if (isBlank(cells)) return;
        sawText = true;
        if (notBook) return;
        if (!columns) {
            // Reported at the end: text that is not even readable says so first.
            columns = Columns::of(cells);
            notBook = !columns;
            return;
        }
        IndexBookEntry entry;
        entry.sequence = parseAmount(columns->cell(cells, 0)).value_or(0);
        entry.date = parseDate(columns->cell(cells, 1));
        entry.amount = parseAmount(columns->cell(cells, 2));
        entry.vendor = columns->cell(cells, 3);
        entry.documentType =
            documentTypeFromRawValue(Unicode::trim(columns->cell(cells, 4))).value_or(DocumentType::other);
        entry.fileName = columns->cell(cells, 5);
        if (std::string number = Unicode::trim(columns->cell(cells, 6)); !number.empty())
            entry.registrationNumber = std::move(number);
        entry.note = columns->cell(cells, 7);
        row(std::move(entry));
    }

    // Each line is UTF-8 when it is valid UTF-8 and is otherwise read as Shift_JIS (a book saved by a
    // spreadsheet and then appended to by this program); line feeds are the same byte in both.
    void decodedLine(std::string_view bytes) {
        if (Unicode::isValidUtf8(bytes)) {
            csv->feed(bytes);
        } else if (auto converted = fromShiftJis(converter.get(), bytes)) {
            csv->feed(*converted);
        } else {
            throw IndexBookReadError(IndexBookReadError::Case::notText);
        }
        ++lineNumber;
    }

    template <class F>
    void guarded(F&& f) {
        try {
            f();
        } catch (const CsvError& e) {
            throw IndexBookReadError(IndexBookReadError::Case::malformed, {}, e.what());
        }
    }
};

Parser::Parser(RowHandler row, CsvReader::WarningHandler warning, CsvLimits limits)
    : state_(std::make_unique<State>()) {
    state_->row = std::move(row);
    state_->limits = limits;
    State* state = state_.get();
    state_->csv.emplace(
        [state](std::span<const std::string> fields, std::uint64_t) { state->record(fields); }, limits,
        std::move(warning));
}

Parser::~Parser() = default;

void Parser::feed(std::string_view bytes) {
    State& s = *state_;
    s.guarded([&] {
        while (!bytes.empty()) {
            const std::size_t end = bytes.find('\n');
            const std::size_t take = end == std::string_view::npos ? bytes.size() : end + 1;
            s.line.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (!s.started) {
                if (s.line.size() < kByteOrderMark.size() && end == std::string_view::npos &&
                    kByteOrderMark.starts_with(s.line))
                    return;
                if (s.line.starts_with(kByteOrderMark)) s.line.erase(0, kByteOrderMark.size());
                s.started = true;
            }
            if (end == std::string_view::npos) {
                if (s.line.size() > s.limits.maxRecordBytes)
                    throw CsvError(CsvError::Case::recordTooLong, s.lineNumber, s.limits);
                return;
            }
            s.decodedLine(s.line);
            s.line.clear();
        }
    });
}

void Parser::finish() {
    State& s = *state_;
    s.guarded([&] {
        if (!s.line.empty()) {
            if (!s.started && s.line.starts_with(kByteOrderMark)) s.line.erase(0, kByteOrderMark.size());
            s.decodedLine(s.line);
            s.line.clear();
        }
        s.csv->finish();
    });
    // An empty file is a book that has no rows yet; text without a header is not a book.
    if (!s.columns && s.sawText) throw IndexBookReadError(IndexBookReadError::Case::notIndexBook);
}

std::vector<IndexBookEntry> parse(std::string_view bytes, const CsvReader::WarningHandler& warning) {
    std::vector<IndexBookEntry> entries;
    Parser parser([&](IndexBookEntry&& row) { entries.push_back(std::move(row)); }, warning);
    parser.feed(bytes);
    parser.finish();
    return entries;
}

}  // namespace IndexBookReader
}  // namespace tavori
