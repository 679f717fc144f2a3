#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/DateComponentsValue.h"

namespace tavori {

// One row of the tax office's published register of qualified-invoice issuers (the full file and the daily
// difference files share it): 24 columns, UTF-8, no header.
struct RegistryRecord {
    // What the row reports. 01 new, 02 changed published details, 03 registration expired (失効),
    // 04 registration cancelled (取消), 99 row deleted from the register.
    enum class Process { added = 1, changed = 2, expired = 3, cancelled = 4, deleted = 99 };
    // 人格区分: 1 an individual (sole proprietor), 2 a corporation or other body.
    enum class Kind { soleProprietor = 1, corporation = 2 };

    std::string number;  // "T" and 13 digits
    Process process = Process::added;
    Kind kind = Kind::corporation;
    int country = 1;                                      // 1 domestic, 2 specified foreign, 3 other foreign
    bool latest = true;                                   // false for a row of past details
    std::optional<DateComponentsValue> registrationDate;  // 登録年月日
    std::optional<DateComponentsValue> updateDate;        // 更新年月日
    std::optional<DateComponentsValue> cancellationDate;  // 取消年月日 (disposalDate)
    std::optional<DateComponentsValue> expiryDate;        // 失効年月日 (expireDate)
    std::string name;                                     // 氏名又は名称
    std::string tradeName;    // 主たる屋号 (sole proprietors who asked for it to be published)
    std::string popularName;  // 通称・旧姓

    bool operator==(const RegistryRecord&) const = default;

    static constexpr std::size_t columnCount = 24;
};

// The record of one CSV row's fields, or the Japanese reason why the row is not one.
struct ParsedRegistryRow {
    std::optional<RegistryRecord> record;
    std::string problem;
};
ParsedRegistryRow parseRegistryRow(std::span<const std::string> fields);

std::string_view displayName(RegistryRecord::Kind kind);  // "法人" or "個人事業者"
std::ostream& operator<<(std::ostream& os, const RegistryRecord& record);

// "yyyy-MM-dd" to a date; nothing for any other text or a day that does not exist.
std::optional<DateComponentsValue> parseIsoDate(std::string_view text);

// Splits CSV text (RFC 4180: quoted fields, doubled quotes, CRLF or LF) fed in chunks of any size into rows.
// A byte-order mark at the very start is dropped.
class CsvRowReader {
  public:
    // Called with the fields of each complete row and its 1-based line number (where the row starts).
    using RowHandler = std::function<void(std::span<const std::string> fields, std::uint64_t line)>;

    explicit CsvRowReader(RowHandler handler) : handler_(std::move(handler)) {}
    void feed(std::string_view chunk);
    // Delivers a last row without a line break.
    void finish();

  private:
    void consume(std::string_view chunk);
    void endField();
    void endRow();

    RowHandler handler_;
    std::vector<std::string> fields_;
    std::size_t fieldCount_ = 0;
    std::string field_;
    bool inQuotes_ = false;
    bool quoteSeen_ = false;  // a quote inside quotes: either the closing one or the first of a doubled pair
    bool pendingCr_ = false;
    bool rowStarted_ = false;
    bool bomChecked_ = false;
    std::string head_;  // the first bytes, until it is known whether they are a byte-order mark
    std::uint64_t line_ = 1;
    std::uint64_t rowLine_ = 1;
};

}  // namespace tavori
