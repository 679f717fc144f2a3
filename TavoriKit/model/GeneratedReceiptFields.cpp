#include "TavoriKit/model/GeneratedReceiptFields.h"

#include <limits>

namespace tavori {

const nlohmann::ordered_json& GeneratedReceiptFields::schema() {
    static const nlohmann::ordered_json schema = [] {
        auto property = [](const char* type, const char* description) {
            nlohmann::ordered_json p = nlohmann::ordered_json::object();
            p["type"] = type;
            p["description"] = description;
            return p;
        };
        nlohmann::ordered_json s = nlohmann::ordered_json::object();
        s["type"] = "object";
        s["description"] = "Fields read from a Japanese or English receipt, invoice or delivery slip.";
        nlohmann::ordered_json properties = nlohmann::ordered_json::object();
        properties["date"] = property("string",
                                      "取引日。書類に書かれた日付を YYYY-MM-DD "
                                      "で。和暦は西暦に直す。支払期限や有効期限ではなく、発行日・取引日・購入"
                                      "日を選ぶ。見つからなければ空文字。");
        properties["vendor"] =
            property("string",
                     "お金を受け取った側の名前（店名・会社名・発行者・ご依頼主）。宛名（様・御中が付く受取人"
                     "）や書類の題名（領収書・送り状）は選ばない。見つからなければ空文字。");
        properties["totalAmount"] = property("integer",
                                             "支払った合計金額を円の整数で。小計・税額・お預り・お釣り・ポイ"
                                             "ントは選ばない。税込の合計を優先。見つからなければ 0。");
        properties["documentType"] = property(
            "string",
            "書類種別。次のいずれか: 領収書, 請求書, 納品書, 見積書, 注文書, 明細書, 契約書, その他");
        properties["registrationNumber"] =
            property("string", "インボイス登録番号（T + 13桁）。書類にあればそのまま、なければ空文字。");
        nlohmann::ordered_json rate = nlohmann::ordered_json::object();
        rate["type"] = "object";
        rate["properties"]["rate"] = property("integer", "税率（10 または 軽減税率の 8）");
        rate["properties"]["taxableAmount"] =
            property("integer", "その税率の対象額を円の整数で（書かれたまま）");
        rate["properties"]["tax"] =
            property("integer", "その税率の消費税額を円の整数で。書かれていなければ 0。");
        rate["required"] = {"rate", "taxableAmount", "tax"};
        rate["additionalProperties"] = false;
        properties["taxBreakdown"] = property("array",
                                              "税率ごとの対象額と消費税額（「10%対象 ¥2,200 内消費税 ¥200」"
                                              "など）。書かれていなければ空の配列。");
        properties["taxBreakdown"]["items"] = std::move(rate);
        s["properties"] = std::move(properties);
        s["required"] = {"date",        "vendor", "totalAmount", "documentType", "registrationNumber",
                         "taxBreakdown"};
        s["additionalProperties"] = false;
        return s;
    }();
    return schema;
}

std::optional<GeneratedReceiptFields> GeneratedReceiptFields::fromAnswer(std::string_view json) {
    const auto answer = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) return std::nullopt;
    auto text = [&](const char* key, std::string& out) {
        const auto it = answer.find(key);
        if (it == answer.end() || !it->is_string()) return false;
        out = it->get<std::string>();
        return true;
    };
    GeneratedReceiptFields fields;
    if (!text("date", fields.date) || !text("vendor", fields.vendor) ||
        !text("documentType", fields.documentType) || !text("registrationNumber", fields.registrationNumber))
        return std::nullopt;
    if (const auto rates = answer.find("taxBreakdown"); rates != answer.end() && rates->is_array()) {
        for (const auto& r : *rates) {
            const auto integer = [&](const char* key) -> std::optional<std::int64_t> {
                const auto it = r.is_object() ? r.find(key) : r.end();
                if (it == r.end() || !it->is_number_integer()) return std::nullopt;
                return it->get<std::int64_t>();
            };
            const auto rate = integer("rate"), taxable = integer("taxableAmount"), tax = integer("tax");
            if (!rate || !taxable || !tax) {
                fields.taxBreakdown.clear();
                break;
            }
            fields.taxBreakdown.push_back({*rate, *taxable, *tax});
        }
    }
    const auto amount = answer.find("totalAmount");
    if (amount == answer.end()) return std::nullopt;
    if (amount->is_number_unsigned()) {
        const auto value = amount->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        fields.totalAmount = static_cast<std::int64_t>(value);
    } else if (amount->is_number_integer()) {
        fields.totalAmount = amount->get<std::int64_t>();
    } else {
        return std::nullopt;
    }
    return fields;
}

std::ostream& operator<<(std::ostream& os, const GeneratedReceiptFields& fields) {
    return os << "GeneratedReceiptFields{date=\"" << fields.date << "\" vendor=\"" << fields.vendor
              << "\" totalAmount=" << fields.totalAmount << " documentType=\"" << fields.documentType
              << "\" registrationNumber=\"" << fields.registrationNumber
              << "\" taxBreakdown=" << fields.taxBreakdown.size() << "}";
}

}  // namespace tavori
