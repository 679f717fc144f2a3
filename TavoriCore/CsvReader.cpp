#include "TavoriCore/CsvReader.h"

#include <algorithm>
#include <utility>

namespace tavori {

namespace {

std::string mebibytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

std::string messageFor(CsvError::Case c, std::uint64_t line, const CsvLimits& limits) {
    const std::string at = std::to_string(line) + "行目: ";
    switch (c) {
        case CsvError::Case::fieldTooLong:
            return at + "1つの欄が長すぎます（" + mebibytes(limits.maxFieldBytes) + "まで）";
        case CsvError::Case::recordTooLong:
            return at + "1行が長すぎます（" + mebibytes(limits.maxRecordBytes) + "まで）";
        case CsvError::Case::tooManyFields:
            return at + "列が多すぎます（" + std::to_string(limits.maxFields) + "列まで）";
        case CsvError::Case::fileTooLarge:
            return at + "ファイルが大きすぎます（" + mebibytes(limits.maxTotalBytes) + "まで）";
    }
    return at;
}

}  // namespace

CsvError::CsvError(Case c, std::uint64_t line, const CsvLimits& limits)
    : case_(c), line_(line), message_(messageFor(c, line, limits)) {}

CsvReader::CsvReader(RecordHandler handler, CsvLimits limits, WarningHandler warning)
    : handler_(std::move(handler)), limits_(limits), warning_(std::move(warning)) {}

void CsvReader::fail(CsvError::Case c) const {
    throw CsvError(c, c == CsvError::Case::fileTooLarge ? line_ : recordLine_, limits_);
}

void CsvReader::feed(std::string_view chunk) {
    total_ += chunk.size();
    if (total_ > limits_.maxTotalBytes) fail(CsvError::Case::fileTooLarge);
    if (!bomChecked_) {
        // The mark is three bytes, which may arrive in separate chunks.
        const std::size_t take = std::min(chunk.size(), 3 - head_.size());
        head_.append(chunk.substr(0, take));
        chunk.remove_prefix(take);
        if (head_.size() < 3) return;
        bomChecked_ = true;
        if (head_ != "\xEF\xBB\xBF")
            for (const char c : head_) step(c);
    }
    for (const char c : chunk) step(c);
}

void CsvReader::step(char c) {
    const char previous = std::exchange(previous_, c);
    if (pendingCr_) {
        pendingCr_ = false;
        if (c == '\n') return;
    }
    raw_ += c;
    if (inQuotes_) {
        if (quoteSeen_) {
            quoteSeen_ = false;
            if (c != '"') {
                inQuotes_ = false;  // that quote closed the field; `c` follows it
            } else {
                field_ += '"';
            }
        } else if (c == '"') {
            quoteSeen_ = true;
            return;
        } else {
            if (c == '\r' || (c == '\n' && previous != '\r')) ++line_;
            field_ += c;
        }
        if (inQuotes_) {
            if (field_.size() > limits_.maxFieldBytes || raw_.size() > limits_.maxRecordBytes) {
                // Grown over several lines: most likely a quote that was never closed.
                if (line_ > recordLine_) return resync();
                fail(field_.size() > limits_.maxFieldBytes ? CsvError::Case::fieldTooLong
                                                           : CsvError::Case::recordTooLong);
            }
            return;
        }
    }
    switch (c) {
        case ',':
            endField();
            started_ = true;
            break;
        case '\r':
            endRecord();
            pendingCr_ = true;
            recordLine_ = ++line_;
            return;
        case '\n':
            endRecord();
            recordLine_ = ++line_;
            return;
        case '"':
            if (field_.empty()) {
                inQuotes_ = true;
                started_ = true;
                break;
            }
            [[fallthrough]];
        default:
            field_ += c;
            started_ = true;
    }
    if (field_.size() > limits_.maxFieldBytes) fail(CsvError::Case::fieldTooLong);
    if (raw_.size() > limits_.maxRecordBytes) fail(CsvError::Case::recordTooLong);
}

void CsvReader::resync() {
    if (warning_)
        warning_(recordLine_, std::to_string(recordLine_) +
                                  "行目: 引用符（\"）が閉じていないため、この行を読み飛ばしました");
    // The lines after the record's first one are read again as records of their own.
    std::size_t cut = raw_.find_first_of("\r\n");
    std::string rest;
    if (cut != std::string::npos) {
        if (raw_[cut] == '\r' && cut + 1 < raw_.size() && raw_[cut + 1] == '\n') ++cut;
        rest = raw_.substr(cut + 1);
    }
    raw_.clear();
    field_.clear();
    fieldCount_ = 0;
    inQuotes_ = quoteSeen_ = started_ = pendingCr_ = false;
    previous_ = 0;
    line_ = recordLine_ = recordLine_ + 1;
    for (const char c : rest) step(c);
}

void CsvReader::finish() {
    if (!bomChecked_) {
        bomChecked_ = true;
        for (const char c : head_) step(c);
    }
    if (quoteSeen_) inQuotes_ = quoteSeen_ = false;  // the text ends with the closing quote
    // A quote left open since an earlier line: read those lines again without it. When nothing but line
    // breaks follows the quote's line, no row is hidden, and the text to the end stays the field.
    const auto hidesLines = [&] {
        const std::size_t cut = raw_.find_first_of("\r\n");
        return cut != std::string::npos && raw_.find_first_not_of("\r\n", cut) != std::string::npos;
    };
    while (inQuotes_ && line_ > recordLine_ && hidesLines()) {
        resync();
        if (quoteSeen_) inQuotes_ = quoteSeen_ = false;
    }
    if (inQuotes_ && warning_)
        warning_(recordLine_, std::to_string(recordLine_) + "行目: 引用符（\"）が閉じていません");
    inQuotes_ = quoteSeen_ = false;
    endRecord();
}

void CsvReader::endField() {
    if (fieldCount_ >= limits_.maxFields) fail(CsvError::Case::tooManyFields);
    if (fieldCount_ < fields_.size())
        fields_[fieldCount_].swap(field_);
    else
        fields_.push_back(std::move(field_));
    ++fieldCount_;
    field_.clear();
}

void CsvReader::endRecord() {
    if (started_ || !field_.empty()) {
        endField();
        handler_(std::span<const std::string>(fields_.data(), fieldCount_), recordLine_);
    }
    fieldCount_ = 0;
    field_.clear();
    raw_.clear();
    started_ = false;
}

std::uint64_t CsvReader::countRecords(std::string_view text, CsvLimits limits) {
    std::uint64_t count = 0;
    CsvReader reader([&](std::span<const std::string>, std::uint64_t) { ++count; }, limits);
    reader.feed(text);
    reader.finish();
    return count;
}

}  // namespace tavori
