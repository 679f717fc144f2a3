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
        s["properties"] = std::move(properties);
        s["required"] = {"date", "vendor", "totalAmount", "documentType", "registrationNumber"};
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
              << "\" registrationNumber=\"" << fields.registrationNumber << "\"}";
}

}  // namespace tavori
