#include "TavoriCore/JournalExport.h"

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <tuple>

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "TavoriCore/IndexBookCSV.h"

namespace tavori {

std::string AccountTable::accountFor(
    const ReceiptFields& fields,
    const std::function<std::optional<std::string>(std::string_view vendor)>& rememberedVendor) const {
    if (!fields.vendor.empty()) {
        if (const auto it = byVendor.find(fields.vendor); it != byVendor.end()) return it->second;
        if (rememberedVendor)
            if (auto remembered = rememberedVendor(fields.vendor); remembered && !remembered->empty())
                return *remembered;
    }
    if (const auto it = byType.find(fields.documentType); it != byType.end()) return it->second;
    return fallback;
}

namespace {

template <class Json>
void encodeAccounts(Json& j, const AccountTable& table) {
    j = Json::object();
    j["fallback"] = table.fallback;
    j["byType"] = Json::object();
    for (const auto& [type, account] : table.byType) j["byType"][std::string(rawValue(type))] = account;
    j["byVendor"] = Json::object();
    for (const auto& [vendor, account] : table.byVendor) j["byVendor"][vendor] = account;
}

template <class Json>
void decodeAccounts(const Json& j, AccountTable& table) {
    AccountTable fresh;
    fresh.fallback = j.at("fallback").template get<std::string>();
    for (const auto& [label, account] : j.at("byType").items()) {
        const auto type = documentTypeFromRawValue(label);
        if (!type) throw Json::type_error::create(302, "unknown document type \"" + label + "\"", &j);
        fresh.byType[*type] = account.template get<std::string>();
    }
    for (const auto& [vendor, account] : j.at("byVendor").items())
        fresh.byVendor[vendor] = account.template get<std::string>();
    table = std::move(fresh);
}

}  // namespace

TAVORI_JSON_CODED_BY(AccountTable, encodeAccounts, decodeAccounts);

namespace JournalExport {
namespace {

using Remembered = std::function<std::optional<std::string>(std::string_view vendor)>;

constexpr std::string_view kRecordEnd = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The transitional credit for purchases from unregistered issuers: 80 % until 2026-09-30, then 50 %.
int creditShare(const std::optional<DateComponentsValue>& date) {
    if (date && std::tuple(date->year, date->month) >= std::tuple(2026, 10)) return 50;
    return 80;
}

std::string yayoiTaxCategory(int rate, const ReceiptFields& fields) {
    std::string category = rate == 8 ? "課対仕入内軽減8%" : "課対仕入内10%";
    if (fields.registrationNumber) return category + "適格";
    return category + "区分" + std::to_string(creditShare(fields.date)) + "%";
}

std::string freeeTaxCategory(int rate, const ReceiptFields& fields) {
    std::string category = "課対仕入";
    if (!fields.registrationNumber) category += "（控" + std::to_string(creditShare(fields.date)) + "）";
    return category + (rate == 8 ? "8%（軽）" : "10%");
}

// What a document is booked as, rate by rate: its breakdown, or the whole total at the standard rate.
struct RatePart {
    int rate;
    std::int64_t gross;
    std::optional<std::int64_t> tax;
};

std::vector<RatePart> partsOf(const ReceiptFields& fields) {
    std::vector<RatePart> parts;
    for (const TaxRateAmount& r : fields.taxBreakdown) parts.push_back({r.rate, r.gross(), r.tax});
    if (parts.empty() && fields.amount) parts.push_back({10, *fields.amount, std::nullopt});
    return parts;
}

std::string decimal(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string();
}

std::string date(const ReceiptFields& fields) {
    return fields.date ? fields.date->formatted("yyyy/MM/dd") : std::string();
}

template <std::size_t N>
void appendRecord(std::string& out, const std::array<std::string, N>& fields) {
    for (std::size_t i = 0; i < N; ++i) {
        if (i) out += ',';
        out += IndexBookCSV::escape(fields[i]);
    }
    out += kRecordEnd;
}

// 弥生インポート形式: 25 columns, no header, 識別フラグ 2000 (a journal line of its own) for each rate.
std::string yayoiRecords(const JournalDocument& d, const std::string& account) {
    std::string out;
    for (const RatePart& p : partsOf(d.fields)) {
        const std::string amount = std::to_string(p.gross);
        appendRecord<25>(out, {"2000",
                               "",
                               "",
                               date(d.fields),
                               account,
                               "",
                               "",
                               yayoiTaxCategory(p.rate, d.fields),
                               amount,
                               decimal(p.tax),
                               "現金",
                               "",
                               "",
                               "対象外",
                               amount,
                               "",
                               d.fields.vendor,
                               "",
                               "",
                               "0",
                               "",
                               d.fileName,
                               "",
                               "",
                               "no"});
    }
    return out;
}

constexpr std::array<std::string_view, 17> kFreeeHeader = {
    "収支区分",   "管理番号",
    "発生日",     "決済期日",
    "取引先",     "勘定科目",
    "税区分",     "金額",
    "税計算区分", "税額",
    "備考",       "品目",
    "部門",       "メモタグ（複数指定可、カンマ区切り）",
    "決済日",     "決済口座",
    "決済金額"};

// freee's 取引: the first row opens the 取引 and settles it in cash; each further rate is a row of its own
// that leaves the 取引's columns empty.
std::string freeeRecords(const JournalDocument& d, const std::string& account) {
    std::string out;
    bool first = true;
    for (const RatePart& p : partsOf(d.fields)) {
        const std::string opening = first ? "支出" : "";
        appendRecord<17>(out, {opening, "", first ? date(d.fields) : "", "", first ? d.fields.vendor : "",
                               account, freeeTaxCategory(p.rate, d.fields), std::to_string(p.gross), "内税",
                               decimal(p.tax), d.fileName, "", "", "", first ? date(d.fields) : "",
                               first ? "現金" : "", first ? decimal(d.fields.amount) : ""});
        first = false;
    }
    return out;
}

constexpr std::array<std::string_view, 11> kGenericHeader = {
    "日付",       "取引先",   "勘定科目",   "金額", "10%対象額(税込)", "10%消費税額", "8%対象額(税込)",
    "8%消費税額", "登録番号", "適格請求書", "メモ"};

std::string genericRecord(const JournalDocument& d, const std::string& account) {
    std::optional<std::int64_t> standard, standardTax, reduced, reducedTax;
    for (const TaxRateAmount& r : d.fields.taxBreakdown) {
        (r.rate == 8 ? reduced : standard) = r.gross();
        (r.rate == 8 ? reducedTax : standardTax) = r.tax;
    }
    std::string out;
    appendRecord<11>(
        out, {date(d.fields), IndexBookCSV::neutralized(d.fields.vendor), IndexBookCSV::neutralized(account),
              decimal(d.fields.amount), decimal(standard), decimal(standardTax), decimal(reduced),
              decimal(reducedTax), d.fields.registrationNumber.value_or(""),
              d.fields.registrationNumber ? "あり" : "なし", IndexBookCSV::neutralized(d.fileName)});
    return out;
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// Shift_JIS as Windows writes it (code page 932), which is what both packages read. Every character is
// converted on its own so that one the code page lacks is named, never replaced by a question mark.
class ShiftJis {
  public:
    ShiftJis() {
        UErrorCode status = U_ZERO_ERROR;
        converter_.reset(ucnv_open("windows-31j", &status));
        if (U_FAILURE(status)) throw std::runtime_error("ICU has no windows-31j converter");
        ucnv_setFromUCallBack(converter_.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
    }

    void append(std::string_view utf8, const std::string& fileName, Output& output) {
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
        for (int32_t i = 0; i < text.length();) {
            const UChar32 c = text.char32At(i);
            const int32_t units = U16_LENGTH(c);
            char bytes[8];
            UErrorCode status = U_ZERO_ERROR;
            ucnv_reset(converter_.get());
            const int32_t n =
                ucnv_fromUChars(converter_.get(), bytes, sizeof bytes, text.getBuffer() + i, units, &status);
            if (U_SUCCESS(status))
                output.bytes.append(bytes, static_cast<std::size_t>(n));
            else
                output.unencodable.push_back(unencodable(c, fileName));
            i += units;
        }
    }

  private:
    static Unencodable unencodable(UChar32 c, const std::string& fileName) {
        std::string character;
        icu::UnicodeString(c).toUTF8String(character);
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        char name[256];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = u_charName(c, U_EXTENDED_CHAR_NAME, name, sizeof name, &status);
        std::string description = code;
        if (U_SUCCESS(status) && length > 0)
            description += " " + std::string(name, static_cast<std::size_t>(length));
        return {fileName, character, description};
    }

    std::unique_ptr<UConverter, ConverterCloser> converter_;
};

}  // namespace

std::optional<Format> formatFromName(std::string_view name) {
    if (name == "yayoi") return Format::yayoi;
    if (name == "freee") return Format::freee;
    if (name == "generic") return Format::generic;
    return std::nullopt;
}

std::string Unencodable::message() const {
    return "「" + fileName + "」の「" + character + "」(" + description + ") は Shift_JIS で書けません";
}

Output render(Format format, std::span<const JournalDocument> documents, const AccountTable& accounts,
              const Remembered& rememberedVendor) {
    Output output;
    if (format == Format::generic) {
        std::string text(kByteOrderMark);
        std::array<std::string, kGenericHeader.size()> header;
        for (std::size_t i = 0; i < header.size(); ++i) header[i] = kGenericHeader[i];
        appendRecord(text, header);
        for (const JournalDocument& d : documents)
            text += genericRecord(d, accounts.accountFor(d.fields, rememberedVendor));
        output.bytes = std::move(text);
        return output;
    }
    ShiftJis shiftJis;
    if (format == Format::freee) {
        std::array<std::string, kFreeeHeader.size()> header;
        for (std::size_t i = 0; i < header.size(); ++i) header[i] = kFreeeHeader[i];
        std::string text;
        appendRecord(text, header);
        shiftJis.append(text, "", output);
    }
    for (const JournalDocument& d : documents) {
        // Both packages refuse a line without its date or amount.
        if (!d.fields.date || partsOf(d.fields).empty()) {
            output.skipped.push_back(d.fileName);
            continue;
        }
        const std::string account = accounts.accountFor(d.fields, rememberedVendor);
        shiftJis.append(format == Format::yayoi ? yayoiRecords(d, account) : freeeRecords(d, account),
                        d.fileName, output);
    }
    if (!output.unencodable.empty()) output.bytes.clear();
    return output;
}

}  // namespace JournalExport
}  // namespace tavori
