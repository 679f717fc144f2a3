#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavori {

// How much one CSV text may hold before it is refused, so that a damaged or hostile file (a zip of commas, a
// line of a gigabyte) stops with an error instead of taking the machine's memory.
struct CsvLimits {
    std::size_t maxFieldBytes = std::size_t{1} << 20;
    std::size_t maxRecordBytes = std::size_t{4} << 20;
    std::size_t maxFields = 1024;
    std::uint64_t maxTotalBytes = std::uint64_t{4} << 30;
};

// A limit met at a line; what() is the Japanese sentence naming the line.
class CsvError : public std::exception {
  public:
    enum class Case { fieldTooLong, recordTooLong, tooManyFields, fileTooLarge };
    CsvError(Case c, std::uint64_t line, const CsvLimits& limits);
    Case errorCase() const { return case_; }
    std::uint64_t line() const { return line_; }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    Case case_;
    std::uint64_t line_;
    std::string message_;
};

// The one CSV reader: text fed in chunks of any size becomes records (RFC 4180 quoting with doubled quotes;
// records end at CR LF, LF or CR outside quotes; a quote opens a quoted field only at the field's start and
// text after a closing quote stays in the field). Blank lines give no record; a byte-order mark at the very
// start is dropped. Memory stays within the limits whatever the input.
//
// A quoted field that is never closed would swallow every later line. When the text ends inside one that
// began on an earlier line (or it outgrows the limits), its first line is left out with a warning and
// reading starts again at the line after it, so one stray quote hides no other rows.
class CsvReader {
  public:
    // The fields of each record and its 1-based line number (where it starts).
    using RecordHandler = std::function<void(std::span<const std::string> fields, std::uint64_t line)>;
    // A line left out, with the Japanese reason.
    using WarningHandler = std::function<void(std::uint64_t line, const std::string& message)>;

    explicit CsvReader(RecordHandler handler, CsvLimits limits = {}, WarningHandler warning = {});
    // Throws CsvError when a limit is met.
    void feed(std::string_view chunk);
    // Delivers a last record without a line break.
    void finish();

    // Records of a whole text that hold anything (the quoting read, so a line break inside quotes does not
    // count).
    static std::uint64_t countRecords(std::string_view text, CsvLimits limits = {});

  private:
    void step(char c);
    void endField();
    void endRecord();
    void resync();
    [[noreturn]] void fail(CsvError::Case c) const;

    RecordHandler handler_;
    CsvLimits limits_;
    WarningHandler warning_;
    std::vector<std::string> fields_;
    std::size_t fieldCount_ = 0;
    std::string field_;
    std::string raw_;  // the current record's bytes, to read again after a stray quote
    bool inQuotes_ = false;
    bool quoteSeen_ = false;  // a quote inside quotes: the closing one or the first of a doubled pair
    bool pendingCr_ = false;
    char previous_ = 0;
    bool started_ = false;
    bool bomChecked_ = false;
    std::string head_;  // the first bytes, until it is known whether they are a byte-order mark
    std::uint64_t total_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t recordLine_ = 1;
};

}  // namespace tavori
