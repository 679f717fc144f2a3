#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "TavoriCore/IndexBookEntry.h"

// The index book's file format: UTF-8 CSV, every record ended by CR LF, a field quoted only when it holds a
// comma, a double quote, CR or LF.
namespace tavori::IndexBookCSV {

inline constexpr std::array<std::string_view, 8> header = {"連番",     "取引年月日", "取引金額", "取引先",
                                                           "書類種別", "ファイル名", "登録番号", "備考"};

// The columns after 備考 of a book kept with the amounts by tax rate, each tax included.
inline constexpr std::array<std::string_view, 4> taxHeader = {"10%対象額(税込)", "10%消費税額",
                                                              "8%対象額(税込)", "8%消費税額"};

// The header record and one record per entry, in the given order and with the given sequence numbers; with
// `excelCompatible` the text starts with a byte-order mark. Text cells are `neutralized`. Text that is not
// valid UTF-8 (a file name is bytes) is written with U+FFFD so that the book stays valid UTF-8. With
// `taxColumns` every record also has the `taxHeader` columns (empty for an entry without a breakdown).
std::string render(std::span<const IndexBookEntry> entries, bool excelCompatible, bool taxColumns = false);
// Whether a book's text (its first record) has the tax-rate columns, so that rows appended to it match.
bool hasTaxColumns(std::string_view bookText);

// A text cell as written: one apostrophe in front when it starts with "=", "+", "-", "@", tab or CR, so that
// a spreadsheet program shows it as text instead of running it as a formula. A reader of the book removes
// that one apostrophe again. The columns the book writes as numbers and dates are never neutralized (a
// negative amount stays a number).
std::string neutralized(std::string_view text);

// One field as written: quoted when it needs to be.
std::string escape(std::string_view field);

}  // namespace tavori::IndexBookCSV
