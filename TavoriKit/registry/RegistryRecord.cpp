#include "TavoriKit/registry/RegistryRecord.h"

#include <algorithm>

namespace tavori {
namespace {

bool allDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return !text.empty();
}

int number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

std::optional<RegistryRecord::Process> parseProcess(std::string_view text) {
    using P = RegistryRecord::Process;
    if (text == "01") return P::added;
    if (text == "02") return P::changed;
    if (text == "03") return P::expired;
    if (text == "04") return P::cancelled;
    if (text == "99") return P::deleted;
    return std::nullopt;
}

// An empty date column is no date; anything else must be a real date.
bool readDate(const std::string& text, std::optional<DateComponentsValue>& date) {
    if (text.empty()) return true;
    date = parseIsoDate(text);
    return date.has_value();
}

}  // namespace

std::optional<DateComponentsValue> parseIsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = text.substr(0, 4), m = text.substr(5, 2), d = text.substr(8, 2);
    if (!allDigits(y) || !allDigits(m) || !allDigits(d)) return std::nullopt;
    DateComponentsValue date{number(y), number(m), number(d)};
    if (!date.isValid()) return std::nullopt;
    return date;
}

ParsedRegistryRow parseRegistryRow(std::span<const std::string> fields) {
    enum Column {
        sequenceNumber,
        registratedNumber,
        process,
        correct,
        kind,
        country,
        latest,
        registrationDate,
        updateDate,
        disposalDate,
        expireDate,
        address,
        addressPrefectureCode,
        addressCityCode,
        addressRequest,
        addressRequestPrefectureCode,
        addressRequestCityCode,
        kana,
        name,
        addressInside,
        addressInsidePrefectureCode,
        addressInsideCityCode,
        tradeName,
        popularNamePreviousName
    };
    if (fields.size() != RegistryRecord::columnCount)
        return {std::nullopt, "列の数が" + std::to_string(fields.size()) + "です（24列のはずです）"};

    RegistryRecord r;
    const std::string& n = fields[registratedNumber];
    if (n.size() != 14 || n[0] != 'T' || !allDigits(std::string_view(n).substr(1)))
        return {std::nullopt, "登録番号「" + n + "」がT＋13桁ではありません"};
    r.number = n;

    const auto p = parseProcess(fields[process]);
    if (!p) return {std::nullopt, "事業者処理区分「" + fields[process] + "」が不明です"};
    r.process = *p;
    // A deleted row only has to name the number it removes.
    const bool deleted = r.process == RegistryRecord::Process::deleted;

    if (fields[kind] == "1")
        r.kind = RegistryRecord::Kind::soleProprietor;
    else if (fields[kind] == "2")
        r.kind = RegistryRecord::Kind::corporation;
    else if (!deleted)
        return {std::nullopt, "人格区分「" + fields[kind] + "」が不明です"};

    const std::string& c = fields[country];
    if (c == "1" || c == "2" || c == "3")
        r.country = c[0] - '0';
    else if (!deleted)
        return {std::nullopt, "国内外区分「" + c + "」が不明です"};

    r.latest = fields[latest] == "1";

    if (!readDate(fields[registrationDate], r.registrationDate) ||
        !readDate(fields[updateDate], r.updateDate) || !readDate(fields[disposalDate], r.cancellationDate) ||
        !readDate(fields[expireDate], r.expiryDate))
        return {std::nullopt, "日付の形式が正しくありません"};
    if (!deleted && !r.registrationDate) return {std::nullopt, "登録年月日がありません"};

    r.name = fields[name];
    if (r.name.empty() && !deleted) return {std::nullopt, "氏名又は名称がありません"};
    r.tradeName = fields[tradeName];
    r.popularName = fields[popularNamePreviousName];
    return {std::move(r), {}};
}

std::string_view displayName(RegistryRecord::Kind kind) {
    return kind == RegistryRecord::Kind::corporation ? "法人" : "個人事業者";
}

std::ostream& operator<<(std::ostream& os, const RegistryRecord& r) {
    os << r.number << " process=" << static_cast<int>(r.process) << " kind=" << displayName(r.kind)
       << " name=\"" << r.name << '"';
    if (r.registrationDate) os << " registered=" << *r.registrationDate;
    if (r.updateDate) os << " updated=" << *r.updateDate;
    if (r.cancellationDate) os << " cancelled=" << *r.cancellationDate;
    if (r.expiryDate) os << " expired=" << *r.expiryDate;
    return os;
}

void CsvRowReader::feed(std::string_view chunk) {
    if (!bomChecked_) {
        // The mark is three bytes, which may arrive in separate chunks.
        const std::size_t take = std::min(chunk.size(), 3 - head_.size());
        head_.append(chunk.substr(0, take));
        chunk.remove_prefix(take);
        if (head_.size() < 3) return;
        bomChecked_ = true;
        if (head_ != "\xEF\xBB\xBF") consume(head_);
    }
    consume(chunk);
}

void CsvRowReader::consume(std::string_view chunk) {
    for (const char c : chunk) {
        if (pendingCr_) {
            pendingCr_ = false;
            if (c == '\n') continue;
        }
        if (inQuotes_) {
            if (quoteSeen_) {
                quoteSeen_ = false;
                if (c == '"') {
                    field_ += '"';
                    continue;
                }
                inQuotes_ = false;  // that quote closed the field; `c` follows it
            } else if (c == '"') {
                quoteSeen_ = true;
                continue;
            } else {
                if (c == '\n') ++line_;
                field_ += c;
                continue;
            }
        }
        switch (c) {
            case ',':
                endField();
                rowStarted_ = true;
                break;
            case '\r':
                endRow();
                pendingCr_ = true;
                rowLine_ = ++line_;
                break;
            case '\n':
                endRow();
                rowLine_ = ++line_;
                break;
            case '"':
                if (field_.empty()) {
                    inQuotes_ = true;
                    rowStarted_ = true;
                    break;
                }
                [[fallthrough]];
            default:
                field_ += c;
                rowStarted_ = true;
        }
    }
}

void CsvRowReader::finish() {
    if (!bomChecked_) {
        bomChecked_ = true;
        consume(head_);
    }
    inQuotes_ = quoteSeen_ = false;
    endRow();
}

void CsvRowReader::endField() {
    if (fieldCount_ < fields_.size())
        fields_[fieldCount_].swap(field_);
    else
        fields_.push_back(std::move(field_));
    ++fieldCount_;
    field_.clear();
}

void CsvRowReader::endRow() {
    if (rowStarted_ || !field_.empty()) {
        endField();
        handler_(std::span<const std::string>(fields_.data(), fieldCount_), rowLine_);
    }
    fieldCount_ = 0;
    field_.clear();
    rowStarted_ = false;
}

}  // namespace tavori
